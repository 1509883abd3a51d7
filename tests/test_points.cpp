// test_points.cpp - points: packed and table forms, coordinate and point chains, bounds, failures.
#include <climits>

#include "pools/pools.h"
#include "support.h"

namespace {
using vrdtest::entity;
using vrdtest::Report;

constexpr uint32_t kPoint = 0x40000000;

class Points : public vrdtest::StoreTest {
protected:
    VRDentity point(int32_t x, int32_t y) {
        VRDentity e{0xDEAD, 0xBEEF};
        EXPECT_EQ(VRDpointCreate(x, y, &e), 0) << x << "," << y;
        return e;
    }
    // Both getters and the pair getter must agree with the coordinates.
    void expectReads(VRDentity e, int32_t x, int32_t y) {
        VRDpoint p = VRDpointGetValue(e);
        EXPECT_EQ(p.x, x);
        EXPECT_EQ(p.y, y);
        EXPECT_EQ(VRDpointGetX(e), x);
        EXPECT_EQ(VRDpointGetY(e), y);
    }
    // The x values of a bucket's chain, head first (read from the store
    // record: the chains are stored as they stand in the binary file).
    std::vector<int32_t> xChain(uint32_t bucket) const {
        std::vector<int32_t> values;
        for (uint16_t e = store->xcoordIndex[bucket]; e != 0xFFFF; e = store->xcoordNext[e])
            values.push_back(store->xcoordValues[e]);
        return values;
    }
    std::vector<std::pair<int32_t, int32_t>> pointChain(uint32_t bucket) const {
        std::vector<std::pair<int32_t, int32_t>> points;
        for (int32_t e = store->pointIndex[bucket]; e >= 0; e = store->pointRecords[e].next)
            points.emplace_back(store->pointRecords[e].x, store->pointRecords[e].y);
        return points;
    }
    // Interns x values from 1,000,000 up until the table holds 30,600, the
    // most that steps of 1020 reach below 30,719.
    void fillX() {
        for (int32_t v = 1000000; store->xcoordCount < 30600; ++v) ASSERT_NE(newxcoord(v), 0xFFFF);
        ASSERT_EQ(store->xcoordCapacity, 30600);
    }
};

TEST_F(Points, PackedPointsCarryBothIndexes) {
    EXPECT_EQ(point(5, 7), entity(kPoint, 0));
    EXPECT_EQ(point(5, 9), entity(kPoint, 1));
    EXPECT_EQ(point(6, 7), entity(kPoint, 32768));
    EXPECT_EQ(point(6, 7), entity(kPoint, 32768));
    EXPECT_EQ(store->xcoordCount, 2);
    EXPECT_EQ(store->ycoordCount, 2);
    EXPECT_EQ(store->xcoordCapacity, 1020);
    EXPECT_TRUE(store->pointIndex == nullptr);
    expectReads(entity(kPoint, 32768), 6, 7);
    expectReads(point(INT_MIN, INT_MAX), INT_MIN, INT_MAX);
    expectReads(point(-1, -64), -1, -64);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Points, CoordinateChainsFollowTheWrappingDifference) {
    for (int32_t v : {63, 0, 65536, 31}) newxcoord(v);
    EXPECT_EQ(xChain(0), (std::vector<int32_t>{0, 31, 63, 65536}));
    newxcoord(64);
    newxcoord(-1);
    EXPECT_EQ(xChain(1), (std::vector<int32_t>{64}));
    EXPECT_EQ(xChain(1023), (std::vector<int32_t>{-1}));

    // 0x40000000 and INT_MIN share bucket 0 too.  By the difference INT_MIN
    // ranks above both others, where a plain comparison would put it first.
    newxcoord(0x40000000);
    newxcoord(INT_MIN);
    EXPECT_EQ(xChain(0), (std::vector<int32_t>{0, 31, 63, 65536, 0x40000000, INT_MIN}));
    EXPECT_EQ(newxcoord(INT_MIN), 7);  // found, not interned twice
    EXPECT_EQ(newxcoord(0), 1);
    EXPECT_EQ(store->xcoordCount, 8);
}

TEST_F(Points, PointTableChainsCompareXThenY) {
    VRDentity e{};
    ASSERT_EQ(newpoint(-64, 0, &e), 0);  // (-1 + 0) % 1019, made positive: bucket 1
    EXPECT_EQ(e, entity(kPoint, 0x3C000000));
    EXPECT_EQ(pointChain(1), (std::vector<std::pair<int32_t, int32_t>>{{-64, 0}}));
    ASSERT_EQ(newpoint(0, 64, &e), 0);  // also bucket 1, after by x
    ASSERT_EQ(newpoint(0, 100, &e), 0);  // same bucket, after by y
    ASSERT_EQ(newpoint(-64, -5, &e), 0);  // -1 + -1: bucket 2
    ASSERT_EQ(newpoint(0, 70, &e), 0);  // between (0, 64) and (0, 100)
    EXPECT_EQ(e, entity(kPoint, 0x3C000000 | 4));
    EXPECT_EQ(pointChain(1), (std::vector<std::pair<int32_t, int32_t>>{{-64, 0}, {0, 64}, {0, 70}, {0, 100}}));
    EXPECT_EQ(pointChain(2), (std::vector<std::pair<int32_t, int32_t>>{{-64, -5}}));
    ASSERT_EQ(newpoint(0, 70, &e), 0);  // found again
    EXPECT_EQ(e, entity(kPoint, 0x3C000000 | 4));
    EXPECT_EQ(store->pointCount, 5);
    EXPECT_EQ(store->pointCapacity, 340);
    expectReads(e, 0, 70);
    // A large negative sum keeps its sign through the division and is made
    // positive afterwards.
    ASSERT_EQ(newpoint(-1019 * 64 - 128, 0, &e), 0);
    EXPECT_EQ(pointChain(2), (std::vector<std::pair<int32_t, int32_t>>{{-1019 * 64 - 128, 0}, {-64, -5}}));
    expectReads(e, -1019 * 64 - 128, 0);
}

TEST_F(Points, FullCoordinateTablesSendNewPointsToThePointTable) {
    fillX();
    EXPECT_EQ(newxcoord(7), 0xFFFF);  // full: refused without a report
    EXPECT_EQ(store->xcoordCapacity, 30600);

    VRDentity outside = point(7, 8);  // new x: kept whole
    EXPECT_EQ(outside, entity(kPoint, 0x3C000000));
    EXPECT_EQ(store->ycoordCount, 0);  // y is never tried once x is refused
    VRDentity inside = point(1000000 + 30599, 8);  // both interned: still packed
    EXPECT_EQ(inside, entity(kPoint, 30599u << 15));
    expectReads(outside, 7, 8);
    expectReads(inside, 1030599, 8);
    EXPECT_EQ(point(7, 8), outside);
    EXPECT_EQ(VRDpointFind(7, 8), outside);

    for (int32_t i = 0; i < 32639; ++i) ASSERT_EQ(newycoord(-i - 1), i + 1);
    EXPECT_EQ(newycoord(12345), 0xFFFF);
    EXPECT_EQ(store->ycoordCapacity, 32640);
    // With the ycoord table full too, a new y alone sends the point to the table.
    VRDentity ytable = point(1000000, 12345);
    EXPECT_EQ(ytable, entity(kPoint, 0x3C000000 | 1));
    expectReads(ytable, 1000000, 12345);
    EXPECT_EQ(point(1000000, -32639), entity(kPoint, 32639));  // both interned
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Points, NewXStaysInternedWhenTheYTableIsFull) {
    for (int32_t i = 0; i < 32640; ++i) ASSERT_EQ(newycoord(i), i);
    VRDentity e = point(42, 99999);
    EXPECT_EQ(e, entity(kPoint, 0x3C000000));
    EXPECT_EQ(store->xcoordCount, 1);
    EXPECT_EQ(VRDpointFind(42, 0), entity(kPoint, 0));  // 42 was interned by that call
    expectReads(e, 42, 99999);
}

TEST_F(Points, FindCreatesNothing) {
    EXPECT_TRUE(VRDpointFind(1, 2) == VRDnullEntity());
    point(1, 2);
    point(3, 4);
    VRDentity crossed = VRDpointFind(1, 4);  // never made, but both coordinates exist
    EXPECT_EQ(crossed, entity(kPoint, 1));
    expectReads(crossed, 1, 4);
    EXPECT_TRUE(VRDpointFind(1, 5) == VRDnullEntity());
    EXPECT_TRUE(VRDpointFind(5, 1) == VRDnullEntity());
    VRDentity e{};
    ASSERT_EQ(newpoint(9, 9, &e), 0);
    EXPECT_EQ(VRDpointFind(9, 9), e);
    EXPECT_TRUE(VRDpointFind(9, 8) == VRDnullEntity());
    EXPECT_EQ(store->xcoordCount, 2);
    EXPECT_EQ(store->ycoordCount, 2);
    EXPECT_EQ(store->pointCount, 1);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Points, PointTableGrowsBy340AndStopsAtItsBound) {
    VRDentity e{};
    for (int32_t i = 0; i < 340; ++i) ASSERT_EQ(newpoint(i, -i, &e), 0);
    EXPECT_EQ(store->pointCapacity, 340);
    ASSERT_EQ(newpoint(340, 0, &e), 0);
    EXPECT_EQ(store->pointCapacity, 680);
    EXPECT_EQ(e, entity(kPoint, 0x3C000000 | 340));

    // 67,108,860 records cannot be built here; the bound is checked by
    // making the table look that full, with every real chain left intact.
    int32_t count = store->pointCount, capacity = store->pointCapacity;
    store->pointCount = store->pointCapacity = 67108860;
    VRDentity untouched{1, 1};
    EXPECT_EQ(newpoint(1 << 20, 1 << 20, &untouched), 1);  // an empty bucket
    EXPECT_EQ(untouched, entity(1, 1));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newpoint", VRD_E_TOOMANYPOINTS}}));
    EXPECT_EQ(store->pointCapacity, 67108860);
    store->pointCount = count;
    store->pointCapacity = capacity;
    ASSERT_EQ(newpoint(1 << 20, 1 << 20, &e), 0);
    EXPECT_EQ(e, entity(kPoint, 0x3C000000 | 341));
}

TEST_F(Points, AllocationFailuresKeepEveryPoolUsable) {
    VRDentity e{0xAA, 0xBB};
    // Calls: x index, x values, x links, y index, y values, y links.
    heapwrapFailNth(1);
    EXPECT_EQ(VRDpointCreate(1, 2, &e), 0);  // x refused: kept whole
    EXPECT_EQ(e, entity(kPoint, 0x3C000000));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newxcoord", VRD_E_NOMEM}}));
    EXPECT_EQ(VRDlastError(), VRD_E_NOMEM);
    heapwrapFailNth(2);
    EXPECT_EQ(VRDpointCreate(1, 3, &e), 0);
    EXPECT_EQ(e, entity(kPoint, 0x3C000000 | 1));
    heapwrapFailNth(2);  // values grown, links refused: capacity stays 0
    EXPECT_EQ(VRDpointCreate(1, 4, &e), 0);
    EXPECT_EQ(store->xcoordCapacity, 0);
    EXPECT_EQ(store->xcoordCount, 0);
    heapwrapFailNth(3);  // x fine, then the y index
    EXPECT_EQ(VRDpointCreate(1, 5, &e), 0);
    EXPECT_EQ(e, entity(kPoint, 0x3C000000 | 3));
    heapwrapFailNth(2);  // y values
    EXPECT_EQ(VRDpointCreate(1, 6, &e), 0);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newxcoord", VRD_E_NOMEM},
                                                  {"newxcoord", VRD_E_NOMEM},
                                                  {"newycoord", VRD_E_NOMEM},
                                                  {"newycoord", VRD_E_NOMEM}}));
    EXPECT_EQ(store->xcoordCount, 1);
    EXPECT_EQ(store->ycoordCount, 0);
    EXPECT_EQ(point(1, 6), entity(kPoint, 0));  // now both tables take it
    expectReads(entity(kPoint, 0x3C000000 | 3), 1, 5);

    // The coordinate arrays' growth past 1020 entries.
    for (int32_t i = 1; i < 1020; ++i) ASSERT_EQ(newxcoord(i * 64), i);
    heapwrapFailNth(1);
    EXPECT_EQ(newxcoord(-64), 0xFFFF);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newxcoord", VRD_E_NOMEM}}));
    EXPECT_EQ(store->xcoordCapacity, 1020);
    EXPECT_EQ(newxcoord(-64), 1020);
    EXPECT_EQ(store->xcoordCapacity, 2040);
    EXPECT_EQ(newxcoord(128), 2);
}

