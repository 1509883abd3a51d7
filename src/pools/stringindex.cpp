// stringindex.cpp - sorted offset arrays over the string chains, kept in step with them.
#include "pools/stringindex.h"

#include "pools/pools.h"

namespace vrd {

// One bucket's view of its chain.  With `offsets` null the chain has no array
// (yet) and is walked; with `capacity` kWalkOnly it is walked for good, since
// its chain is not strictly ascending or does not end cleanly, as a hostile
// file may leave it.  Otherwise offsets[0 .. count) are the chain's entries
// in chain order, which is strictly ascending text order: a binary search
// then meets the same first entry that is not smaller as the walk does.
struct StringBucket {
    int32_t *offsets;
    int32_t count;
    int32_t capacity;
};

struct StringLookup {
    StringBucket buckets[kStringBuckets];
};

namespace {

// Small areas are only walked: their chains are short, and a creation there
// takes exactly the block requests of the area itself.
constexpr int32_t kLookupFromCapacity = 65536;
// A walk that passes this many entries costs more than a binary search over
// an array of the bucket: the bucket gets one.
constexpr int32_t kLongWalk = 4;
constexpr int32_t kWalkOnly = -1;

int compareAt(const StringArea &s, int32_t offset, const char *text) {
    return std::strcmp(entryText(s, static_cast<uint32_t>(offset)), text);  // strcmp orders bytes unsigned
}

// The chain walk itself: stops at the first entry that is not smaller.
StringPlace walkChain(const StringArea &s, const char *text, uint32_t bucket) {
    StringPlace r{bucket, -1, -1, -1, false};
    int32_t visited = 0;
    for (int32_t e = s.stringIndex[bucket]; e >= 0 && e < s.stringUsed; e = entryLink(s, e)) {
        ++visited;
        int order = compareAt(s, e, text);
        if (order == 0) {
            r.found = e;
            break;
        }
        if (order > 0) break;
        r.predecessor = e;
    }
    r.longWalk = visited >= kLongWalk;
    return r;
}

// The first array entry not smaller than the text, by binary search.
StringPlace searchBucket(const StringArea &s, const char *text, uint32_t bucket, const StringBucket &b) {
    int32_t low = 0, high = b.count;
    while (low < high) {
        int32_t mid = low + (high - low) / 2;
        if (compareAt(s, b.offsets[mid], text) < 0)
            low = mid + 1;
        else
            high = mid;
    }
    StringPlace r{bucket, -1, low > 0 ? b.offsets[low - 1] : -1, low, false};
    if (low < b.count && compareAt(s, b.offsets[low], text) == 0) r.found = b.offsets[low];
    return r;
}

// The number of entries of the bucket's chain when it runs in strictly
// ascending order inside the used area and ends with -1; else -1.  Strict
// order also rules out a cycle, so the count ends.
int32_t orderedLength(const StringArea &s, uint32_t bucket) {
    int32_t count = 0;
    for (int32_t e = s.stringIndex[bucket], previous = -1; e != -1; previous = e, e = entryLink(s, e)) {
        if (e < 0 || e >= s.stringUsed) return -1;
        if (previous >= 0 && std::strcmp(entryText(s, previous), entryText(s, e)) >= 0) return -1;
        ++count;
    }
    return count;
}

// Lists the chain in the bucket's array, or marks it walk-only; false when
// memory is short.
bool buildBucket(const StringArea &s, uint32_t bucket, StringBucket &b) {
    int32_t count = orderedLength(s, bucket);
    if (count < 0) {
        b.capacity = kWalkOnly;
        return true;
    }
    int32_t capacity = count + count / 2 + 8;
    if (!growBlock(b.offsets, static_cast<size_t>(capacity) * sizeof(int32_t))) return false;
    int32_t i = 0;
    for (int32_t e = s.stringIndex[bucket]; e != -1; e = entryLink(s, e)) b.offsets[i++] = e;
    b.count = count;
    b.capacity = capacity;
    return true;
}

// Puts `offset` at `slot`, as its entry was linked after the array's
// previous element.
bool insertOffset(StringBucket &b, int32_t slot, int32_t offset) {
    if (b.count == b.capacity) {
        int32_t capacity = b.capacity * 2;
        if (!growBlock(b.offsets, static_cast<size_t>(capacity) * sizeof(int32_t))) return false;
        b.capacity = capacity;
    }
    std::memmove(b.offsets + slot + 1, b.offsets + slot, static_cast<size_t>(b.count - slot) * sizeof(int32_t));
    b.offsets[slot] = offset;
    ++b.count;
    return true;
}

StringLookup *makeLookup() {
    auto *x = static_cast<StringLookup *>(mallocMem(sizeof(StringLookup)));
    if (x == nullptr) return nullptr;
    for (StringBucket &b : x->buckets) b = StringBucket{nullptr, 0, 0};
    return x;
}

}  // namespace

StringPlace findStringPlace(const StringArea &s, const char *text) {
    uint32_t bucket = stringHash(text);
    const StringLookup *x = s.stringLookup;
    if (x != nullptr) {
        const StringBucket &b = x->buckets[bucket];
        if (b.offsets != nullptr) return searchBucket(s, text, bucket, b);
        if (b.capacity == kWalkOnly) {
            StringPlace r = walkChain(s, text, bucket);
            r.longWalk = false;
            return r;
        }
    }
    return walkChain(s, text, bucket);
}

void keepStringLookup(StringArea &s, const StringPlace &place, int32_t added) {
    StringLookup *x = s.stringLookup;
    if (place.slot >= 0) {  // the place came from the bucket's array
        if (x != nullptr && added >= 0 && !insertOffset(x->buckets[place.bucket], place.slot, added))
            dropStringLookup(s);
        return;
    }
    if (!place.longWalk) return;
    if (x == nullptr) {
        if (s.stringCapacity < kLookupFromCapacity) return;
        x = s.stringLookup = makeLookup();
        if (x == nullptr) return;
    }
    // The array is built from the chain as it stands, the added entry included.
    StringBucket &b = x->buckets[place.bucket];
    if (b.offsets == nullptr && b.capacity != kWalkOnly && !buildBucket(s, place.bucket, b)) dropStringLookup(s);
}

void dropStringLookup(StringArea &s) {
    StringLookup *x = s.stringLookup;
    if (x == nullptr) return;
    for (StringBucket &b : x->buckets) freeMem(b.offsets);
    freeMem(x);
    s.stringLookup = nullptr;
}

}  // namespace vrd
