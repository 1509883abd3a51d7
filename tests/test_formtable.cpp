// test_formtable.cpp - form creation and growth, resolution, owners and reuse of killed records.
#include "forms/forms.h"
#include "support.h"

namespace {
using vrdtest::Report;
using vrdtest::StoreTest;

const VRDentity kNull{0, 0};

class FormTable : public StoreTest {
protected:
    uint32_t key(const char *keyword) {
        uint32_t k = VRD_NO_KEY;
        EXPECT_EQ(VRDkeyCreate(keyword, &k), 0);
        return k;
    }
    VRDentity create(uint32_t k, VRDentity owner = kNull) {
        VRDentity f{};
        EXPECT_EQ(VRDformCreate(owner, k, nullptr, &f), 0);
        return f;
    }
    // Read-only view of a key's record, for the figures the interface hides.
    const KeyRecord &keyRecord(uint32_t k) { return store->keyRecords[k]; }
};

TEST_F(FormTable, FormArrayGrowsByDoublingThenBy255) {
    uint32_t k = key("ITEM");
    std::vector<uint32_t> capacities;
    for (uint32_t i = 0; i < 1022; ++i) {
        VRDentity f = create(k);
        ASSERT_EQ(f, vrdtest::entity(0x80000000u | k, i));
        if (capacities.empty() || capacities.back() != keyRecord(k).formCapacity)
            capacities.push_back(keyRecord(k).formCapacity);
    }
    EXPECT_EQ(capacities, (std::vector<uint32_t>{1, 2, 4, 8, 16, 32, 64, 128, 256, 511, 766, 1021, 1276}));
    EXPECT_EQ(keyRecord(k).formCount, 1022u);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(FormTable, KeywordTextOnlyWithNoKey) {
    VRDentity f{};
    ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "LAYER", &f), 0);
    uint32_t layer = VRDkeyFind("LAYER");
    ASSERT_NE(layer, VRD_NO_KEY);
    EXPECT_EQ(f, vrdtest::entity(0x80000000u | layer, 0));

    // A real key wins: its keyword text is neither used nor created.
    uint32_t net = key("NET");
    ASSERT_EQ(VRDformCreate(kNull, net, "IGNORED", &f), 0);
    EXPECT_EQ(f, vrdtest::entity(0x80000000u | net, 0));
    EXPECT_EQ(VRDkeyFind("IGNORED"), VRD_NO_KEY);
    EXPECT_TRUE(takeReports().empty());

