// numindex.h - the lookups of the bigint and real tables: a hash index when it pays, the plain scan otherwise.
#ifndef VRD_NUMINDEX_H
#define VRD_NUMINDEX_H

#include "pools/indextable.h"
#include "pools/numbers.h"

namespace vrd {

// Each table may have a hash index (numbers.h: bigintLookup, realLookup)
// over its entries, built on the first lookup once the table holds
// kNumberIndexFrom entries and kept in step with every append.  It covers
// every entry or does not exist: when the index memory refuses it, it is
// dropped and tried again only once the table has doubled, and meanwhile
// the table is scanned.  Either way the answer is the scan's first match.

// First bigint entry equal to `value`: its index, -1 when absent.
int32_t findBigint(NumberArea &s, int32_t value);
// First real entry within DBL_EPSILON of `value`: its index, -1 when absent.
int32_t findReal(NumberArea &s, double value);
// Called after entry `index` was appended to its table.
void noteBigint(NumberArea &s, int32_t index);
void noteReal(NumberArea &s, int32_t index);
// Releases both indexes: when the store dies or its tables are replaced
// wholesale (they are rebuilt on the next lookup).
void dropNumberIndexes(NumberArea &s);

}  // namespace vrd

#endif  // VRD_NUMINDEX_H
