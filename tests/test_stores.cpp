// test_stores.cpp - the list of stores, the current store, and the store reports.
#include "support.h"

namespace {
using vrdtest::Report;

class Stores : public vrdtest::StoreTest {};

TEST_F(Stores, CreationOrderNamesAndTheWalk) {
    VRDstore *second = VRDnew("second");
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(VRDget(nullptr), second);
    EXPECT_EQ(VRDget("test"), store);
    EXPECT_EQ(VRDget("absent"), nullptr);
    EXPECT_EQ(VRDnew("test"), nullptr);  // a duplicate is refused silently
    EXPECT_EQ(VRDget(nullptr), second);
    VRDstore *upper = VRDnew("TEST");   // names are case-sensitive
    ASSERT_NE(upper, nullptr);
    std::string name31(31, 'n');
    VRDstore *longest = VRDnew(name31.c_str());
    ASSERT_NE(longest, nullptr);
    EXPECT_EQ(VRDnew(std::string(32, 'm').c_str()), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDnew", VRD_E_NOSTORE}}));
    // VRDnext visits every store in creation order, making each current,
    // and leaves the last current when it runs off the end.
    std::vector<VRDstore *> seen;
    for (VRDstore *s = VRDnext(nullptr); s != nullptr; s = VRDnext(s)) {
        seen.push_back(s);
        EXPECT_EQ(VRDget(nullptr), s);
    }
    EXPECT_EQ(seen, (std::vector<VRDstore *>{store, second, upper, longest}));
    EXPECT_EQ(VRDget(nullptr), longest);
    EXPECT_EQ(VRDget(name31.c_str()), longest);
}

TEST_F(Stores, KillAndSetMatchingAndTheNextCurrentStore) {
    VRDstore *b = VRDnew("b");
    VRDstore *c = VRDnew("c");
    EXPECT_EQ(VRDkill(nullptr, "zz"), 1);
    EXPECT_EQ(VRDset(nullptr, nullptr), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDkill", VRD_E_NOSTORE}, {"VRDset", VRD_E_NOSTORE}}));
    EXPECT_EQ(VRDget(nullptr), c);
    // A later handle and an earlier name: the first match in list order wins.
    EXPECT_EQ(VRDset(c, "b"), 0);
    EXPECT_EQ(VRDget(nullptr), b);
    EXPECT_EQ(VRDkill(c, nullptr), 0);  // not current: the current store stays
    EXPECT_EQ(VRDget(nullptr), b);
    EXPECT_EQ(VRDkill(nullptr, "b"), 0);  // current: the first of the list takes over
    EXPECT_EQ(VRDget(nullptr), store);
    EXPECT_EQ(VRDkill(store, nullptr), 0);
    EXPECT_EQ(VRDget(nullptr), nullptr);
    EXPECT_EQ(VRDnext(nullptr), nullptr);
}

TEST_F(Stores, KillReleasesPopulatedPoolsAndRecordFailureChangesNothing) {
    VRDentity e;
    uint32_t key;
    ASSERT_EQ(VRDkeyCreate("alpha", &key), 0);
    ASSERT_EQ(VRDintCreate(1 << 30, &e), 0);
    ASSERT_EQ(VRDformCreate(VRDentity{0, 0}, key, nullptr, &e), 0);
    heapwrapFailNth(1);
    EXPECT_EQ(VRDnew("starved"), nullptr);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDnew", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDget(nullptr), store);
    VRDstore *other = VRDnew("starved");
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(VRDkill(store, nullptr), 0);  // the sanitizers see every block go
    EXPECT_EQ(VRDget(nullptr), other);
}

TEST_F(Stores, RoutinesWithoutACurrentStoreReportUnderTheirOwnNames) {
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    VRDentity e{7, 7};
    uint32_t key = 99;
    char buffer[4] = "xyz";
    EXPECT_EQ(VRDintCreate(5, &e), 1);
    EXPECT_EQ(VRDrealCreate(5.0, &e), 1);
    EXPECT_EQ(VRDintGetValue(VRDentity{0x08000000, 0}), 0x7FFFFFFF);
    EXPECT_EQ(VRDrealGetValue(VRDentity{0x30000000, 0}), 1.7976931348623157e+308);
    EXPECT_EQ(VRDkeyCreate("k", &key), 1);
    EXPECT_EQ(VRDkeyGetPtrValue(0), nullptr);
    EXPECT_EQ(VRDkeyReuse(0, 1), 1);
    EXPECT_EQ(VRDkeyFind("k"), VRD_NO_KEY);
    VRDkeyGetValue(0, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(e.first, 7u);
    EXPECT_EQ(key, 99u);
    EXPECT_EQ(takeReports(), vrdtest::noStoreReports({"VRDintCreate", "VRDrealCreate", "VRDintGetValue",
                                                       "VRDrealGetValue", "VRDkeyCreate", "VRDkeyGetPtrValue",
                                                       "VRDkeyReuse", "VRDkeyFind", "VRDkeyGetValue"}));
}

}  // namespace