    // No key and no text, or a key never made, give no form.
    EXPECT_EQ(VRDformCreate(kNull, VRD_NO_KEY, nullptr, &f), 1);
    EXPECT_EQ(VRDformCreate(kNull, net + 1, nullptr, &f), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCreate", VRD_E_BADFORM}, {"VRDformCreate", VRD_E_BADFORM}}));
    VRDsetCheck(0);
    EXPECT_EQ(VRDformCreate(kNull, net + 1, nullptr, &f), 1);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(FormTable, OwnerTestedOnlyByKeyInCheckMode) {
    uint32_t k = key("CELL");
    uint32_t empty = key("EMPTY");  // a key without forms
    VRDentity top = create(k);
    // The null entity is no owner and never reported.
    EXPECT_EQ(VRDformGetOwner(top), kNull);
    // The owner's form index is not looked at.
    VRDentity child = create(k, vrdtest::entity(0x80000000u | k, 999));
    EXPECT_EQ(VRDformGetOwner(child), vrdtest::entity(0x80000000u | k, 999));
    EXPECT_TRUE(takeReports().empty());

    VRDentity five{}, f{};
    ASSERT_EQ(VRDintCreate(5, &five), 0);  // its first word read as a key is far past keyCount
    EXPECT_EQ(VRDformCreate(five, k, nullptr, &f), 1);
    EXPECT_EQ(VRDformCreate(vrdtest::entity(0x80000000u | empty, 0), k, nullptr, &f), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCreate", VRD_E_BADFORM}, {"VRDformCreate", VRD_E_BADFORM}}));
    EXPECT_EQ(keyRecord(k).formCount, 2u);  // a refused creation takes no record

    VRDsetCheck(0);
    ASSERT_EQ(VRDformCreate(five, k, nullptr, &f), 0);
    EXPECT_EQ(VRDformGetOwner(f), five);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(FormTable, FormptrRefusesWhatIsNotThere) {
    uint32_t k = key("A");
    uint32_t bare = key("B");
    VRDentity a = create(k);
    KeyRecord *kr = nullptr;
    FormRecord *fr = nullptr;
    ASSERT_EQ(formptr(a, &kr, &fr), 0);
    EXPECT_EQ(kr, &store->keyRecords[k]);
    EXPECT_EQ(fr, &store->keyRecords[k].formRecords[0]);

    const VRDentity bad[] = {vrdtest::entity(0x80000000u | k, 1),     // index equal to formCount
                             vrdtest::entity(0x80000000u | bare, 0),  // key without forms
                             vrdtest::entity(0x80000000u | 77, 0)};   // key past keyCount
    for (VRDentity e : bad) {
        EXPECT_EQ(formptr(e, &kr, &fr), 1);
        EXPECT_EQ(takeReports(), (std::vector<Report>{{"formptr", VRD_E_BADFORM}})) << e;
    }
    // Unchecked, the same entities are still refused, silently.
    VRDsetCheck(0);
    for (VRDentity e : bad) EXPECT_EQ(formptr(e, &kr, &fr), 1);
    EXPECT_TRUE(takeReports().empty());
    // The key is the first word without bit 31, whatever the mode.
    ASSERT_EQ(formptr(vrdtest::entity(k, 0), &kr, &fr), 0);
    EXPECT_EQ(fr, &store->keyRecords[k].formRecords[0]);
}

TEST_F(FormTable, OwnersAreSetAndReadWithoutTouchingLists) {
    uint32_t k = key("NODE");
    VRDentity a = create(k), b = create(k);
    EXPECT_EQ(VRDformSetOwner(b, a), 0);
    EXPECT_EQ(VRDformGetOwner(b), a);
    EXPECT_EQ(VRDformEntityCount(a), 0u);
    EXPECT_TRUE(takeReports().empty());

    // An unresolvable form is reported twice; a bad owner once.
    VRDentity ghost = vrdtest::entity(0x80000000u | k, 2);
    EXPECT_EQ(VRDformSetOwner(ghost, a), VRD_E_BADFORM);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"formptr", VRD_E_BADFORM}, {"VRDformSetOwner", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformSetOwner(b, vrdtest::entity(0x80000000u | 40, 0)), VRD_E_BADFORM);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformSetOwner", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformGetOwner(b), a);
    EXPECT_EQ(VRDformGetOwner(ghost), kNull);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"formptr", VRD_E_BADFORM}}));
    EXPECT_EQ(VRDformIsKilled(ghost), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"formptr", VRD_E_BADFORM}}));

    // A killed form has no owner and resolves without a report.
    EXPECT_EQ(VRDformIsKilled(b), 0);
    ASSERT_EQ(VRDformKill(b, 0, 0), 0);
    EXPECT_EQ(VRDformIsKilled(b), 1);
    EXPECT_EQ(VRDformGetOwner(b), kNull);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(FormTable, KilledRecordsAreReusedLastInFirstOut) {
    uint32_t k = key("PIN");
    std::vector<VRDentity> forms;
    for (int i = 0; i < 7; ++i) forms.push_back(create(k));
    ASSERT_EQ(VRDformKill(forms[3], 0, 0), 0);
    ASSERT_EQ(VRDformKill(forms[5], 0, 0), 0);
    EXPECT_EQ(keyRecord(k).reuseFreedForms, 1u);
    VRDentity owner = forms[0];
    VRDentity r1 = create(k, owner);
    VRDentity r2 = create(k);
    EXPECT_EQ(r1, forms[5]);
    EXPECT_EQ(r2, forms[3]);
    EXPECT_EQ(keyRecord(k).formCount, 7u);
    // A reused record is live and fresh: its new owner, no entities.
    EXPECT_EQ(VRDformIsKilled(r1), 0);
    EXPECT_EQ(VRDformGetOwner(r1), owner);
    EXPECT_EQ(VRDformEntityCount(r1), 0u);
    EXPECT_EQ(create(k), vrdtest::entity(0x80000000u | k, 7));

    // With reuse switched off, killed records wait and new indexes are taken.
    ASSERT_EQ(VRDformKill(forms[1], 0, 0), 0);
    ASSERT_EQ(VRDkeyReuse(k, 0), 0);
    EXPECT_EQ(create(k), vrdtest::entity(0x80000000u | k, 8));
    ASSERT_EQ(VRDkeyReuse(k, 1), 0);
    EXPECT_EQ(create(k), forms[1]);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(FormTable, FailedGrowthKeepsTheArray) {
    uint32_t k = key("GROW");
    VRDentity first = create(k);  // capacity 1: the next creation must grow
    VRDentity f = first;
    heapwrapFailNth(1);
    EXPECT_EQ(VRDformCreate(kNull, k, nullptr, &f), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformCreate", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDlastError(), VRD_E_NOMEM);
    EXPECT_EQ(f, first);  // the out-parameter is not written
    EXPECT_EQ(keyRecord(k).formCapacity, 1u);
    EXPECT_EQ(keyRecord(k).formCount, 1u);
    // The key keeps working: its form, and the next creation.
    ASSERT_EQ(VRDformSetOwner(first, first), 0);
    EXPECT_EQ(VRDformGetOwner(first), first);
    EXPECT_EQ(create(k), vrdtest::entity(0x80000000u | k, 1));
    EXPECT_EQ(keyRecord(k).formCapacity, 2u);
}

}  // namespace