TEST_F(Points, PointTableAllocationFailuresReportUnderNewpoint) {
    VRDentity e{0xAA, 0xBB};
    heapwrapFailNth(1);
    EXPECT_EQ(newpoint(1, 1, &e), 1);
    EXPECT_TRUE(store->pointIndex == nullptr);
    heapwrapFailNth(2);
    EXPECT_EQ(newpoint(1, 1, &e), 1);
    EXPECT_EQ(store->pointCapacity, 0);
    fillX();
    heapwrapFailNth(1);  // x refused for room, then the records: the point cannot be made
    EXPECT_EQ(VRDpointCreate(1, 1, &e), 1);
    EXPECT_EQ(e, entity(0xAA, 0xBB));
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newpoint", VRD_E_NOMEM},
                                                  {"newpoint", VRD_E_NOMEM},
                                                  {"newpoint", VRD_E_NOMEM}}));
    EXPECT_EQ(store->pointCount, 0);
    // The point index exists now; fail the records' growth from a full table.
    for (int32_t i = 0; i < 340; ++i) ASSERT_EQ(newpoint(i, i, &e), 0);
    heapwrapFailNth(1);
    EXPECT_EQ(newpoint(-1, -1, &e), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newpoint", VRD_E_NOMEM}}));
    EXPECT_EQ(store->pointCount, 340);
    EXPECT_EQ(store->pointCapacity, 340);
    expectReads(entity(kPoint, 0x3C000000 | 339), 339, 339);
    ASSERT_EQ(newpoint(-1, -1, &e), 0);
    EXPECT_EQ(e, entity(kPoint, 0x3C000000 | 340));
}

