// test_statistics.cpp - the memory report: exact text for empty and populated stores, long chains.
#include "support.h"

namespace {

class StatisticsTest : public vrdtest::StoreTest {
protected:
    std::string report() {
        testing::internal::CaptureStdout();
        VRDstatistics();
        return testing::internal::GetCapturedStdout();
    }
};

const char kHeading[] =
    "Key  Keyword      Forms  Bytes   Ents    Bytes   Free    Entity distribution\n"
    "---  -------      -----  -----   ----    -----   ----    -------------------\n";

TEST_F(StatisticsTest, NewStoreShowsOnlyTheFixedIndexes) {
    EXPECT_EQ(report(), std::string("Keys           - 0/0 entries, 0/0 bytes, 512/512 lists\n"
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
    ASSERT_EQ(VRDkeyCreate("LONGKEYWORDNAME", &key), 0);
    VRDentity forms[5], e;
    for (VRDentity &f : forms) ASSERT_EQ(VRDformCreate(VRDnullEntity(), key, nullptr, &f), 0);
    ASSERT_EQ(VRDformAddInt(forms[1], 0xFFFFFFFF, 1, &e), 0);
    ASSERT_EQ(VRDformAddInt(forms[2], 0xFFFFFFFF, 2, &e), 0);
    const VRDentity five[5] = {vrdtest::entity(0x18000001), vrdtest::entity(0x18000002), vrdtest::entity(0x18000003),
                               vrdtest::entity(0x18000004), vrdtest::entity(0x18000005)};
    ASSERT_EQ(VRDformAddEntities(forms[3], 0xFFFFFFFF, 5, five), 0);
    ASSERT_EQ(VRDformAddEntities(forms[4], 0xFFFFFFFF, 2, five), 0);
    ASSERT_EQ(VRDkeyCreate("BARE", &bare), 0);
    ASSERT_EQ(VRDpointCreate(5, 7, &e), 0);
    ASSERT_EQ(VRDstringCreate("hi", &e), 0);
    ASSERT_EQ(VRDintCreate(1 << 30, &e), 0);
    ASSERT_EQ(VRDrealCreate(0.5, &e), 0);
    // Free room of the key: (8 - 5) x 28 + (1020 - 7) x 8 = 8188.
    EXPECT_EQ(report(), std::string("Keys           - 2/5 entries, 21/500 bytes, 528/552 lists\n"
                                    "Distribution\n"
                                    "0  -  126\n"
                                    "1  -  2\n"
                                    "Xcoords        - 4080 bytes, 2040 next, 2048 index, 6114 fsp\n"
                                    "Xcoord Distribution\n"
                                    "0  -  1023\n"
                                    "1  -  1\n"
                                    "Ycoords        - 4080 bytes, 2040 next, 2048 index, 6114 fsp\n"
                                    "Ycoord Distribution\n"
                                    "0  -  1023\n"
                                    "1  -  1\n"
                                    "Points         - 0 bytes,  0 fsp\n"
                                    "Strings/Ids    - 7/2030 bytes, 4096 index\n"
                                    "Distribution\n"
                                    "0  -  1023\n"
                                    "1  -  1\n"
                                    "Bigints        - 1/125 entries, 4/500 lists\n"
                                    "Reals          - 1/62 entries, 8/496 lists\n") +
                            kHeading +
                            "0    LONGKEYWORDN 5      140     7       56      8188   "
                            " - 1/2, 2/1, 3/0, >3/1, max 5, tot 9\n"
                            "Total space allocated  - 36970 bytes, 23926 free  ( form fsp 8188 in 1 keys )\n");
}

// Freed runs count as free room: a 2-slot run given back below the
// high-water mark adds 16 bytes to the key's figure.
TEST_F(StatisticsTest, FreeBlocksOfTheSlabCountAsFreeRoom) {
    VRDentity a, b;
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "K", &a), 0);
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "K", &b), 0);
    const VRDentity two[2] = {vrdtest::entity(0x18000001), vrdtest::entity(0x18000002)};
    ASSERT_EQ(VRDformAddEntities(a, 0xFFFFFFFF, 2, two), 0);
    ASSERT_EQ(VRDformAddEntities(b, 0xFFFFFFFF, 2, two), 0);
    ASSERT_EQ(VRDformClear(a), 0);
    std::string text = report();
    // (2 - 2) x 28 + (1020 - 4) x 8 + 2 x 8 = 8144
    EXPECT_NE(text.find("0    K            2      56      4       32      8144    - 1/0, 2/1, 3/0, >3/0, max 2, tot 2\n"),
              std::string::npos)
        << text;
}

// A chain of 101 keywords in one bucket has no counter of its own; the
// distribution still stops at 99 and counts it nowhere.
TEST_F(StatisticsTest, ChainsOfHundredOrMoreArePrintedUpTo99Only) {
    uint32_t key;
    char name[8];
    for (int i = 0; i < 101; ++i) {
        std::snprintf(name, sizeof name, "K%d", i);
        ASSERT_EQ(VRDkeyCreate(name, &key), 0);
    }
    std::string text = report();
    std::string expected = "Distribution\n0  -  127\n";
    for (int n = 1; n <= 99; ++n) expected += std::to_string(n) + "  -  0\n";
    expected += "Xcoords";
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

}  // namespace
