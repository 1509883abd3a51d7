// test_statistics.cpp - the memory report: exact text for empty and populated stores, long chains.
#include "support.h"

namespace {

using StatisticsTest = vrdtest::StoreTest;
using vrdtest::entity;
using vrdtest::statisticsReport;

constexpr uint32_t kEnd = 0xFFFFFFFF;
const char kHeading[] =
    "Key  Keyword      Forms  Bytes   Ents    Bytes   Free    Entity distribution\n"
    "---  -------      -----  -----   ----    -----   ----    -------------------\n";

TEST_F(StatisticsTest, NewStoreShowsOnlyTheFixedIndexes) {
    EXPECT_EQ(statisticsReport(),
              std::string("Keys           - 0/0 entries, 0/0 bytes, 512/512 lists\n"
                          "Xcoords        - 0 bytes, 0 next, 2048 index, 0 fsp\n"
                          "Ycoords        - 0 bytes, 0 next, 2048 index, 0 fsp\n"
                          "Points         - 0 bytes,  0 fsp\n"
                          "Strings/Ids    - 0/0 bytes, 4096 index\n"
                          "Bigints        - 0/0 entries, 0/0 lists\n"
                          "Reals          - 0/0 entries, 0/0 lists\n") +
                  kHeading + "Total space allocated  - 12780 bytes, 0 free  ( form fsp 0 in 0 keys )\n");
    EXPECT_TRUE(takeReports().empty());
}

// One key of a long keyword whose five forms hold 0, 1, 1, 5 and 2 entities,
// one point, one string, one big integer, one real, and a key without forms.
TEST_F(StatisticsTest, PopulatedStoreFiguresFollowTheGrowthSteps) {
    uint32_t key, bare;
    VRDentity f[5], e;
    const VRDentity five[5] = {entity(0x18000001), entity(0x18000002), entity(0x18000003), entity(0x18000004),
                               entity(0x18000005)};
    ASSERT_EQ(VRDkeyCreate("LONGKEYWORDNAME", &key), 0);
    for (VRDentity &form : f) ASSERT_EQ(VRDformCreate(VRDnullEntity(), key, nullptr, &form), 0);
    vrdtest::expectOk({VRDformAddInt(f[1], kEnd, 1, &e), VRDformAddInt(f[2], kEnd, 2, &e),
                       VRDformAddEntities(f[3], kEnd, 5, five), VRDformAddEntities(f[4], kEnd, 2, five),
                       VRDkeyCreate("BARE", &bare), VRDpointCreate(5, 7, &e), VRDstringCreate("hi", &e),
                       VRDintCreate(1 << 30, &e), VRDrealCreate(0.5, &e)});
    // Free room of the key: (8 - 5) x 28 + (1020 - 7) x 8 = 8188.
    EXPECT_EQ(statisticsReport(),
              std::string("Keys           - 2/5 entries, 21/500 bytes, 528/552 lists\n"
                          "Distribution\n0  -  126\n1  -  2\n"
                          "Xcoords        - 4080 bytes, 2040 next, 2048 index, 6114 fsp\n"
                          "Xcoord Distribution\n0  -  1023\n1  -  1\n"
                          "Ycoords        - 4080 bytes, 2040 next, 2048 index, 6114 fsp\n"
                          "Ycoord Distribution\n0  -  1023\n1  -  1\n"
                          "Points         - 0 bytes,  0 fsp\n"
                          "Strings/Ids    - 7/2030 bytes, 4096 index\n"
                          "Distribution\n0  -  1023\n1  -  1\n"
                          "Bigints        - 1/125 entries, 4/500 lists\n"
                          "Reals          - 1/62 entries, 8/496 lists\n") +
                  kHeading +
                  "0    LONGKEYWORDN 5      140     7       56      8188    - 1/2, 2/1, 3/0, >3/1, max 5, tot 9\n"
                  "Total space allocated  - 36970 bytes, 23926 free  ( form fsp 8188 in 1 keys )\n");
}

// A chain of 101 keywords in one bucket has no counter of its own: the
// distribution stops at 99 and counts it nowhere.  A 2-slot run given back
// below the high-water mark counts as free room: (2 - 2) x 28 + (1020 - 4) x 8 + 2 x 8.
TEST_F(StatisticsTest, LongChainsAndFreedRuns) {
    uint32_t key;
    for (int i = 0; i < 101; ++i) ASSERT_EQ(VRDkeyCreate(("K" + std::to_string(i)).c_str(), &key), 0);
    VRDentity a, b;
    const VRDentity two[2] = {entity(0x18000001), entity(0x18000002)};
    vrdtest::expectOk({VRDformCreate(VRDnullEntity(), 0, nullptr, &a), VRDformCreate(VRDnullEntity(), 0, nullptr, &b),
                       VRDformAddEntities(a, kEnd, 2, two), VRDformAddEntities(b, kEnd, 2, two), VRDformClear(a)});
    std::string text = statisticsReport(), chains = "\nDistribution\n0  -  127\n";
    for (int n = 1; n <= 99; ++n) chains += std::to_string(n) + "  -  0\n";
    EXPECT_NE(text.find(chains + "Xcoords"), std::string::npos) << text;
    EXPECT_NE(text.find("0    K0           2      56      4       32      8144   "
                        " - 1/0, 2/1, 3/0, >3/0, max 2, tot 2\n"),
              std::string::npos);
}

}  // namespace
