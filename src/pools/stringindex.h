// stringindex.h - the string lookup: a hash of the texts, and the chain links it lets wait, beside the string area.
#ifndef VRD_STRINGINDEX_H
#define VRD_STRINGINDEX_H

#include "pools/indextable.h"
#include "pools/strings.h"

namespace vrd {

// The lookup beside the string area (strings.h: stringLookup), built on the
// first lookup once the area holds kStringLookupFrom bytes.
//
// A chain that runs in strictly ascending text order (every chain this
// library links; a foreign file may hold others) is "orderly": its walk
// stops at the first entry not smaller than the text, so it finds a text
// exactly when the chain holds it.  The hash table lists every entry of an
// orderly chain that lies in its own text's bucket, so it gives the walk's
// answer without walking.  A new entry of an orderly chain is not linked
// at once: it waits on its bucket's waiting list (threaded through the
// entries' link words) until something reads the chains (the binary file,
// the statistics, a chain view, dropping the lookup), and then every
// waiting entry is merged in at its place: the chain comes out exactly as
// linking each entry in turn would have made it.  Chains that are not
// orderly are walked and linked at once, as without the lookup.
//
// The lookup costs at most 16 bytes per entry (the hash table) and about
// 5 KB besides.  When the index memory refuses it, every waiting entry is
// linked and the lookup dropped; it is tried again once the area's used
// bytes have doubled.  A replaced area drops it unlinked.
struct StringLookup {
    IndexTable table;                   // entry offsets, by the hash of their texts
    int32_t waiting[kStringBuckets];    // per bucket, the newest waiting entry, -1 none
    uint8_t walked[kStringBuckets];     // 1: the chain is not orderly: walked, never waits
    int32_t waitingCount;
};

// Where a text is, or belongs, in its bucket's chain.
struct StringPlace {
    uint32_t bucket;
    int32_t found;        // offset of the equal entry, -1 when absent
    int32_t predecessor;  // last smaller entry, -1 when the text belongs at the head
    bool waits;           // absent, and a new entry would wait instead of being linked
    uint64_t hash;        // the text's hash, when the lookup took it
};

// The text's place as the chain walk finds it (the string index must
// exist); `length` is the text's length.  Through the lookup when it can.
StringPlace findStringPlace(StringArea &s, const char *text, size_t length);
// Links the new entry at `offset`, made for the text of `place`: at its
// place in the chain, or on its bucket's waiting list.
void linkEntry(StringArea &s, const StringPlace &place, int32_t offset);
// Links every waiting entry: the chains are then complete.
void settleStrings(StringArea &s);
// Links every waiting entry and releases the lookup.
void dropStringLookup(StringArea &s);
// Releases the lookup as it stands: for an area about to be released or replaced.
void discardStringLookup(StringArea &s);

}  // namespace vrd

#endif  // VRD_STRINGINDEX_H
