// indextable.h - an open-addressing hash table of entry numbers: the one lookup structure kept beside the pools.
#ifndef VRD_POOLS_INDEXTABLE_H
#define VRD_POOLS_INDEXTABLE_H

#include <cstdint>
#include <cstring>

#include "vrd/heapwrap.h"

namespace vrd {

// The entries of a pool (indexes, offsets or keys), found by the hash of
// their values.  A slot holds an entry number in its low `entryBits` bits
// and, above them, the top bits of the entry's hash: a fingerprint that
// spares most value comparisons.  kEmptySlot is a free slot; no valid entry
// number and fingerprint make it.  Probing is linear and entries are never
// removed, so entries of equal hash lie along the probe sequence in the
// order they were inserted: a pool that inserts its entries in index order
// finds the lowest matching index first, as a scan from the start would.
//
// Growth rule: the slot count is a power of two, at least kFirstSlots, and
// doubles whenever an insertion would fill more than half of it; so a table
// holds at most four slots, 16 bytes, per entry.  Slots come from the index
// memory (mallocIndexMem): a growth that finds none leaves the table as it
// was and says so, and the pool then answers by its plain walk.
struct IndexTable {
    uint32_t *slots;     // null: no table
    uint32_t mask;       // slot count - 1
    uint32_t count;      // entries held
    uint32_t entryBits;  // width of an entry number, at most 31
};

constexpr uint32_t kEmptySlot = 0xFFFFFFFFu;
constexpr uint32_t kNoEntry = 0xFFFFFFFFu;
constexpr uint32_t kFirstSlots = 16;

// Mixes 64 bits into a well-spread hash (the splitmix64 finaliser).
constexpr uint64_t mixHash(uint64_t x) {
    x ^= x >> 30;
    x *= 0xbf58476d1ce4e5b9ull;
    x ^= x >> 27;
    x *= 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// The hash of `n` bytes, eight at a time.  The last 0-7 bytes are read by
// at most two loads that may overlap (never a byte at a time: a word put
// together byte by byte in memory stalls the load that reads it back).
inline uint64_t hashBytes(const char *p, size_t n) {
    uint64_t h = 0x9e3779b97f4a7c15ull ^ n;
    const char *end = p + n;
    for (; end - p >= 8; p += 8) {
        uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xff51afd7ed558ccdull;
        h ^= h >> 32;
    }
    size_t rest = static_cast<size_t>(end - p);
    uint64_t w = 0;
    if (rest >= 4) {
        uint32_t a, b;
        std::memcpy(&a, p, 4);
        std::memcpy(&b, end - 4, 4);
        w = uint64_t{a} | uint64_t{b} << 32;
    } else if (rest > 0) {
        auto byte = [](char c) { return uint64_t{static_cast<unsigned char>(c)}; };
        w = byte(p[0]) | byte(p[rest / 2]) << 8 | byte(end[-1]) << 16;
    }
    return mixHash(h ^ w);
}

// An empty table whose entry numbers take `entryBits` bits; no memory yet.
inline IndexTable emptyTable(uint32_t entryBits) { return IndexTable{nullptr, 0, 0, entryBits}; }

inline uint32_t slotTag(const IndexTable &t, uint64_t hash) {
    return static_cast<uint32_t>(hash >> 32) & ~((1u << t.entryBits) - 1);
}

// The first entry, in probe order, whose fingerprint agrees with `hash` and
// for which match(entry) holds; kNoEntry when none.
template <typename Match>
uint32_t findEntry(const IndexTable &t, uint64_t hash, Match match) {
    if (t.slots == nullptr) return kNoEntry;
    uint32_t tag = slotTag(t, hash), low = (1u << t.entryBits) - 1;
    for (uint32_t i = static_cast<uint32_t>(hash) & t.mask;; i = (i + 1) & t.mask) {
        uint32_t slot = t.slots[i];
        if (slot == kEmptySlot) return kNoEntry;
        if ((slot & ~low) == tag && match(slot & low)) return slot & low;
    }
}

// Makes room for one more entry, doubling the slots (each entry's hash
// recomputed by hashOf) when the table would pass half full.  False when
// the index memory has none: the table is then as it was.
template <typename HashOf>
bool reserveEntry(IndexTable &t, HashOf hashOf);

// Adds an entry behind every entry of equal hash; room must be reserved.
inline void putEntry(IndexTable &t, uint64_t hash, uint32_t entry) {
    uint32_t i = static_cast<uint32_t>(hash) & t.mask;
    while (t.slots[i] != kEmptySlot) i = (i + 1) & t.mask;
    t.slots[i] = entry | slotTag(t, hash);
    ++t.count;
}

// Releases the slots; the table is empty again (its entry width kept).
inline void dropTable(IndexTable &t) {
    freeIndexMem(t.slots);
    t = emptyTable(t.entryBits);
}

// Bytes of slots a table holds: what the tests weigh against its entries.
inline size_t tableBytes(const IndexTable &t) { return t.slots == nullptr ? 0 : (size_t{t.mask} + 1) * sizeof(uint32_t); }

// A fresh slot array of `slots` (a power of two) free slots, or null.
uint32_t *newSlots(uint32_t slots);

template <typename HashOf>
bool reserveEntry(IndexTable &t, HashOf hashOf) {
    uint32_t size = t.slots == nullptr ? 0 : t.mask + 1;
    if (uint64_t{t.count + 1} * 2 <= size) return true;
    uint32_t grown = size == 0 ? kFirstSlots : size * 2;
    if (grown == 0) return false;  // past 2^31 slots: no table that large
    uint32_t *slots = newSlots(grown);
    if (slots == nullptr) return false;
    IndexTable moved{slots, grown - 1, 0, t.entryBits};
    if (t.slots != nullptr) {
        // Start behind a free slot, so each run of full slots is moved in
        // probe order and entries of equal hash keep their order.
        uint32_t start = 0;
        while (t.slots[start] != kEmptySlot) ++start;
        uint32_t low = (1u << t.entryBits) - 1;
        for (uint32_t k = 1; k <= size; ++k) {
            uint32_t slot = t.slots[(start + k) & t.mask];
            if (slot != kEmptySlot) putEntry(moved, hashOf(slot & low), slot & low);
        }
    }
    freeIndexMem(t.slots);
    t = moved;
    return true;
}

}  // namespace vrd

#endif  // VRD_POOLS_INDEXTABLE_H