TEST_F(Points, FormAddPointMakesThenAdds) {
    VRDentity form{};
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "PATH", &form), 0);
    VRDentity e{};
    ASSERT_EQ(VRDformAddPoint(0xFFFFFFFF, &e, form, 10, 20), 0);
    ASSERT_EQ(VRDformAddPoint(0xFFFFFFFF, &e, form, 30, 40), 0);
    ASSERT_EQ(VRDformAddPoint(0, &e, form, -1, -2), 0);
    EXPECT_EQ(VRDformEntityCount(form), 3u);
    EXPECT_EQ(VRDformGetEntity(form, 0), e);
    expectReads(VRDformGetEntity(form, 2), 30, 40);

    VRDentity made{};
    EXPECT_EQ(VRDformAddPoint(9, &made, form, 5, 5), 1);  // past the end: made, not added
    EXPECT_EQ(VRDpointFind(5, 5), made);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"VRDformAddEntities", VRD_E_BADPOSITION}}));

    // A point that cannot be made leaves the form alone.
    fillX();
    VRDentity kept{4, 4};
    heapwrapFailNth(1);  // the point index, as the new x is refused for room
    EXPECT_EQ(VRDformAddPoint(0xFFFFFFFF, &kept, form, 77777, 1), 1);
    EXPECT_EQ(kept, entity(4, 4));
    EXPECT_EQ(VRDformEntityCount(form), 3u);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newpoint", VRD_E_NOMEM}}));
    ASSERT_EQ(VRDformAddPoint(0xFFFFFFFF, &kept, form, 77777, 1), 0);
    EXPECT_EQ(kept, entity(kPoint, 0x3C000000));
    EXPECT_EQ(VRDformGetEntity(form, 3), kept);
}

