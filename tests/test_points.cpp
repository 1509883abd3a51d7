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
    uint32_t point(int32_t x, int32_t y) {  // the second word of the point made
        VRDentity e{};
        EXPECT_TRUE(VRDpointCreate(x, y, &e) == 0 && e.first == kPoint) << x << "," << y;
        return e.second;
    }
    void expectReads(uint32_t second, int32_t x, int32_t y) {
        VRDentity e = entity(kPoint, second);
        VRDpoint p = VRDpointGetValue(e);
        EXPECT_TRUE(p.x == x && p.y == y && VRDpointGetX(e) == x && VRDpointGetY(e) == y) << second;
    }
};

TEST_F(Points, PackedPointsCarryBothIndexesAndFindCreatesNothing) {
    EXPECT_TRUE(VRDpointFind(5, 7) == VRDnullEntity());
    EXPECT_TRUE(point(5, 7) == 0 && point(5, 9) == 1 && point(6, 7) == 32768);
    EXPECT_EQ(VRDpointFind(6, 9), entity(kPoint, 32769));  // never made, but both coordinates exist
    EXPECT_TRUE(VRDpointFind(6, 8) == VRDnullEntity() && VRDpointFind(8, 7) == VRDnullEntity());
    EXPECT_EQ(point(INT_MIN, INT_MAX), 2u << 15 | 2);  // the finds interned nothing
    expectReads(2u << 15 | 2, INT_MIN, INT_MAX);
    for (uint32_t beyond : {3u << 15, 3u, kTable}) expectReads(beyond, INT32_MAX, INT32_MAX);
    EXPECT_TRUE(takeReports().empty());
}

// Binary files store chains as they stand: the area's chain views show their order.
TEST_F(Points, ChainsFollowTheWrappingDifferenceXThenY) {
    for (int32_t v : {63, 0, 65536, 31, 64, -1, 0x40000000, INT_MIN}) newxcoord(v);
    uint32_t chain[16];
    std::vector<int32_t> xs;  // bucket 0: by the difference INT_MIN ranks last, not first
    for (uint32_t i = 0, n = vrd::coordChain(store, vrd::Axis::X, 0, chain, 16); i < n; ++i)
        xs.push_back(vrd::coordAt(store, vrd::Axis::X, chain[i]));
    EXPECT_EQ(xs, (std::vector<int32_t>{0, 31, 63, 65536, 0x40000000, INT_MIN}));
    EXPECT_TRUE(vrd::coordChain(store, vrd::Axis::X, 1, chain, 16) == 1 && chain[0] == 4);     // 64
    EXPECT_TRUE(vrd::coordChain(store, vrd::Axis::X, 1023, chain, 16) == 1 && chain[0] == 5);  // -1
    EXPECT_TRUE(newxcoord(INT_MIN) == 7 && newxcoord(0) == 1);  // found, not interned twice
    VRDentity e{};
    for (auto [x, y] : {std::pair{0, 100}, {-64, 0}, {0, 64}, {0, 70}, {-64, -5}}) newpoint(x, y, &e);
    std::vector<int32_t> ys;  // bucket |(-1 + 0) % 1019| = 1 holds all but (-64, -5); each y names its point
    for (uint32_t i = 0, n = vrd::pointChain(store, 1, chain, 16); i < n; ++i)
        ys.push_back(VRDpointGetY(entity(kPoint, kTable | chain[i])));
    EXPECT_EQ(ys, (std::vector<int32_t>{0, 64, 70, 100}));  // (-64, 0) first: by x, then y
    EXPECT_TRUE(newpoint(0, 70, &e) == 0 && e == entity(kPoint, kTable | 3));
}

TEST_F(Points, FullCoordinateTablesSendNewPointsToThePointTable) {
    for (int32_t i = 0; i < 32640; ++i) ASSERT_EQ(newycoord(i), i);  // full: the most steps of 1020 reach
    VRDentity form{}, e{4, 4};
    ASSERT_EQ(VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "PATH", &form), 0);
    heapwrapFailNth(4);  // x index, values and links, then the point index: nothing is added
    EXPECT_TRUE(VRDformAddPoint(0xFFFFFFFF, &e, form, 42, 99999) == 1 && e == entity(4, 4));
    EXPECT_EQ(VRDformEntityCount(form), 0u);
    EXPECT_EQ(takeReports(), std::vector<Report>(1, {"newpoint", VRD_E_NOMEM}));
    EXPECT_TRUE(VRDformAddPoint(0xFFFFFFFF, &e, form, 42, 99999) == 0 && VRDformGetEntity(form, 0) == e);
    EXPECT_EQ(e, entity(kPoint, kTable));  // the first table point
    EXPECT_EQ(VRDpointFind(42, 5), entity(kPoint, 5));  // 42 stayed interned though y was refused
    for (int32_t i = 1; i < 30600; ++i) ASSERT_EQ(newxcoord(1000000 + i), i);
    EXPECT_TRUE(point(7, 8) == (kTable | 1) && VRDpointFind(7, 8) == entity(kPoint, kTable | 1));  // new x: whole
    EXPECT_EQ(point(1030599, 8), 30599u << 15 | 8);  // both interned: still packed
    expectReads(30599u << 15 | 8, 1030599, 8);
    EXPECT_TRUE(takeReports().empty());
}

TEST_F(Points, FailuresLeaveEveryPoolUsable) {
    // Allocations in order: x index, values, links, then y's, then the point index and records.
    const long nth[] = {1, 2, 2, 3, 2, 2};
    for (int32_t i = 0; i < 6; ++i) {  // each coordinate failure sends the point to the table
        heapwrapFailNth(nth[i]);
        EXPECT_EQ(point(1, i), kTable | static_cast<uint32_t>(i));
        EXPECT_EQ(takeReports(), std::vector<Report>(1, {i < 3 ? "newxcoord" : "newycoord", VRD_E_NOMEM}));
    }
    EXPECT_EQ(point(1, 6), 0u);  // both tables take it now
    expectReads(kTable | 4, 1, 4);
    for (int32_t i = 1; i < 1020; ++i) ASSERT_EQ(newxcoord(i * 64), i);
    heapwrapFailNth(1);  // the second step of 1020
    EXPECT_TRUE(newxcoord(-64) == 0xFFFF && newxcoord(-64) == 1020 && newxcoord(128) == 2);
    VRDentity e{};
    long before = heapwrapCalls();
    for (int32_t i = 6; i < 340; ++i) ASSERT_EQ(newpoint(i, -i, &e), 0);
    EXPECT_EQ(heapwrapCalls(), before);  // 340 records from one step
    heapwrapFailNth(1);  // the second step
    EXPECT_EQ(newpoint(340, 0, &e), 1);
    EXPECT_EQ(takeReports(), (std::vector<Report>{{"newxcoord", VRD_E_NOMEM}, {"newpoint", VRD_E_NOMEM}}));
    EXPECT_TRUE(newpoint(340, 0, &e) == 0 && e == entity(kPoint, kTable | 340));
    // Too many records to build here: the growth rule itself stops short of 26-bit indexes.
    EXPECT_TRUE(vrd::nextPointCapacity(340) == 680 && vrd::nextPointCapacity(67108522) == 67108862);
    EXPECT_EQ(vrd::nextPointCapacity(67108860), 0);
}

}  // namespace
