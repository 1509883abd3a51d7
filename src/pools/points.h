// points.h - the points area: x and y coordinate tables, the point table, their figures and binary section.
#ifndef VRD_POOLS_POINTS_H
#define VRD_POOLS_POINTS_H

#include "frame/section.h"
#include "frame/tally.h"

// A point kept whole in the point table: three signed words.
struct PointRecord {
    int32_t x;
    int32_t y;
    int32_t next;  // next record of the same bucket, -1 ends the chain
};

namespace vrd {

struct CoordLookup;  // src/pools/coordindex.h
struct PointLookup;  // src/pools/pointindex.h

// The points area's record in a store; all-zero is three empty tables.
// Coordinate tables grow by 1020 entries, the point table by 340 records
// (points.cpp); nothing shrinks.
struct PointArea {
    int32_t *xcoordValues;  // interned x coordinates
    uint16_t *xcoordNext;   // chain links, kCoordEnd ends a chain
    uint16_t *xcoordIndex;  // kCoordBuckets bucket heads
    uint16_t xcoordCount;
    uint16_t xcoordCapacity;
    int32_t *ycoordValues;
    uint16_t *ycoordNext;
    uint16_t *ycoordIndex;
    uint16_t ycoordCount;
    uint16_t ycoordCapacity;
    PointRecord *pointRecords;  // points kept whole
    int32_t *pointIndex;        // kPointBuckets bucket heads, -1 empty
    int32_t pointCount;
    int32_t pointCapacity;
    // Hashes of the three tables (coordindex.h, pointindex.h); no file holds
    // them.  The point chains are read only through settledPoints.
    CoordLookup *xcoordLookup;
    CoordLookup *ycoordLookup;
    PointLookup *pointLookup;
    uint16_t xcoordRefusedAt;  // entries when the index memory last refused, 0 none
    uint16_t ycoordRefusedAt;
    int32_t pointRefusedAt;
};

inline PointArea &points(VRDstore *s) { return areaRecord<PointArea, kPointsArea>(s); }
inline const PointArea &points(const VRDstore *s) { return areaRecord<PointArea, kPointsArea>(s); }

void releasePoints(VRDstore *s);
inline const bool pointsAttached = attachArea(kPointsArea, releasePoints);

constexpr int kCoordBuckets = 1024;
constexpr int kPointBuckets = 1019;
constexpr uint16_t kCoordEnd = 0xFFFF;
constexpr uint16_t kXcoordLimit = 0x77FF;   // keeps packed second words below kTablePointBase
constexpr uint16_t kYcoordLimit = 0x7FFE;   // keeps every y index within 15 bits
constexpr int32_t kPointLimit = 0x3FFFFFE;  // keeps table indexes within 26 bits
constexpr uint32_t kPackedLimit = 30720;    // x index field at or above: a table point
constexpr uint32_t kTablePointBase = 0x3C000000u;
constexpr uint32_t kCoordIndexField = 0x7FFFu;    // 15 bits: x index (from bit 15), y index
constexpr uint32_t kTableIndexField = 0x3FFFFFFu;  // 26 bits: a table point's index
constexpr int32_t kCoordValueBytes = 4;
constexpr int32_t kCoordLinkBytes = 2;
constexpr int32_t kCoordEntryBytes = kCoordValueBytes + kCoordLinkBytes;
constexpr int32_t kPointRecordBytes = 12;
constexpr size_t kCoordIndexBytes = kCoordBuckets * sizeof(uint16_t);
constexpr size_t kPointIndexBytes = kPointBuckets * sizeof(int32_t);
static_assert(sizeof(PointRecord) == kPointRecordBytes, "point record is three words");

enum class Axis { X, Y };

// One coordinate table seen through the store's fields, so x and y share
// one interning routine and one lookup.
struct CoordTable {
    int32_t *&values;
    uint16_t *&next;
    uint16_t *&index;
    uint16_t &count;
    uint16_t &capacity;
    CoordLookup *&lookup;
    uint16_t &refusedAt;
    uint16_t limit;
    const char *routine;
};
CoordTable coordTable(PointArea &s, Axis axis);

// The pools' order: the sign of the wrapping 32-bit difference, which the
// stored chains (also in binary files) are sorted by.  It agrees with the
// plain order of two values less than 2^31 apart, and only then.
inline int32_t rank(int32_t stored, int32_t wanted) {
    return static_cast<int32_t>(static_cast<uint32_t>(stored) - static_cast<uint32_t>(wanted));
}

// Bits 6 to 15: 64 neighbouring values share a bucket.
inline uint32_t coordBucket(int32_t v) { return static_cast<uint32_t>(v >> 6) % kCoordBuckets; }

inline uint32_t pointBucket(int32_t x, int32_t y) {
    int32_t r = ((x >> 6) + (y >> 6)) % kPointBuckets;  // truncating: r keeps the sign of the sum
    return static_cast<uint32_t>(r < 0 ? -r : r);
}

// The area with every point chain complete: what anything that follows the
// chains (file, report, views) reads.  Linking waiting records changes
// nothing a caller can see, so a const store may be settled.
const PointArea &settledPoints(const VRDstore *s);

// Decodes a point entity's second word; false when its indexes lie outside
// the pools (never a point made in this store), so nothing is read there.
bool pointValue(const VRDstore *s, uint32_t second, VRDpoint *p);

// Read-only views for tests and the report: the entries of one bucket's
// chain in chain order (their indexes, at most max; the chain's length is
// returned), and a coordinate by index.
uint32_t coordChain(const VRDstore *s, Axis axis, uint32_t bucket, uint32_t *indexes, uint32_t max);
int32_t coordAt(const VRDstore *s, Axis axis, uint32_t index);
uint32_t pointChain(const VRDstore *s, uint32_t bucket, uint32_t *indexes, uint32_t max);
// The growth rule of the point table: the capacity after `capacity`, or 0
// when the table may not grow past the limit.
int32_t nextPointCapacity(int32_t capacity);

// The figures of the statistics report.
struct PointFigures {
    uint16_t xUsed, xAllocated, yUsed, yAllocated;
    int32_t pointsUsed, pointsAllocated;
    bool xMade, yMade, pointsMade;  // whether the values / records exist
};
PointFigures pointFigures(const VRDstore *s);
void tallyCoordChains(const VRDstore *s, Axis axis, ChainTally &tally);
void tallyPointChains(const VRDstore *s, ChainTally &tally);

// ---- the binary-file section: x table, y table, point table ----
struct CoordStage {
    uint16_t count = 0;
    int32_t *values = nullptr;
    uint16_t *next = nullptr;
    uint16_t *index = nullptr;
};
struct PointStage {
    CoordStage x, y;
    int32_t count = 0;
    PointRecord *records = nullptr;
    int32_t *index = nullptr;
};

void writePointSection(int fd, const VRDstore *s);
Status readPointSection(Source &src, PointStage &stage);
void installPoints(VRDstore *s, PointStage &stage);
void release(PointStage &stage);

}  // namespace vrd

extern "C" {
// Index of x in the xcoord table, interned when new; kCoordEnd when impossible.
uint16_t newxcoord(int32_t x);
// Index of y in the ycoord table, interned when new; kCoordEnd when impossible.
uint16_t newycoord(int32_t y);
// The table-point entity of (x, y), found or added; 0, or 1 (reported).
int32_t newpoint(int32_t x, int32_t y, VRDentity *result);
}

#endif  // VRD_POOLS_POINTS_H
