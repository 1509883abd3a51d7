// pointindex.cpp - a hash of the table points over the orderly chains, with new records' links waiting until read.
#include "pools/pointindex.h"

#include "pools/listsort.h"

namespace vrd {
namespace {

constexpr int32_t kPointLookupFrom = 64;      // smaller tables are walked
constexpr uint32_t kPointEntryBits = 26;      // record indexes stay below 2^26
constexpr int64_t kSpanLimit = int64_t{1} << 31;

uint64_t pointHash(int32_t x, int32_t y) {
    return mixHash(uint64_t{static_cast<uint32_t>(x)} << 32 | static_cast<uint32_t>(y));
}
uint64_t recordHash(const PointArea &s, uint32_t i) { return pointHash(s.pointRecords[i].x, s.pointRecords[i].y); }

// The plain order of two records, x first then y.
bool plainLess(const PointRecord &a, const PointRecord &b) { return a.x != b.x ? a.x < b.x : a.y < b.y; }

// The chain walk itself, x first then y by the wrapping order; records
// past the count end it.
PointPlace walkPoint(const PointArea &s, int32_t x, int32_t y) {
    PointPlace w{-1, -1, false};
    for (int32_t e = s.pointIndex[pointBucket(x, y)]; e >= 0 && e < s.pointCount; e = s.pointRecords[e].next) {
        const PointRecord &r = s.pointRecords[e];
        int32_t d = rank(r.x, x);
        if (d == 0) d = rank(r.y, y);
        if (d == 0) {
            w.found = e;
            break;
        }
        if (d > 0) break;
        w.previous = e;
    }
    return w;
}

void linkAfter(PointArea &s, int32_t previous, int32_t n) {
    int32_t *link = previous < 0 ? &s.pointIndex[pointBucket(s.pointRecords[n].x, s.pointRecords[n].y)]
                                 : &s.pointRecords[previous].next;
    s.pointRecords[n].next = *link;
    *link = n;
}

bool add(PointArea &s, PointLookup &x, int32_t e) {
    if (!reserveEntry(x.table, [&s](uint32_t i) { return recordHash(s, i); })) return false;
    putEntry(x.table, recordHash(s, static_cast<uint32_t>(e)), static_cast<uint32_t>(e));
    return true;
}

// Whether the bucket's bounds, widened to (px, py), still span less than 2^31.
bool widens(PointLookup &x, uint32_t b, int32_t px, int32_t py) {
    int32_t lx = px < x.lowX[b] ? px : x.lowX[b], hx = px > x.highX[b] ? px : x.highX[b];
    int32_t ly = py < x.lowY[b] ? py : x.lowY[b], hy = py > x.highY[b] ? py : x.highY[b];
    if (int64_t{hx} - lx >= kSpanLimit || int64_t{hy} - ly >= kSpanLimit) return false;
    x.lowX[b] = lx, x.highX[b] = hx, x.lowY[b] = ly, x.highY[b] = hy;
    return true;
}

// Checks the bucket's chain for order and spans and lists its records;
// false only when the index memory refuses.
bool buildBucket(PointArea &s, PointLookup &x, uint32_t b) {
    x.waiting[b] = kListEnd;
    x.walked[b] = 0;
    x.lowX[b] = x.lowY[b] = INT32_MAX;  // empty: the first record sets the bounds
    x.highX[b] = x.highY[b] = INT32_MIN;
    for (int32_t e = s.pointIndex[b], previous = -1; e != kListEnd; previous = e, e = s.pointRecords[e].next) {
        if (e < 0 || e >= s.pointCount || (previous >= 0 && !plainLess(s.pointRecords[previous], s.pointRecords[e])) ||
            !widens(x, b, s.pointRecords[e].x, s.pointRecords[e].y)) {
            x.walked[b] = 1;
            return true;
        }
    }
    for (int32_t e = s.pointIndex[b]; e != kListEnd; e = s.pointRecords[e].next)
        if (pointBucket(s.pointRecords[e].x, s.pointRecords[e].y) == b && !add(s, x, e)) return false;
    return true;
}

void refuse(PointArea &s) {
    dropPointLookup(s);
    s.pointRefusedAt = s.pointCount;
}

bool ready(PointArea &s) {
    if (usePlainPaths) {
        dropPointLookup(s);
        return false;
    }
    if (s.pointLookup != nullptr) return true;
    if (s.pointCount < kPointLookupFrom || (s.pointRefusedAt != 0 && s.pointCount < 2 * s.pointRefusedAt))
        return false;
    auto *x = static_cast<PointLookup *>(mallocIndexMem(sizeof(PointLookup)));
    if (x == nullptr) return refuse(s), false;
    x->table = emptyTable(kPointEntryBits);
    x->waitingCount = 0;
    s.pointLookup = x;
    for (uint32_t b = 0; b < kPointBuckets; ++b)
        if (!buildBucket(s, *x, b)) return refuse(s), false;
    s.pointRefusedAt = 0;
    return true;
}

// Merges the bucket's sorted waiting records into its orderly chain.
void settleBucket(PointArea &s, PointLookup &x, uint32_t b) {
    if (x.waiting[b] == kListEnd) return;
    auto linkOf = [&s](int32_t e) { return s.pointRecords[e].next; };
    auto setLink = [&s](int32_t e, int32_t link) { s.pointRecords[e].next = link; };
    auto less = [&s](int32_t a, int32_t c) { return plainLess(s.pointRecords[a], s.pointRecords[c]); };
    int32_t sorted = sortList(x.waiting[b], linkOf, setLink, less);
    x.waiting[b] = kListEnd;
    mergeInto(s.pointIndex[b], sorted, linkOf, setLink, less);
}

}  // namespace

PointPlace findPoint(PointArea &s, int32_t x, int32_t y) {
    uint32_t b = pointBucket(x, y);
    if (!ready(s) || s.pointLookup->walked[b]) return walkPoint(s, x, y);
    const PointArea &a = s;
    uint32_t e = findEntry(s.pointLookup->table, pointHash(x, y),
                           [&a, x, y](uint32_t i) { return a.pointRecords[i].x == x && a.pointRecords[i].y == y; });
    return e == kNoEntry ? PointPlace{-1, -1, true} : PointPlace{static_cast<int32_t>(e), -1, false};
}

void linkPoint(PointArea &s, int32_t n, const PointPlace &place) {
    if (!place.waits) return linkAfter(s, place.previous, n);
    PointLookup &x = *s.pointLookup;  // the lookup answered, so it exists
    const PointRecord &r = s.pointRecords[n];
    uint32_t b = pointBucket(r.x, r.y);
    if (!widens(x, b, r.x, r.y)) {
        settleBucket(s, x, b);
        x.walked[b] = 1;
    } else if (add(s, x, n)) {
        s.pointRecords[n].next = x.waiting[b];
        x.waiting[b] = n;
        ++x.waitingCount;
        return;
    } else {
        refuse(s);  // every waiting record linked
    }
    linkAfter(s, walkPoint(s, r.x, r.y).previous, n);
}

void settlePoints(PointArea &s) {
    PointLookup *x = s.pointLookup;
    if (x == nullptr || x->waitingCount == 0) return;
    for (uint32_t b = 0; b < kPointBuckets; ++b) settleBucket(s, *x, b);
    x->waitingCount = 0;
}

void dropPointLookup(PointArea &s) {
    settlePoints(s);
    discardPointLookup(s);
}

void discardPointLookup(PointArea &s) {
    if (s.pointLookup == nullptr) return;
    freeIndexMem(s.pointLookup->table.slots);
    freeIndexMem(s.pointLookup);
    s.pointLookup = nullptr;
}

}  // namespace vrd
