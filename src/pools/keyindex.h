// keyindex.h - the keyword search: a hash of the keyword texts when it pays, the bucket's chain walk otherwise.
#ifndef VRD_KEYINDEX_H
#define VRD_KEYINDEX_H

#include "pools/indextable.h"
#include "pools/keywords.h"

namespace vrd {

// The keyword lookup beside the table (keywords.h: keywordLookup): each key
// that a chain walk can find, by the hash of its text, and the last key of
// every chain, where a new key is linked.  A search asks it only when a
// short walk of the chain has not ended.  Built on the first such search
// once the table holds kKeywordIndexFrom keys, kept in step with every new key,
// dropped when the index memory refuses it (tried again once the table has
// doubled), and rebuilt after the table is replaced.
struct KeywordLookup {
    IndexTable table;
    uint32_t tails[kKeywordBuckets];  // last key of each chain, VRD_NO_KEY empty
};

// What the walk of the keyword's bucket chain ends with.
struct KeywordSearch {
    uint32_t bucket;
    uint32_t tail;   // last key of the bucket's chain, VRD_NO_KEY when empty
    uint32_t found;  // the first key of the chain with the keyword's text, or VRD_NO_KEY
};

// The walk's answer (the index must exist); through the lookup when it can.
KeywordSearch searchKeyword(KeywordArea &s, const char *keyword);
// Called once key `key` has been linked at the end of its bucket's chain.
void noteKeyword(KeywordArea &s, uint32_t key);
// Releases the lookup: when the store dies or its table is replaced.
void dropKeywordLookup(KeywordArea &s);

}  // namespace vrd

#endif  // VRD_KEYINDEX_H
