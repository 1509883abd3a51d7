// points.cpp - points: interned x and y coordinates, and the point table for the overflow.
#include "pools/coordindex.h"
#include "pools/pointindex.h"

namespace {
using vrd::CoordTable;
constexpr uint16_t kCoordStep = 1020;  // coordinate tables grow by this many entries
constexpr int32_t kPointStep = 340;    // the point table grows by this many records
constexpr int32_t kNoCoordinate = 0x7FFFFFFF;

// Until a table's lookup is built (a small table, or one whose index memory
// was refused) a chain walk this short is tried before anything else:
// design data repeats a few coordinates, which sit near their chains' heads.
constexpr uint32_t kShortWalk = 8;

struct CoordWalk {
    uint16_t found;     // index of the value, kCoordEnd when absent
    uint16_t previous;  // last smaller entry, kCoordEnd when it belongs at the head
    bool done;          // the walk ended: found, passed the value or reached the chain's end
};

// Walks the ascending chain of v's bucket for at most `limit` entries;
// entries past the count end it.
inline CoordWalk walkCoord(const CoordTable &t, int32_t v, uint32_t limit) {
    const int32_t *values = t.values;
    const uint16_t *next = t.next;
    uint16_t previous = vrd::kCoordEnd, count = t.count;
    for (uint16_t e = t.index[vrd::coordBucket(v)]; e != vrd::kCoordEnd && e < count; e = next[e]) {
        if (limit-- == 0) return CoordWalk{vrd::kCoordEnd, previous, false};
        int32_t d = vrd::rank(values[e], v);
        if (d == 0) return CoordWalk{e, previous, true};
        if (d > 0) break;
        previous = e;
    }
    return CoordWalk{vrd::kCoordEnd, previous, true};
}

// The walk's answer (found or not, and the place).  Once the lookup is
// built it goes first: it answers exactly wherever it answers at all, and
// large tables have chains longer than a short walk.  Before that, a short
// walk, else the lookup (which may be due), else the whole walk.  `placed`
// false: the lookup said the value is absent and the place is still to be
// walked.
inline CoordWalk findCoordPlace(const CoordTable &t, int32_t v, bool *placed) {
    *placed = true;
    if (t.lookup != nullptr) {
        uint32_t known = vrd::lookUpCoord(t, v);
        if (known == vrd::kCoordUnknown) return walkCoord(t, v, UINT32_MAX);
        *placed = known != vrd::kCoordEnd;
        return CoordWalk{static_cast<uint16_t>(known), vrd::kCoordEnd, true};
    }
    CoordWalk w = walkCoord(t, v, kShortWalk);
    if (w.done) return w;
    uint32_t known = vrd::lookUpCoord(t, v);
    if (known == vrd::kCoordUnknown) return walkCoord(t, v, UINT32_MAX);
    *placed = false;
    return CoordWalk{static_cast<uint16_t>(known), vrd::kCoordEnd, true};
}

// Index of v in the table, interned when new; kCoordEnd when the table is
// full (silently: the point then goes whole to the point table) or memory
// is short (reported).
uint16_t internCoord(const CoordTable &t, int32_t v) {
    if (t.index == nullptr) {
        if (!vrd::growBlock(t.index, vrd::kCoordBuckets * sizeof(uint16_t))) {
            vrd::report(t.routine, VRD_E_NOMEM);
            return vrd::kCoordEnd;
        }
        for (int b = 0; b < vrd::kCoordBuckets; ++b) t.index[b] = vrd::kCoordEnd;
    }
    bool placed;
    CoordWalk w = findCoordPlace(t, v, &placed);
    if (w.found != vrd::kCoordEnd) return w.found;
    if (t.count >= t.capacity) {
        uint32_t capacity = static_cast<uint32_t>(t.capacity) + kCoordStep;
        if (capacity > t.limit) return vrd::kCoordEnd;
        // values may move on its own; capacity follows only when both grew.
        if (!vrd::growBlock(t.values, capacity * sizeof(int32_t)) ||
            !vrd::growBlock(t.next, capacity * sizeof(uint16_t))) {
            vrd::report(t.routine, VRD_E_NOMEM);
            return vrd::kCoordEnd;
        }
        t.capacity = static_cast<uint16_t>(capacity);
    }
    if (!placed) w = walkCoord(t, v, UINT32_MAX);
    uint16_t n = t.count;
    t.values[n] = v;
    uint16_t *link = w.previous == vrd::kCoordEnd ? &t.index[vrd::coordBucket(v)] : &t.next[w.previous];
    t.next[n] = *link;
    *link = n;
    t.count = static_cast<uint16_t>(n + 1);
    vrd::noteCoord(t, n);
    return n;
}

// Index of v, or kCoordEnd; creates nothing.
uint16_t findCoord(const CoordTable &t, int32_t v) {
    if (t.index == nullptr) return vrd::kCoordEnd;
    bool placed;
    return findCoordPlace(t, v, &placed).found;
}

VRDentity packedPoint(uint16_t xi, uint16_t yi) {
    return vrd::makeEntity(vrd::kPointWord, static_cast<uint32_t>(xi) << 15 | yi);
}

VRDentity tablePoint(int32_t i) { return vrd::makeEntity(vrd::kPointWord, vrd::kTablePointBase | static_cast<uint32_t>(i)); }

// The point of `e` for the getters, or the sentinel pair after no store or
// a foreign entity.
VRDpoint pointOf(VRDentity e, const char *routine) {
    VRDpoint p{kNoCoordinate, kNoCoordinate};
    VRDstore *s = vrd::needStore(routine);
    if (s != nullptr && !vrd::pointValue(s, e.second, &p)) p = VRDpoint{kNoCoordinate, kNoCoordinate};
    return p;
}
}  // namespace

