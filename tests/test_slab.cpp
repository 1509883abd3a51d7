// test_slab.cpp - carving and returning runs of a key's entity slab: first fit, splits, joins.
#include <utility>

#include "forms/forms.h"
#include "support.h"

namespace {
using vrdtest::Report;
using vrdtest::StoreTest;

// Every slab test works on the slab of a key that has one form.
class Slab : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        VRDentity form{};
        ASSERT_EQ(VRDformCreate(VRDentity{0, 0}, VRD_NO_KEY, "RUNS", &form), 0);
        FormRecord *record = nullptr;
        ASSERT_EQ(formptr(form, &key, &record), 0);
    }
    // The free list as (block, length) pairs, in list order.
    std::vector<std::pair<int, int>> freeBlocks() {
        std::vector<std::pair<int, int>> blocks;
        for (int b = key->slabFree; b != -1 && blocks.size() < 100; b = static_cast<int>(key->slabSlots[b].first))
            blocks.emplace_back(b, static_cast<int>(key->slabSlots[b].second));
        return blocks;
    }
    // Carves consecutive runs of the given lengths from an empty slab.
    std::vector<int> carve(std::initializer_list<uint32_t> lengths) {
        std::vector<int> starts;
        for (uint32_t n : lengths) starts.push_back(getElist(key, n));
        return starts;
    }
    using Blocks = std::vector<std::pair<int, int>>;
    KeyRecord *key = nullptr;
};

TEST_F(Slab, GrowsByAtLeast1020Slots) {
    EXPECT_EQ(key->slabSlots, nullptr);
    EXPECT_EQ(getElist(key, 2), 0);
    EXPECT_EQ(key->slabUsed, 2);
    EXPECT_EQ(key->slabCapacity, 1020);
    // 2 + 1019 passes the capacity, so the slab grows by 1020 more.
    EXPECT_EQ(getElist(key, 1019), 2);
    EXPECT_EQ(key->slabUsed, 1021);
    EXPECT_EQ(key->slabCapacity, 2040);
    // Reaching the capacity exactly also grows it.
    EXPECT_EQ(getElist(key, 1019), 1021);
    EXPECT_EQ(key->slabUsed, 2040);
    EXPECT_EQ(key->slabCapacity, 3060);
    // Every slot handed out is writable.
    key->slabSlots[3059] = VRDentity{1, 2};
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Slab, LargeFirstRequestSetsTheCapacity) {
    EXPECT_EQ(getElist(key, 5000), 0);
    EXPECT_EQ(key->slabUsed, 5000);
    EXPECT_EQ(key->slabCapacity, 5000);
    EXPECT_EQ(getElist(key, 2), 5000);
    EXPECT_EQ(key->slabCapacity, 6020);
}

TEST_F(Slab, FirstFitSplitsFromTheTail) {
    std::vector<int> r = carve({10, 5, 2, 4, 2});
    EXPECT_EQ(r, (std::vector<int>{0, 10, 15, 17, 21}));
    ASSERT_EQ(freeElist(key, 10, 5), 0);
    ASSERT_EQ(freeElist(key, 17, 4), 0);
    EXPECT_EQ(freeBlocks(), (Blocks{{10, 5}, {17, 4}}));
    // 5 serves 3 from its last slots and keeps its head with 2 slots; the
    // 4-slot block would leave one slot and is passed over.
    EXPECT_EQ(getElist(key, 3), 12);
    EXPECT_EQ(freeBlocks(), (Blocks{{10, 2}, {17, 4}}));
    EXPECT_EQ(getElist(key, 3), 23);  // nothing fits: from the high-water mark
    EXPECT_EQ(key->slabUsed, 26);
    // An exact fit is taken whole and unlinked, wherever it is in the list.
    EXPECT_EQ(getElist(key, 4), 17);
    EXPECT_EQ(freeBlocks(), (Blocks{{10, 2}}));
    EXPECT_EQ(getElist(key, 2), 10);
    EXPECT_EQ(freeBlocks(), Blocks{});
    EXPECT_EQ(key->slabFree, -1);
}

