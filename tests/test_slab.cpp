// test_slab.cpp - carving and returning runs of a key's entity slab: first fit, splits, joins.
#include <array>
#include <utility>

#include "forms/forms.h"
#include "support.h"

namespace {
using Reports = std::vector<vrdtest::Report>;
using Blocks = std::vector<std::pair<int, int>>;

// Every test works on the slab of a key that has one form, and leaves no report unchecked.
class Slab : public vrdtest::TreeTest {
protected:
    void SetUp() override {
        TreeTest::SetUp();
        FormRecord *record = nullptr;
        ASSERT_EQ(formptr(form("RUNS"), &k, &record), 0);
        key = VRDkeyFind("RUNS");
    }
    void TearDown() override { EXPECT_TRUE(takeReports().empty()), TreeTest::TearDown(); }
    Blocks freeBlocks() {  // the free list as (block, length) pairs, in list order
        int32_t starts[100], lengths[100];
        Blocks blocks;
        for (uint32_t i = 0, n = vrd::freeBlocks(*k, starts, lengths, 100); i < n && i < 100; ++i)
            blocks.emplace_back(starts[i], lengths[i]);
        return blocks;
    }
    std::array<int32_t, 2> usedAndCapacity() {
        vrd::KeyFigures figures = vrd::keyFigures(store, key);
        return {figures.slotsUsed, figures.slotsAllocated};
    }
    void carve(std::initializer_list<int> lengths) {  // consecutive runs from an empty slab
        int next = 0;
        for (int n : lengths) EXPECT_EQ(getElist(k, n), std::exchange(next, next + n));
    }
    KeyRecord *k = nullptr;
    uint32_t key = 0;
};

TEST_F(Slab, GrowsByTheRequestButAtLeast1020Slots) {
    // {request, run, slabUsed, slabCapacity}: reaching the capacity exactly also grows it.
    const int rows[][4] = {{2, 0, 2, 1020}, {1019, 2, 1021, 2040}, {1019, 1021, 2040, 3060}, {5000, 2040, 7040, 8060}};
    for (const auto &r : rows)
        EXPECT_EQ((std::array{getElist(k, r[0]), usedAndCapacity()[0], usedAndCapacity()[1]}),
                  (std::array{r[1], r[2], r[3]}));
}

TEST_F(Slab, FirstFitSplitsFromTheTailAndTakesExactFitsWhole) {
    carve({10, 5, 2, 4, 2});
    ASSERT_EQ(freeElist(k, 10, 5) + freeElist(k, 17, 4), 0);
    // 5 serves 3 from its tail and keeps 2; the 4-slot block would keep one slot and is passed over.
    EXPECT_EQ(getElist(k, 3), 12);
    EXPECT_EQ(freeBlocks(), (Blocks{{10, 2}, {17, 4}}));
    EXPECT_EQ(getElist(k, 3), 23);  // nothing fits: from the high-water mark
    EXPECT_TRUE(getElist(k, 4) == 17 && getElist(k, 2) == 10 && freeBlocks().empty());  // wherever listed
}

TEST_F(Slab, FreedRunsAppendOrJoinOnce) {
    carve({2, 2, 2, 2, 2, 2, 2, 2});
    // A run touching nothing is appended; after a block it lengthens it, before one takes its place.
    const struct { int start; Blocks blocks; } steps[] = {{8, {{8, 2}}}, {2, {{8, 2}, {2, 2}}},
        {10, {{8, 4}, {2, 2}}}, {6, {{6, 6}, {2, 2}}}, {4, {{4, 8}, {2, 2}}}};  // between two: joins the first listed
    for (const auto &s : steps) {
        ASSERT_EQ(freeElist(k, s.start, 2), 0);
        EXPECT_EQ(freeBlocks(), s.blocks) << s.start;
    }
    // The topmost run lowers the mark; the block below it is not absorbed.
    ASSERT_EQ(freeElist(k, 14, 2) + freeElist(k, 12, 2), 0);
    EXPECT_TRUE(freeBlocks() == (Blocks{{4, 8}, {2, 2}}) && getElist(k, 9) == 12);
}

TEST_F(Slab, RefusedRequestsChangeNothing) {
    carve({1018});
    ASSERT_EQ(freeElist(k, 0, 4), 0);
    for (int check : {1, 0}) {  // bad lengths: reported in check mode only
        VRDsetCheck(check);
        EXPECT_TRUE(getElist(k, 1) == -1 && freeElist(k, 4, 1) == 1);
        EXPECT_TRUE(freeElist(k, 1016, 3) == 1 && freeElist(k, 4, -2) == 1);  // past slabUsed; huge unsigned
    }
    EXPECT_EQ(takeReports(), (Reports{{"getElist", -16}, {"freeElist", -16}, {"freeElist", -16}, {"freeElist", -16}}));
    heapwrapFailNth(1);
    EXPECT_TRUE(getElist(k, 5) == -1 && getElist(k, 0x80000000u) == -1);  // past signed slot indexes, in any mode
    EXPECT_EQ(takeReports(), Reports(2, {"getElist", VRD_E_NOMEM}));
    EXPECT_EQ(usedAndCapacity(), (std::array<int32_t, 2>{1018, 1020}));
    EXPECT_TRUE(getElist(k, 4) == 0 && getElist(k, 5) == 1018);  // from its intact free list and by growing
}

}  // namespace
