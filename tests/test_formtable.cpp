// test_formtable.cpp - form creation and growth, resolution, owners and reuse of killed records.
#include "forms/forms.h"
#include "support.h"

namespace {
using Reports = std::vector<vrdtest::Report>;
using vrdtest::entity;
const VRDentity kNull{0, 0};

class FormTable : public vrdtest::TreeTest {
protected:
    void SetUp() override { TreeTest::SetUp(), k = key("ITEM"); }
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }  // none left unchecked
    VRDentity create(VRDentity owner = kNull) { return form("ITEM", owner); }
    VRDentity at(uint32_t i, uint32_t of = VRD_NO_KEY) { return entity(0x80000000u | (of == VRD_NO_KEY ? k : of), i); }
    vrd::KeyFigures figures() { return vrd::keyFigures(store, k); }
    uint32_t k = 0;
};

TEST_F(FormTable, ArrayGrowsSurvivesAFailedGrowthAndReusesKilledRecordsLastFirst) {
    VRDentity first = create(), f = first;
    heapwrapFailNth(1);  // capacity 1 is full: the next creation must grow; the out-parameter stays
    EXPECT_TRUE(VRDformCreate(kNull, k, nullptr, &f) == 1 && f == first);
    EXPECT_EQ(takeReports(), (Reports{{"VRDformCreate", VRD_E_NOMEM}}));
    std::vector<uint32_t> capacities{figures().formsAllocated};  // and the key keeps working
    for (uint32_t i = 1; i < 1022; ++i) {
        ASSERT_EQ(create(), at(i));
        if (capacities.back() != figures().formsAllocated) capacities.push_back(figures().formsAllocated);
    }
    EXPECT_EQ(capacities, (std::vector<uint32_t>{1, 2, 4, 8, 16, 32, 64, 128, 256, 511, 766, 1021, 1276}));
    // A reused record is live and fresh: its new owner, no entities.
    add(at(5), {integer(1), integer(2)});
    ASSERT_EQ(VRDformKill(at(3), 0, 0), 0);
    ASSERT_EQ(VRDformKill(at(5), 0, 0), 0);
    EXPECT_EQ(VRDformGetOwner(at(5)), kNull);  // killed: no owner, and no report
    EXPECT_TRUE(create(first) == at(5) && VRDformGetOwner(at(5)) == first && VRDformEntityCount(at(5)) == 0);
    EXPECT_EQ(create(), at(3));
    // With reuse switched off, killed records wait and new indexes are taken.
    ASSERT_EQ(VRDformKill(at(1), 0, 0), 0);
    EXPECT_TRUE(VRDkeyReuse(k, 0) == 0 && create() == at(1022));
    EXPECT_TRUE(VRDkeyReuse(k, 1) == 0 && create() == at(1));
}

TEST_F(FormTable, KeysKeywordsAndOwnersOfNewForms) {
    VRDentity f{}, five = integer(5);
    ASSERT_EQ(VRDformCreate(kNull, VRD_NO_KEY, "LAYER", &f), 0);  // the text serves only without a key
    uint32_t layer = VRDkeyFind("LAYER"), empty = key("EMPTY");
    EXPECT_EQ(f, at(0, layer));
    ASSERT_EQ(VRDformCreate(at(999, layer), k, "IGNORED", &f), 0);  // the owner's index is not looked at
    EXPECT_TRUE(f == at(0) && VRDkeyFind("IGNORED") == VRD_NO_KEY && VRDformGetOwner(f) == at(999, layer));
    // Refused: no key and no text, a key never made, an owner whose key is unknown or has no forms.
    EXPECT_TRUE(VRDformCreate(kNull, VRD_NO_KEY, nullptr, &f) == 1 &&
                VRDformCreate(kNull, empty + 1, nullptr, &f) == 1);
    EXPECT_TRUE(VRDformCreate(five, k, nullptr, &f) == 1 && VRDformCreate(at(0, empty), k, nullptr, &f) == 1);
    EXPECT_EQ(takeReports(), Reports(4, {"VRDformCreate", VRD_E_BADFORM}));
    EXPECT_EQ(figures().formsUsed, 1u);  // a refused creation takes no record
    VRDsetCheck(0);  // unchecked, a missing key is still refused; owners are not tested
    EXPECT_EQ(VRDformCreate(kNull, empty + 1, nullptr, &f), 1);
    EXPECT_TRUE(VRDformCreate(five, k, nullptr, &f) == 0 && VRDformGetOwner(f) == five);
}

TEST_F(FormTable, FormptrAndOwnerRoutinesRefuseWhatIsNotThere) {
    VRDentity a = create(), b = create();
    KeyRecord *kr = nullptr;  // formptr's out-parameters
    FormRecord *fr = nullptr, *second = nullptr;
    ASSERT_EQ(formptr(entity(k, 1), &kr, &fr), 0);  // the key is the first word without bit 31
    ASSERT_EQ(formptr(b, &kr, &second), 0);
    EXPECT_EQ(fr, second);
    const VRDentity bad[] = {at(2), at(0, key("BARE")), at(0, 77)};  // past formCount, no forms, past keyCount
    for (int check : {1, 0}) {
        VRDsetCheck(check);
        for (VRDentity e : bad) EXPECT_EQ(formptr(e, &kr, &fr), 1) << e;
    }
    VRDsetCheck(1);
    EXPECT_EQ(takeReports(), Reports(3, {"formptr", VRD_E_BADFORM}));
    // Owners are set and read without touching lists; an unresolvable form is reported twice.
    EXPECT_TRUE(VRDformSetOwner(b, a) == 0 && VRDformSetOwner(at(2), a) == VRD_E_BADFORM);
    EXPECT_TRUE(VRDformSetOwner(b, at(0, 40)) == VRD_E_BADFORM && VRDformGetOwner(at(2)) == kNull);
    const Reports expected{{"formptr", -9}, {"VRDformSetOwner", -9}, {"VRDformSetOwner", -9}, {"formptr", -9}};
    EXPECT_EQ(takeReports(), expected);
    EXPECT_EQ(VRDformGetOwner(b), a);
}

}  // namespace