TEST_F(Slab, FreedRunsAppendOrJoinOnce) {
    carve({2, 2, 2, 2, 2, 2, 2, 2});  // runs at 0, 2, ..., 14
    // Blocks that touch nothing are appended in the order they were freed.
    ASSERT_EQ(freeElist(key, 8, 2), 0);
    ASSERT_EQ(freeElist(key, 2, 2), 0);
    EXPECT_EQ(freeBlocks(), (Blocks{{8, 2}, {2, 2}}));
    // A run just after a block lengthens that block.
    ASSERT_EQ(freeElist(key, 10, 2), 0);
    EXPECT_EQ(freeBlocks(), (Blocks{{8, 4}, {2, 2}}));
    // A run just before a block takes over its header and its list place.
    ASSERT_EQ(freeElist(key, 6, 2), 0);
    EXPECT_EQ(freeBlocks(), (Blocks{{6, 6}, {2, 2}}));
    // Between blocks 2 and 6, the run joins the first listed (6) only.
    ASSERT_EQ(freeElist(key, 4, 2), 0);
    EXPECT_EQ(freeBlocks(), (Blocks{{4, 8}, {2, 2}}));
    EXPECT_EQ(key->slabUsed, 16);
    // The topmost run lowers the mark; the block below it is not absorbed.
    ASSERT_EQ(freeElist(key, 14, 2), 0);
    EXPECT_EQ(key->slabUsed, 14);
    ASSERT_EQ(freeElist(key, 12, 2), 0);
    EXPECT_EQ(key->slabUsed, 12);
    EXPECT_EQ(freeBlocks(), (Blocks{{4, 8}, {2, 2}}));
    EXPECT_EQ(getElist(key, 9), 12);  // no block fits: from the lowered mark
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Slab, LengthsAreTestedInCheckMode) {
    carve({4, 2});
    EXPECT_EQ(getElist(key, 1), -1);
    EXPECT_EQ(getElist(key, 0), -1);
    EXPECT_EQ(freeElist(key, 0, 1), 1);
    EXPECT_EQ(freeElist(key, 4, 3), 1);   // past slabUsed
    EXPECT_EQ(freeElist(key, 0, -2), 1);  // negative, huge when unsigned
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"getElist", VRD_E_BADLENGTH},
                                                  {"getElist", VRD_E_BADLENGTH},
                                                  {"freeElist", VRD_E_BADLENGTH},
                                                  {"freeElist", VRD_E_BADLENGTH},
                                                  {"freeElist", VRD_E_BADLENGTH}}));
    // Unchecked, the same calls are refused silently and change nothing.
    VRDsetCheck(0);
    EXPECT_EQ(getElist(key, 1), -1);
    EXPECT_EQ(freeElist(key, 0, 1), 1);
    EXPECT_EQ(freeElist(key, 4, 3), 1);
    EXPECT_TRUE(takeReports().empty());
    EXPECT_EQ(key->slabUsed, 6);
    EXPECT_EQ(key->slabFree, -1);
}

TEST_F(Slab, FailedGrowthChangesNothing) {
    EXPECT_EQ(getElist(key, 1018), 0);  // used 1018 of 1020
    ASSERT_EQ(freeElist(key, 0, 4), 0);
    VRDentity *slots = key->slabSlots;
    heapwrapFailNth(1);
    EXPECT_EQ(getElist(key, 5), -1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"getElist", VRD_E_NOMEM}}));
    EXPECT_EQ(key->slabSlots, slots);
    EXPECT_EQ(key->slabUsed, 1018);
    EXPECT_EQ(key->slabCapacity, 1020);
    EXPECT_EQ(freeBlocks(), (Blocks{{0, 4}}));
    // The slab keeps serving, from its free list and by growing.
    EXPECT_EQ(getElist(key, 4), 0);
    EXPECT_EQ(getElist(key, 5), 1018);
    EXPECT_EQ(key->slabCapacity, 2040);
    // A request past signed slot indexes is an allocation failure in any mode.
    VRDsetCheck(0);
    EXPECT_EQ(getElist(key, 0x80000000u), -1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"getElist", VRD_E_NOMEM}}));
}

}  // namespace
