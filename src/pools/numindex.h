// numindex.h - hash indexes that find bigint and real table entries without a scan.
#ifndef VRD_NUMINDEX_H
#define VRD_NUMINDEX_H

#include "pools/numbers.h"

namespace vrd {

// A chained hash over the entries of one table.  It either covers every
// entry of its table or does not exist: when it cannot be made or kept, the
// table falls back to the plain scan, which gives the same first match.
struct NumberIndex {
    int32_t *heads;        // bucketCount chain heads, -1 empty
    int32_t *next;         // per entry, the next entry of its bucket
    uint32_t bucketCount;  // a power of two, at least the table's capacity
    int32_t capacity;      // entries `next` can hold
    int32_t covered;       // entries 0 .. covered-1 are indexed
};

// First bigint entry equal to `value`: its index, -1 when absent.
int32_t findBigint(const NumberArea &s, int32_t value);
// First real entry within DBL_EPSILON of `value`: its index, -1 when absent.
int32_t findReal(const NumberArea &s, double value);
// Called after a table has grown to its new capacity: sizes the index for it
// (or drops it when memory is short; no report, the scan still works).  A
// table below 1024 entries of capacity has no index: it is scanned.
void prepareBigintIndex(NumberArea &s);
void prepareRealIndex(NumberArea &s);
// Called after entry `index` was appended to its table.
void noteBigint(NumberArea &s, int32_t index);
void noteReal(NumberArea &s, int32_t index);
// Releases both indexes: when the store dies or its tables are replaced wholesale.
void dropNumberIndexes(NumberArea &s);

}  // namespace vrd

#endif  // VRD_NUMINDEX_H
