// coordindex.cpp - hashes of the coordinate values, answering for the buckets whose walk is exact.
#include "pools/coordindex.h"

namespace vrd {
namespace {

constexpr uint16_t kCoordLookupFrom = 64;    // smaller tables are walked
constexpr uint32_t kCoordEntryBits = 16;     // indexes stay below kCoordEnd
constexpr int64_t kSpanLimit = int64_t{1} << 31;

uint64_t coordHash(int32_t v) { return mixHash(static_cast<uint32_t>(v) ^ 0x5bd1e995u); }

bool add(const CoordTable &t, CoordLookup &x, uint16_t e) {
    if (!reserveEntry(x.table, [&t](uint32_t i) { return coordHash(t.values[i]); })) return false;
    putEntry(x.table, coordHash(t.values[e]), e);
    return true;
}

// Checks the bucket's chain for order and span and lists its values (an
// empty bucket gets low INT32_MAX, high INT32_MIN); false only when the
// index memory refuses.
bool buildBucket(const CoordTable &t, CoordLookup &x, uint32_t b) {
    x.walked[b] = 0;
    int64_t low = INT32_MAX, high = INT32_MIN;
    int32_t previous = 0;
    bool first = true;
    for (uint16_t e = t.index[b]; e != kCoordEnd; e = t.next[e]) {
        if (e >= t.count || (!first && t.values[e] <= previous)) {
            x.walked[b] = 1;
            return true;
        }
        previous = t.values[e];
        first = false;
        low = previous < low ? previous : low;
        high = previous > high ? previous : high;
    }
    if (!first && high - low >= kSpanLimit) {
        x.walked[b] = 1;
        return true;
    }
    x.low[b] = static_cast<int32_t>(low);
    x.high[b] = static_cast<int32_t>(high);
    for (uint16_t e = t.index[b]; e != kCoordEnd; e = t.next[e])
        if (coordBucket(t.values[e]) == b && !add(t, x, e)) return false;
    return true;
}

void refuse(const CoordTable &t) {
    dropCoordLookup(t);
    t.refusedAt = t.count;
}

bool ready(const CoordTable &t) {
    if (usePlainPaths) {
        dropCoordLookup(t);
        return false;
    }
    if (t.lookup != nullptr) return true;
    if (t.count < kCoordLookupFrom || (t.refusedAt != 0 && t.count < 2 * t.refusedAt)) return false;
    auto *x = static_cast<CoordLookup *>(mallocIndexMem(sizeof(CoordLookup)));
    if (x == nullptr) return refuse(t), false;
    x->table = emptyTable(kCoordEntryBits);
    t.lookup = x;
    for (uint32_t b = 0; b < kCoordBuckets; ++b)
        if (!buildBucket(t, *x, b)) return refuse(t), false;
    t.refusedAt = 0;
    return true;
}

}  // namespace

uint32_t lookUpCoord(const CoordTable &t, int32_t v) {
    if (t.index == nullptr || !ready(t)) return kCoordUnknown;
    const CoordLookup &x = *t.lookup;
    if (x.walked[coordBucket(v)]) return kCoordUnknown;
    uint32_t e = findEntry(x.table, coordHash(v), [&t, v](uint32_t i) { return t.values[i] == v; });
    return e == kNoEntry ? kCoordEnd : e;
}

void noteCoord(const CoordTable &t, uint16_t n) {
    CoordLookup *x = t.lookup;
    if (x == nullptr) return;
    int32_t v = t.values[n];
    uint32_t b = coordBucket(v);
    if (x->walked[b]) return;
    // An empty bucket holds low INT32_MAX and high INT32_MIN: the first value sets both.
    int64_t low = v < x->low[b] ? v : x->low[b], high = v > x->high[b] ? v : x->high[b];
    if (high - low >= kSpanLimit) {
        x->walked[b] = 1;  // its values stay listed; lookups of its bucket walk
        return;
    }
    x->low[b] = static_cast<int32_t>(low);
    x->high[b] = static_cast<int32_t>(high);
    if (!add(t, *x, n)) refuse(t);
}

void dropCoordLookup(const CoordTable &t) {
    if (t.lookup == nullptr) return;
    freeIndexMem(t.lookup->table.slots);
    freeIndexMem(t.lookup);
    t.lookup = nullptr;
}

}  // namespace vrd
