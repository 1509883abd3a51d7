// coordindex.h - the coordinate lookup: a hash of the interned values over the chains whose walk is exact.
#ifndef VRD_COORDINDEX_H
#define VRD_COORDINDEX_H

#include "pools/indextable.h"
#include "pools/points.h"

namespace vrd {

// The lookup beside one coordinate table (points.h: xcoordLookup,
// ycoordLookup), asked only when a short walk of the chain has not ended
// (design data repeats a few coordinates, near their chains' heads), built
// on the first such question once the table holds kCoordLookupFrom values
// and kept in step with every new value.
//
// A bucket is "orderly" when its chain runs in strictly ascending plain
// order and its values span less than 2^31: the pools' wrapping order then
// agrees with the plain one on every pair, so the chain walk finds a value
// exactly when the chain holds it, and the hash (which lists every value of
// an orderly bucket) gives the same answer.  A value that would stretch a
// bucket to 2^31 or more makes it walked for good: there the wrapping order
// can hide a value from the walk, which then interns it twice, and the
// walk's answer is the one that stands.  New values are always linked at
// once, where the walk puts them.
//
// At most 16 bytes per value (the hash) and about 9 KB besides.  When the
// index memory refuses it the lookup is dropped, and tried again once the
// table has doubled.
struct CoordLookup {
    IndexTable table;                 // value indexes, by the hash of their values
    int32_t low[kCoordBuckets];       // least and greatest value of an orderly bucket
    int32_t high[kCoordBuckets];
    uint8_t walked[kCoordBuckets];    // 1: not orderly, walked
};

constexpr uint32_t kCoordUnknown = 0x10000;  // the lookup cannot answer: walk

// The value's index (below kCoordEnd), kCoordEnd when the table does not
// hold it, or kCoordUnknown; builds the lookup when it is due.
uint32_t lookUpCoord(const CoordTable &t, int32_t v);
// Called once value `n` has been linked into its chain.
void noteCoord(const CoordTable &t, uint16_t n);
// Releases a table's lookup.
void dropCoordLookup(const CoordTable &t);

}  // namespace vrd

#endif  // VRD_COORDINDEX_H
