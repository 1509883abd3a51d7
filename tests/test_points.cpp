// test_points.cpp - points: packed and table forms, coordinate and point chains, bounds, failures.
#include <climits>

#include "pools/pools.h"
#include "support.h"

namespace {
using vrdtest::entity;
using vrdtest::Report;

constexpr uint32_t kPoint = 0x40000000, kTable = 0x3C000000;

class Points : public vrdtest::StoreTest {
protected:
    // The second word of the point made, which must succeed.
    uint32_t point(int32_t x, int32_t y) {
        VRDentity e{};
        EXPECT_EQ(VRDpointCreate(x, y, &e), 0) << x << "," << y;
        EXPECT_EQ(e.first, kPoint);
        return e.second;
    }
    // All three getters must give (x, y) for the point with this second word.
    void expectReads(uint32_t second, int32_t x, int32_t y) {
        VRDentity e = entity(kPoint, second);
        VRDpoint p = VRDpointGetValue(e);
        EXPECT_TRUE(p.x == x && p.y == y && VRDpointGetX(e) == x && VRDpointGetY(e) == y) << std::hex << second;
    }
};

TEST_F(Points, PackedPointsCarryBothIndexesAndFindCreatesNothing) {
    EXPECT_TRUE(VRDpointFind(5, 7) == VRDnullEntity());
    EXPECT_EQ(point(5, 7), 0u);
    EXPECT_EQ(point(5, 9), 1u);
    EXPECT_EQ(point(6, 7), 32768u);
    EXPECT_EQ(VRDpointFind(6, 9), entity(kPoint, 32769));  // never made, but both coordinates exist
    expectReads(32769, 6, 9);
    EXPECT_TRUE(VRDpointFind(6, 8) == VRDnullEntity() && VRDpointFind(8, 7) == VRDnullEntity());
    EXPECT_EQ(point(INT_MIN, INT_MAX), 2u << 15 | 2);  // the finds interned nothing
    expectReads(2u << 15 | 2, INT_MIN, INT_MAX);
    for (uint32_t beyond : {3u << 15, 3u, kTable})  // indexes past the pools read nothing
        expectReads(beyond, INT32_MAX, INT32_MAX);
    EXPECT_TRUE(takeReports().empty());
}

// Chains are stored as they stand in binary files; only the record shows their order.
TEST_F(Points, ChainsFollowTheWrappingDifferenceXThenY) {
    for (int32_t v : {63, 0, 65536, 31, 64, -1, 0x40000000, INT_MIN}) newxcoord(v);
    std::vector<int32_t> xs;  // bucket 0: by the difference INT_MIN ranks last, not first
    for (uint16_t i = store->xcoordIndex[0]; i < 0xFFFF; i = store->xcoordNext[i]) xs.push_back(store->xcoordValues[i]);
    EXPECT_EQ(xs, (std::vector<int32_t>{0, 31, 63, 65536, 0x40000000, INT_MIN}));
    EXPECT_TRUE(store->xcoordIndex[1] == 4 && store->xcoordIndex[1023] == 5);  // 64 and -1
    EXPECT_TRUE(newxcoord(INT_MIN) == 7 && newxcoord(0) == 1);                 // found, not interned twice
    using XY = std::pair<int32_t, int32_t>;
    VRDentity e{};
    for (XY p : {XY{0, 100}, {-64, 0}, {0, 64}, {0, 70}, {-64, -5}}) ASSERT_EQ(newpoint(p.first, p.second, &e), 0);
    std::vector<XY> points;  // bucket |(-1 + 0) % 1019| = 1, shared by all but (-64, -5)
    for (int32_t i = store->pointIndex[1]; i >= 0; i = store->pointRecords[i].next)
        points.emplace_back(store->pointRecords[i].x, store->pointRecords[i].y);
    EXPECT_EQ(points, (std::vector<XY>{{-64, 0}, {0, 64}, {0, 70}, {0, 100}}));
    EXPECT_TRUE(newpoint(0, 70, &e) == 0 && e == entity(kPoint, kTable | 3));
}

TEST_F(Points, FullCoordinateTablesSendNewPointsToThePointTable) {
    for (int32_t i = 0; i < 32640; ++i) ASSERT_EQ(newycoord(i), i);  // full: the most steps of 1020 reach
    VRDentity form{}, e{4, 4};
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "PATH", &form), 0);
    heapwrapFailNth(4);  // x index, values and links, then the point index: nothing is added
    EXPECT_EQ(VRDformAddPoint(0xFFFFFFFF, &e, form, 42, 99999), 1);
    EXPECT_TRUE(e == entity(4, 4) && VRDformEntityCount(form) == 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newpoint", VRD_E_NOMEM}}));
    ASSERT_EQ(VRDformAddPoint(0xFFFFFFFF, &e, form, 42, 99999), 0);
    EXPECT_TRUE(e == entity(kPoint, kTable) && VRDformGetEntity(form, 0) == e);
    EXPECT_EQ(VRDpointFind(42, 5), entity(kPoint, 5));  // 42 stayed interned though y was refused
    for (int32_t i = 1; i < 30600; ++i) ASSERT_EQ(newxcoord(1000000 + i), i);
    EXPECT_EQ(point(7, 8), kTable | 1);              // new x: kept whole, and no report
    EXPECT_EQ(point(1030599, 8), 30599u << 15 | 8);  // both interned: still packed
    EXPECT_EQ(VRDpointFind(7, 8), entity(kPoint, kTable | 1));
    expectReads(kTable | 1, 7, 8);
    expectReads(30599u << 15 | 8, 1030599, 8);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Points, AllocationFailuresLeaveEveryPoolUsable) {
    // Allocations in order: x index, values, links, then y's, then the point index and records.
    const std::pair<long, const char *> cases[] = {{1, "newxcoord"}, {2, "newxcoord"}, {2, "newxcoord"},
                                                   {3, "newycoord"}, {2, "newycoord"}, {2, "newycoord"}};
    for (int32_t i = 0; i < 6; ++i) {  // each coordinate failure sends the point to the table
        heapwrapFailNth(cases[i].first);
        EXPECT_EQ(point(1, i), kTable | static_cast<uint32_t>(i));
        EXPECT_EQ(takeReports(), (std::vector<Report>{{cases[i].second, VRD_E_NOMEM}}));
    }
    EXPECT_EQ(point(1, 6), 0u);  // both tables take it now
    expectReads(kTable | 4, 1, 4);
    for (int32_t i = 1; i < 1020; ++i) ASSERT_EQ(newxcoord(i * 64), i);
    heapwrapFailNth(1);  // the second step of 1020
    EXPECT_EQ(newxcoord(-64), 0xFFFF);
    EXPECT_TRUE(newxcoord(-64) == 1020 && newxcoord(128) == 2);
    VRDentity e{};
    long calls = heapwrapCalls();
    for (int32_t i = 6; i < 340; ++i) ASSERT_EQ(newpoint(i, -i, &e), 0);
    EXPECT_EQ(heapwrapCalls(), calls);  // 340 records from one step
    heapwrapFailNth(1);
    EXPECT_EQ(newpoint(340, 0, &e), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newxcoord", VRD_E_NOMEM}, {"newpoint", VRD_E_NOMEM}}));
    EXPECT_TRUE(newpoint(340, 0, &e) == 0 && e == entity(kPoint, kTable | 340));
    // 67,108,860 records cannot be built here: the table is made to look that full.
    store->pointCount = store->pointCapacity = 67108860;
    VRDentity untouched{1, 1};
    EXPECT_TRUE(newpoint(1 << 20, 1 << 20, &untouched) == 1 && untouched == entity(1, 1));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newpoint", VRD_E_TOOMANYPOINTS}}));
}

TEST_F(Points, EveryRoutineRefusesToRunWithoutAStore) {
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    const std::pair<const char *, bool (*)()> calls[] = {
        {"VRDpointCreate", [] { VRDentity o{6, 6}; return VRDpointCreate(1, 2, &o) == 1 && o.first == 6; }},
        {"VRDpointGetValue", [] { return VRDpointGetValue(entity(kPoint)).x == INT32_MAX; }},
        {"VRDpointGetX", [] { return VRDpointGetX(entity(kPoint)) == INT32_MAX; }},
        {"VRDpointGetY", [] { return VRDpointGetY(entity(kPoint)) == INT32_MAX; }},
        {"VRDpointFind", [] { return VRDpointFind(3, 4) == VRDnullEntity(); }},
        {"newxcoord", [] { return newxcoord(1) == 0xFFFF; }},
        {"newycoord", [] { return newycoord(1) == 0xFFFF; }},
        {"newpoint", [] { VRDentity o{6, 6}; return newpoint(1, 2, &o) == 1 && o.first == 6; }},
        {"VRDformAddPoint", [] { VRDentity o{6, 6}; return VRDformAddPoint(0, &o, {}, 1, 2) == 1 && o.first == 6; }},
    };
    for (const auto &[name, call] : calls) {
        EXPECT_TRUE(call()) << name;
        EXPECT_EQ(takeReports(), (std::vector<Report>{{name, VRD_E_NOSTORE}}));
    }
}

}  // namespace