namespace vrd {

CoordTable coordTable(PointArea &s, Axis axis) {
    if (axis == Axis::X)
        return {s.xcoordValues, s.xcoordNext, s.xcoordIndex, s.xcoordCount, s.xcoordCapacity,
                s.xcoordLookup, s.xcoordRefusedAt, kXcoordLimit, "newxcoord"};
    return {s.ycoordValues, s.ycoordNext, s.ycoordIndex, s.ycoordCount, s.ycoordCapacity,
            s.ycoordLookup, s.ycoordRefusedAt, kYcoordLimit, "newycoord"};
}

bool pointValue(const VRDstore *store, uint32_t w, VRDpoint *p) {
    const PointArea &s = points(store);
    uint32_t xi = (w >> 15) & kCoordIndexField;
    if (xi < kPackedLimit) {
        uint32_t yi = w & kCoordIndexField;
        if (xi >= s.xcoordCount || yi >= s.ycoordCount) return false;
        *p = VRDpoint{s.xcoordValues[xi], s.ycoordValues[yi]};
        return true;
    }
    uint32_t i = w & kTableIndexField;
    if (i >= static_cast<uint32_t>(s.pointCount)) return false;
    *p = VRDpoint{s.pointRecords[i].x, s.pointRecords[i].y};
    return true;
}

int32_t nextPointCapacity(int32_t capacity) {
    int64_t next = static_cast<int64_t>(capacity) + kPointStep;
    return next > kPointLimit ? 0 : static_cast<int32_t>(next);
}

// The lookups describe the tables they were built on: they go with them,
// unsettled, since the chains go too.
void releasePoints(VRDstore *store) {
    PointArea &s = points(store);
    dropCoordLookup(coordTable(s, Axis::X));
    dropCoordLookup(coordTable(s, Axis::Y));
    discardPointLookup(s);
    void *blocks[] = {s.xcoordValues, s.xcoordNext, s.xcoordIndex, s.ycoordValues,
                      s.ycoordNext,   s.ycoordIndex, s.pointRecords, s.pointIndex};
    for (void *b : blocks) freeMem(b);
    s = PointArea{};
}

uint32_t coordChain(const VRDstore *store, Axis axis, uint32_t bucket, uint32_t *indexes, uint32_t max) {
    CoordTable t = coordTable(const_cast<PointArea &>(points(store)), axis);
    uint32_t n = 0;
    if (t.index == nullptr) return 0;
    for (uint16_t e = t.index[bucket]; e != kCoordEnd && e < t.count; e = t.next[e], ++n)
        if (n < max) indexes[n] = e;
    return n;
}

int32_t coordAt(const VRDstore *store, Axis axis, uint32_t index) {
    CoordTable t = coordTable(const_cast<PointArea &>(points(store)), axis);
    return index < t.count ? t.values[index] : kNoCoordinate;
}

uint32_t pointChain(const VRDstore *store, uint32_t bucket, uint32_t *indexes, uint32_t max) {
    const PointArea &s = settledPoints(store);
    uint32_t n = 0;
    if (s.pointIndex == nullptr) return 0;
    for (int32_t e = s.pointIndex[bucket]; e >= 0 && e < s.pointCount; e = s.pointRecords[e].next, ++n)
        if (n < max) indexes[n] = static_cast<uint32_t>(e);
    return n;
}

}  // namespace vrd