TEST_F(Points, EveryRoutineRefusesToRunWithoutAStore) {
    VRDentity p = point(3, 4);
    ASSERT_EQ(VRDkill(store, nullptr), 0);
    VRDentity e{6, 6};
    EXPECT_EQ(VRDpointCreate(1, 2, &e), 1);
    expectReads(p, INT32_MAX, INT32_MAX);
    EXPECT_TRUE(VRDpointFind(3, 4) == VRDnullEntity());
    EXPECT_EQ(newxcoord(1), 0xFFFF);
    EXPECT_EQ(newycoord(1), 0xFFFF);
    EXPECT_EQ(newpoint(1, 2, &e), 1);
    EXPECT_EQ(VRDformAddPoint(0, &e, vrd::formEntity(0, 0), 1, 2), 1);
    EXPECT_EQ(e, entity(6, 6));
    std::vector<Report> expected;
    for (const char *name : {"VRDpointCreate", "VRDpointGetValue", "VRDpointGetX", "VRDpointGetY", "VRDpointFind",
                             "newxcoord", "newycoord", "newpoint", "VRDformAddPoint"})
        expected.push_back({name, VRD_E_NOSTORE});
    EXPECT_EQ(takeReports(), expected);
}

TEST_F(Points, GettersNeverReadPastThePools) {
    point(1, 1);
    expectReads(entity(kPoint, 1u << 15), INT32_MAX, INT32_MAX);  // no x index 1
    expectReads(entity(kPoint, 1), INT32_MAX, INT32_MAX);         // no y index 1
    expectReads(entity(kPoint, 0x3C000000), INT32_MAX, INT32_MAX);  // no table point yet
    EXPECT_TRUE(takeReports().empty());
}

}  // namespace
