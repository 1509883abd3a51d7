// pointindex.h - the point-table lookup: a hash of the points, and the chain links it lets wait.
#ifndef VRD_POINTINDEX_H
#define VRD_POINTINDEX_H

#include "pools/indextable.h"
#include "pools/points.h"

namespace vrd {

// The lookup beside the point table (points.h: pointLookup), built on the
// first lookup once the table holds kPointLookupFrom records.
//
// A bucket is "orderly" when its chain runs in strictly ascending plain
// order, x first then y, and its x values and its y values each span less
// than 2^31: the pools' wrapping order then agrees with the plain one on
// every pair, so the chain walk finds a point exactly when the chain holds
// it, and the hash (which lists every record of an orderly bucket) gives
// the same answer.  A new record of an orderly bucket is not linked at
// once: it waits on its bucket's waiting list (threaded through the
// records' `next` words) until something reads the chains (the binary
// file, the statistics, a chain view, dropping the lookup), and then every
// waiting record is merged in where linking each in turn would have put
// it.  A point that would stretch its bucket to 2^31 or more first has the
// bucket's waiting records linked, then makes the bucket walked for good:
// there the wrapping order can hide a point from the walk, which then
// stores it twice, and the walk's answer is the one that stands.
//
// At most 16 bytes per record (the hash) and about 22 KB besides.  When the
// index memory refuses it, every waiting record is linked and the lookup
// dropped; it is tried again once the table has doubled.
struct PointLookup {
    IndexTable table;                  // record indexes, by the hash of their points
    int32_t lowX[kPointBuckets];       // least and greatest x and y of an orderly bucket
    int32_t highX[kPointBuckets];
    int32_t lowY[kPointBuckets];
    int32_t highY[kPointBuckets];
    int32_t waiting[kPointBuckets];    // per bucket, the newest waiting record, -1 none
    uint8_t walked[kPointBuckets];     // 1: not orderly, walked; nothing waits there
    int32_t waitingCount;              // records put on waiting lists since the last full settle
};

// Where a point is, or belongs, in its bucket's chain.
struct PointPlace {
    int32_t found;     // record index, -1 when absent
    int32_t previous;  // last smaller record, -1 when it belongs at the head
    bool waits;        // absent, and a new record would wait instead of being linked
};

// The point's place as the chain walk finds it (the point index must
// exist); through the lookup when it can, which it builds when due.
PointPlace findPoint(PointArea &s, int32_t x, int32_t y);
// Links new record `n` (stored, not yet counted) made for the place.
void linkPoint(PointArea &s, int32_t n, const PointPlace &place);
// Links every waiting record: the chains are then complete.
void settlePoints(PointArea &s);
// Links every waiting record and releases the lookup.
void dropPointLookup(PointArea &s);
// Releases the lookup as it stands: for a table about to be released or replaced.
void discardPointLookup(PointArea &s);

}  // namespace vrd

#endif  // VRD_POINTINDEX_H
