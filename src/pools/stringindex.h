// stringindex.h - per-bucket sorted offset arrays that find a text's place in its chain without walking it.
#ifndef VRD_STRINGINDEX_H
#define VRD_STRINGINDEX_H

#include "pools/strings.h"

namespace vrd {

// Where a text is, or belongs, in its bucket's chain.
struct StringPlace {
    uint32_t bucket;
    int32_t found;        // offset of the equal entry, -1 when absent
    int32_t predecessor;  // last smaller entry, -1 when the text belongs at the head
    int32_t slot;         // position in the bucket's offset array, -1 when the chain was walked
    bool longWalk;        // the walk passed enough entries for the bucket to deserve an array
};

// The text's place, as a walk of its chain that stops at the first entry not
// smaller would find it.  The string index must exist.  Allocates nothing.
StringPlace findStringPlace(const StringArea &s, const char *text);
// Called after a lookup with the entry it added (`added`, linked after the
// place's predecessor) or -1: keeps the bucket's array in step with the
// chain, or builds one for a bucket whose walk was long.  Memory shortage
// drops the accelerator without a report; lookups then walk the chains.
void keepStringLookup(StringArea &s, const StringPlace &place, int32_t added);
// Releases the accelerator: when the store dies or its string area is replaced.
void dropStringLookup(StringArea &s);

}  // namespace vrd

#endif  // VRD_STRINGINDEX_H
