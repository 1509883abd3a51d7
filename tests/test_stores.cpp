// test_stores.cpp - the list of stores, the current store, and the store reports.
#include "support.h"

namespace {
using vrdtest::Report;
using vrdtest::StoreTest;

class Stores : public StoreTest {};

TEST_F(Stores, NewMakesStoresCurrentInCreationOrder) {
    VRDstore *second = VRDnew("second");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(VRDget(nullptr), second);
    EXPECT_EQ(VRDget("test"), store);
    EXPECT_EQ(VRDget("second"), second);
    EXPECT_EQ(VRDget("absent"), nullptr);

    // A duplicate name is refused silently and changes nothing.
    EXPECT_EQ(VRDnew("test"), nullptr);
    EXPECT_EQ(VRDget(nullptr), second);
    EXPECT_TRUE(takeReports().empty());

    // Names are case-sensitive.
    EXPECT_NE(VRDnew("TEST"), nullptr);

    // Walking with VRDnext visits every store in creation order, making each current.
    std::vector<VRDstore *> seen;
    for (VRDstore *s = VRDnext(nullptr); s != nullptr; s = VRDnext(s)) {
        seen.push_back(s);
        EXPECT_EQ(VRDget(nullptr), s);
    }
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], store);
    EXPECT_EQ(seen[1], second);
    // The last VRDnext returned null and left the last store current.
    EXPECT_EQ(VRDget(nullptr), seen[2]);
}

TEST_F(Stores, NameLengthLimit) {
    std::string name31(31, 'n');
    VRDstore *s = VRDnew(name31.c_str());
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(VRDget(name31.c_str()), s);

    std::string name32(32, 'm');
    EXPECT_EQ(VRDnew(name32.c_str()), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDnew", VRD_E_NOSTORE}}));
    EXPECT_EQ(VRDlastError(), VRD_E_NOSTORE);
    EXPECT_EQ(VRDget(nullptr), s);
    EXPECT_EQ(VRDnew(nullptr), nullptr);
}

TEST_F(Stores, KillChoosesTheFirstStoreAsCurrent) {
    VRDstore *b = VRDnew("b");
    VRDstore *c = VRDnew("c");
    ASSERT_EQ(VRDset(b, nullptr), 0);
    // Killing a store that is not current leaves the current store alone.
    EXPECT_EQ(VRDkill(c, nullptr), 0);
    EXPECT_EQ(VRDget(nullptr), b);
    // Killing the current store makes the first of the list current, even
    // when the killed store came later.
    EXPECT_EQ(VRDkill(nullptr, "b"), 0);
    EXPECT_EQ(VRDget(nullptr), store);
    EXPECT_EQ(VRDkill(store, nullptr), 0);
    EXPECT_EQ(VRDget(nullptr), nullptr);
    EXPECT_EQ(VRDnext(nullptr), nullptr);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Stores, UnmatchedKillAndSetReportUnderTheirNames) {
    VRDstore *b = VRDnew("b");
    EXPECT_EQ(VRDkill(nullptr, "zz"), 1);
    EXPECT_EQ(VRDset(nullptr, nullptr), 1);
    EXPECT_EQ(VRDset(nullptr, "zz"), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{
                                 {"VRDkill", VRD_E_NOSTORE}, {"VRDset", VRD_E_NOSTORE}, {"VRDset", VRD_E_NOSTORE}}));
    EXPECT_EQ(VRDget(nullptr), b);

    // Handle of a later store and name of an earlier one: the first match wins.
    EXPECT_EQ(VRDset(b, "test"), 0);
    EXPECT_EQ(VRDget(nullptr), store);
    EXPECT_EQ(VRDkill(b, "test"), 0);
    EXPECT_EQ(VRDget("test"), nullptr);
    EXPECT_EQ(VRDget("b"), b);
}

TEST_F(Stores, StoreRecordAllocationFailure) {
    heapwrapFailNth(1);
    EXPECT_EQ(VRDnew("starved"), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDnew", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDget(nullptr), store);
    EXPECT_EQ(VRDget("starved"), nullptr);
    // The list stays usable.
    EXPECT_NE(VRDnew("starved"), nullptr);
}

TEST_F(Stores, KillReleasesPopulatedPools) {
    // Sanitizer builds catch a leak or double release here.
    VRDentity e;
    uint32_t key;
    ASSERT_EQ(VRDkeyCreate("alpha", &key), 0);
    ASSERT_EQ(VRDintCreate(1 << 30, &e), 0);
    ASSERT_EQ(VRDrealCreate(2.5, &e), 0);
    VRDstore *other = VRDnew("other");
    ASSERT_EQ(VRDkeyCreate("beta", &key), 0);
    EXPECT_EQ(VRDkill(store, nullptr), 0);
    EXPECT_EQ(VRDget(nullptr), other);
    EXPECT_STREQ(VRDkeyGetPtrValue(0), "beta");
}

TEST_F(Stores, RoutinesWithoutACurrentStoreReportUnderTheirOwnNames) {
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    VRDentity e{7, 7};
    uint32_t key = 99;
    EXPECT_EQ(VRDintCreate(5, &e), 1);
    EXPECT_EQ(VRDrealCreate(5.0, &e), 1);
    EXPECT_EQ(VRDintGetValue(VRDentity{0x08000000, 0}), 0x7FFFFFFF);
    EXPECT_EQ(VRDrealGetValue(VRDentity{0x30000000, 0}), 1.7976931348623157e+308);
    EXPECT_EQ(VRDkeyCreate("k", &key), 1);
    EXPECT_EQ(VRDkeyGetPtrValue(0), nullptr);
    EXPECT_EQ(VRDkeyReuse(0, 1), 1);
    EXPECT_EQ(VRDkeyFind("k"), VRD_NO_KEY);
    char buffer[4] = "xyz";
    VRDkeyGetValue(0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(e.first, 7u);
    EXPECT_EQ(key, 99u);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDintCreate", VRD_E_NOSTORE},
                                                 {"VRDrealCreate", VRD_E_NOSTORE},
                                                 {"VRDintGetValue", VRD_E_NOSTORE},
                                                 {"VRDrealGetValue", VRD_E_NOSTORE},
                                                 {"VRDkeyCreate", VRD_E_NOSTORE},
                                                 {"VRDkeyGetPtrValue", VRD_E_NOSTORE},
                                                 {"VRDkeyReuse", VRD_E_NOSTORE},
                                                 {"VRDkeyFind", VRD_E_NOSTORE},
                                                 {"VRDkeyGetValue", VRD_E_NOSTORE}}));
}

}  // namespace