extern "C" {

uint16_t newxcoord(int32_t x) {
    VRDstore *s = vrd::needStore("newxcoord");
    return s == nullptr ? vrd::kCoordEnd : internCoord(vrd::coordTable(vrd::points(s), vrd::Axis::X), x);
}

uint16_t newycoord(int32_t y) {
    VRDstore *s = vrd::needStore("newycoord");
    return s == nullptr ? vrd::kCoordEnd : internCoord(vrd::coordTable(vrd::points(s), vrd::Axis::Y), y);
}

int32_t newpoint(int32_t x, int32_t y, VRDentity *result) {
    VRDstore *store = vrd::needStore("newpoint");
    if (store == nullptr) return 1;
    vrd::PointArea &s = vrd::points(store);
    if (s.pointIndex == nullptr) {
        if (!vrd::growBlock(s.pointIndex, vrd::kPointBuckets * sizeof(int32_t))) {
            vrd::report("newpoint", VRD_E_NOMEM);
            return 1;
        }
        for (int b = 0; b < vrd::kPointBuckets; ++b) s.pointIndex[b] = -1;
    }
    vrd::PointPlace place = vrd::findPoint(s, x, y);
    if (place.found >= 0) {
        *result = tablePoint(place.found);
        return 0;
    }
    if (s.pointCount >= s.pointCapacity) {
        int32_t capacity = vrd::nextPointCapacity(s.pointCapacity);
        if (capacity == 0) {
            vrd::report("newpoint", VRD_E_TOOMANYPOINTS);
            return 1;
        }
        if (!vrd::growBlock(s.pointRecords, static_cast<size_t>(capacity) * sizeof(PointRecord))) {
            vrd::report("newpoint", VRD_E_NOMEM);
            return 1;
        }
        s.pointCapacity = capacity;
    }
    int32_t n = s.pointCount;
    s.pointRecords[n] = PointRecord{x, y, -1};
    vrd::linkPoint(s, n, place);
    s.pointCount = n + 1;
    *result = tablePoint(n);
    return 0;
}

int32_t VRD_CALL VRDpointCreate(int32_t x, int32_t y, VRDentity *result) {
    VRDstore *s = vrd::needStore("VRDpointCreate");
    if (s == nullptr) return 1;
    // An x interned here stays interned even when y sends the point to the
    // table.  The store is current, so newxcoord and newycoord would find it
    // too: their interning is called directly.
    vrd::PointArea &area = vrd::points(s);
    uint16_t xi = internCoord(vrd::coordTable(area, vrd::Axis::X), x);
    uint16_t yi = xi == vrd::kCoordEnd ? vrd::kCoordEnd : internCoord(vrd::coordTable(area, vrd::Axis::Y), y);
    if (yi == vrd::kCoordEnd) return newpoint(x, y, result);
    *result = packedPoint(xi, yi);
    return 0;
}

VRDpoint VRD_CALL VRDpointGetValue(VRDentity e) { return pointOf(e, "VRDpointGetValue"); }

int32_t VRD_CALL VRDpointGetX(VRDentity e) { return pointOf(e, "VRDpointGetX").x; }

int32_t VRD_CALL VRDpointGetY(VRDentity e) { return pointOf(e, "VRDpointGetY").y; }

VRDentity VRD_CALL VRDpointFind(int32_t x, int32_t y) {
    VRDstore *store = vrd::needStore("VRDpointFind");
    if (store == nullptr) return vrd::nullEntity();
    vrd::PointArea &s = vrd::points(store);
    // Any interned x with any interned y is a packed point, made or not.
    uint16_t xi = findCoord(vrd::coordTable(s, vrd::Axis::X), x);
    uint16_t yi = xi == vrd::kCoordEnd ? vrd::kCoordEnd : findCoord(vrd::coordTable(s, vrd::Axis::Y), y);
    if (yi != vrd::kCoordEnd) return packedPoint(xi, yi);
    if (s.pointIndex == nullptr) return vrd::nullEntity();
    vrd::PointPlace place = vrd::findPoint(s, x, y);
    return place.found >= 0 ? tablePoint(place.found) : vrd::nullEntity();
}

}  // extern "C"
