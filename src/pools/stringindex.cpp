// stringindex.cpp - a hash of the texts over the orderly chains, with new entries' links waiting until read.
#include "pools/stringindex.h"

#include "pools/listsort.h"
#include "pools/pools.h"

namespace vrd {
namespace {

constexpr int32_t kStringLookupFrom = 4096;    // smaller areas are walked
constexpr uint32_t kStringEntryBits = 27;      // offsets stay below 2^27
constexpr int32_t kEnd = kListEnd;  // ends a chain or a waiting list

void setLink(StringArea &s, int32_t offset, int32_t link) { std::memcpy(s.stringText + offset, &link, sizeof link); }
int32_t linkOf(const StringArea &s, int32_t offset) { return entryLink(s, static_cast<uint32_t>(offset)); }
const char *textAt(const StringArea &s, int32_t offset) { return entryText(s, static_cast<uint32_t>(offset)); }
int compareEntries(const StringArea &s, int32_t a, int32_t b) { return std::strcmp(textAt(s, a), textAt(s, b)); }

uint64_t textHash(const char *text, size_t length) { return hashBytes(text, length); }
uint64_t entryHash(const StringArea &s, int32_t offset) {
    const char *text = textAt(s, offset);
    return textHash(text, std::strlen(text));
}

// The chain walk itself: stops at the first entry that is not smaller.
StringPlace walkChain(const StringArea &s, const char *text, uint32_t bucket) {
    StringPlace r{bucket, kEnd, kEnd, false, 0};
    for (int32_t e = s.stringIndex[bucket]; e >= 0 && e < s.stringUsed; e = linkOf(s, e)) {
        int order = std::strcmp(textAt(s, e), text);  // strcmp orders bytes unsigned
        if (order == 0) {
            r.found = e;
            break;
        }
        if (order > 0) break;
        r.predecessor = e;
    }
    return r;
}

// Links `offset` after `predecessor` (or at the head): the walk's insertion.
void linkAfter(StringArea &s, uint32_t bucket, int32_t predecessor, int32_t offset) {
    int32_t link;
    if (predecessor < 0) {
        link = s.stringIndex[bucket];
        s.stringIndex[bucket] = offset;
    } else {
        link = linkOf(s, predecessor);
        setLink(s, predecessor, offset);
    }
    setLink(s, offset, link);
}

// True when the bucket's chain runs inside the used area in strictly
// ascending order and ends with -1; strict order also rules out a cycle.
bool orderly(const StringArea &s, uint32_t bucket) {
    for (int32_t e = s.stringIndex[bucket], previous = kEnd; e != kEnd; previous = e, e = linkOf(s, e)) {
        if (e < 0 || e >= s.stringUsed) return false;
        if (previous != kEnd && compareEntries(s, previous, e) >= 0) return false;
    }
    return true;
}

bool addEntry(StringArea &s, StringLookup &x, uint64_t hash, int32_t offset) {
    if (!reserveEntry(x.table, [&s](uint32_t e) { return entryHash(s, static_cast<int32_t>(e)); })) return false;
    putEntry(x.table, hash, static_cast<uint32_t>(offset));
    return true;
}

// Lists every entry a walk can find; a chain that is not orderly is walked.
bool build(StringArea &s, StringLookup &x) {
    for (uint32_t b = 0; b < kStringBuckets; ++b) {
        x.waiting[b] = kEnd;
        x.walked[b] = !orderly(s, b);
        if (x.walked[b]) continue;
        for (int32_t e = s.stringIndex[b]; e != kEnd; e = linkOf(s, e))
            if (stringHash(textAt(s, e)) == b && !addEntry(s, x, entryHash(s, e), e)) return false;
    }
    return true;
}

void refuse(StringArea &s) {
    dropStringLookup(s);
    s.stringLookupRefusedAt = s.stringUsed;
}

// True when the lookup can answer: it exists, or it is due and built now.
bool ready(StringArea &s) {
    if (usePlainPaths) {
        dropStringLookup(s);
        return false;
    }
    if (s.stringLookup != nullptr) return true;
    if (s.stringUsed < kStringLookupFrom || (s.stringLookupRefusedAt != 0 && s.stringUsed < 2 * s.stringLookupRefusedAt))
        return false;
    auto *x = static_cast<StringLookup *>(mallocIndexMem(sizeof(StringLookup)));
    if (x == nullptr) return refuse(s), false;
    x->table = emptyTable(kStringEntryBits);
    x->waitingCount = 0;
    s.stringLookup = x;
    if (!build(s, *x)) return refuse(s), false;
    s.stringLookupRefusedAt = 0;
    return true;
}

// Merges the sorted waiting entries into the bucket's orderly chain: each
// lands where the walk would have linked it.
void settleBucket(StringArea &s, StringLookup &x, uint32_t b) {
    auto linkOfEntry = [&s](int32_t e) { return linkOf(s, e); };
    auto setLinkOf = [&s](int32_t e, int32_t link) { setLink(s, e, link); };
    auto less = [&s](int32_t a, int32_t c) { return compareEntries(s, a, c) < 0; };
    int32_t sorted = sortList(x.waiting[b], linkOfEntry, setLinkOf, less);
    x.waiting[b] = kEnd;
    mergeInto(s.stringIndex[b], sorted, linkOfEntry, setLinkOf, less);
}

}  // namespace

StringPlace findStringPlace(StringArea &s, const char *text, size_t length) {
    if (!ready(s)) return walkChain(s, text, stringHash(text));
    const StringLookup &x = *s.stringLookup;
    uint64_t hash = textHash(text, length);
    uint32_t e = findEntry(x.table, hash, [&](uint32_t offset) { return std::strcmp(textAt(s, int32_t(offset)), text) == 0; });
    if (e != kNoEntry) return StringPlace{0, static_cast<int32_t>(e), kEnd, false, hash};
    uint32_t bucket = stringHash(text);
    if (x.walked[bucket]) return walkChain(s, text, bucket);
    return StringPlace{bucket, kEnd, kEnd, true, hash};
}

void linkEntry(StringArea &s, const StringPlace &place, int32_t offset) {
    StringLookup *x = s.stringLookup;
    if (place.waits) {  // the lookup answered, so it exists
        if (addEntry(s, *x, place.hash, offset)) {
            setLink(s, offset, x->waiting[place.bucket]);
            x->waiting[place.bucket] = offset;
            ++x->waitingCount;
            return;
        }
        refuse(s);  // every waiting entry linked: the walk finds this one's place
        StringPlace walked = walkChain(s, textAt(s, offset), place.bucket);
        return linkAfter(s, place.bucket, walked.predecessor, offset);
    }
    linkAfter(s, place.bucket, place.predecessor, offset);
}

void settleStrings(StringArea &s) {
    StringLookup *x = s.stringLookup;
    if (x == nullptr || x->waitingCount == 0) return;
    for (uint32_t b = 0; b < kStringBuckets; ++b)
        if (x->waiting[b] != kEnd) settleBucket(s, *x, b);
    x->waitingCount = 0;
}

void dropStringLookup(StringArea &s) {
    settleStrings(s);
    discardStringLookup(s);
}

void discardStringLookup(StringArea &s) {
    if (s.stringLookup == nullptr) return;
    freeIndexMem(s.stringLookup->table.slots);
    freeIndexMem(s.stringLookup);
    s.stringLookup = nullptr;
}

}  // namespace vrd
