// numindex.cpp - hash indexes over the bigint and real tables, kept in step with them.
#include "pools/numindex.h"

#include <cfloat>
#include <cmath>

namespace vrd {
namespace {

// Reals below 2 in magnitude can match a neighbour within DBL_EPSILON, so
// they are keyed by their DBL_EPSILON-wide slot and looked up in three
// slots; from 2 up the spacing of doubles is at least 2 * DBL_EPSILON, so
// only an equal value matches and the key is the value itself.
constexpr double kSlotLimit = 2.0;

// Small tables are scanned: a scan of a few hundred entries costs less than
// an index, and a table's growth then takes exactly one block request, the
// table's own, as callers counting allocations expect.
constexpr int32_t kIndexedCapacity = 1024;

uint64_t mix(uint64_t x) {
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdull;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ull;
    return x ^ (x >> 33);
}

bool isSlotted(double v) { return std::fabs(v) < kSlotLimit; }
int64_t slotOf(double v) { return static_cast<int64_t>(std::floor(v / DBL_EPSILON)); }

uint64_t realKey(double v) {
    if (isSlotted(v)) return mix(static_cast<uint64_t>(slotOf(v)));
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return mix(bits ^ 0x9e3779b97f4a7c15ull);
}

uint64_t bigintKey(int32_t v) { return mix(static_cast<uint32_t>(v)); }

void dropIndex(NumberIndex *&index) {
    if (index == nullptr) return;
    freeMem(index->heads);
    freeMem(index->next);
    freeMem(index);
    index = nullptr;
}

void link(NumberIndex *index, uint64_t key, int32_t entry) {
    uint32_t bucket = static_cast<uint32_t>(key) & (index->bucketCount - 1);
    index->next[entry] = index->heads[bucket];
    index->heads[bucket] = entry;
}

// Makes `index` cover `count` entries of a table of `capacity`, rehashing
// into enough buckets; false (index dropped) when memory is short.
template <typename KeyOf>
bool resize(NumberIndex *&index, int32_t count, int32_t capacity, KeyOf keyOf) {
    if (index == nullptr) {
        index = static_cast<NumberIndex *>(mallocMem(sizeof(NumberIndex)));
        if (index == nullptr) return false;
        *index = NumberIndex{nullptr, nullptr, 0, 0, 0};
    }
    uint32_t buckets = 1024;
    while (buckets < static_cast<uint32_t>(capacity)) buckets *= 2;
    if (!growBlock(index->next, static_cast<size_t>(capacity) * sizeof(int32_t))) return false;
    index->capacity = capacity;
    if (buckets != index->bucketCount) {
        if (!growBlock(index->heads, static_cast<size_t>(buckets) * sizeof(int32_t))) return false;
        index->bucketCount = buckets;
        index->covered = 0;  // every entry goes into the new buckets
    }
    if (index->covered == 0)
        for (uint32_t b = 0; b < buckets; ++b) index->heads[b] = -1;
    // Entries are linked from the newest down so each chain lists lower
    // indexes last; lookups still take the lowest matching index.
    for (int32_t i = index->covered; i < count; ++i) link(index, keyOf(i), i);
    index->covered = count;
    return true;
}

}  // namespace

int32_t findBigint(const NumberArea &s, int32_t value) {
    NumberIndex *index = s.bigintLookup;
    if (index == nullptr || index->covered != s.bigintCount) {
        for (int32_t i = 0; i < s.bigintCount; ++i)
            if (s.bigintValues[i] == value) return i;
        return -1;
    }
    int32_t best = -1;
    uint32_t bucket = static_cast<uint32_t>(bigintKey(value)) & (index->bucketCount - 1);
    for (int32_t e = index->heads[bucket]; e != -1; e = index->next[e])
        if (s.bigintValues[e] == value && (best == -1 || e < best)) best = e;
    return best;
}

int32_t findReal(const NumberArea &s, double value) {
    NumberIndex *index = s.realLookup;
    auto matches = [&](int32_t i) { return std::fabs(s.realValues[i] - value) < DBL_EPSILON; };
    if (index == nullptr || index->covered != s.realCount) {
        for (int32_t i = 0; i < s.realCount; ++i)
            if (matches(i)) return i;
        return -1;
    }
    if (!std::isfinite(value)) return -1;  // NaN and infinities never match
    int32_t best = -1;
    auto scan = [&](uint64_t key) {
        uint32_t bucket = static_cast<uint32_t>(key) & (index->bucketCount - 1);
        for (int32_t e = index->heads[bucket]; e != -1; e = index->next[e])
            if (matches(e) && (best == -1 || e < best)) best = e;
    };
    if (isSlotted(value)) {
        int64_t slot = slotOf(value);
        for (int64_t d = -1; d <= 1; ++d) scan(mix(static_cast<uint64_t>(slot + d)));
    } else {
        scan(realKey(value));
    }
    return best;
}

void prepareBigintIndex(NumberArea &s) {
    if (s.bigintCapacity < kIndexedCapacity) return dropIndex(s.bigintLookup);
    if (!resize(s.bigintLookup, s.bigintCount, s.bigintCapacity,
                [&s](int32_t i) { return bigintKey(s.bigintValues[i]); }))
        dropIndex(s.bigintLookup);
}

void prepareRealIndex(NumberArea &s) {
    if (s.realCapacity < kIndexedCapacity) return dropIndex(s.realLookup);
    if (!resize(s.realLookup, s.realCount, s.realCapacity,
                [&s](int32_t i) { return realKey(s.realValues[i]); }))
        dropIndex(s.realLookup);
}

void noteBigint(NumberArea &s, int32_t index) {
    NumberIndex *x = s.bigintLookup;
    if (x == nullptr || x->covered != index || index >= x->capacity) return dropIndex(s.bigintLookup);
    link(x, bigintKey(s.bigintValues[index]), index);
    x->covered = index + 1;
}

void noteReal(NumberArea &s, int32_t index) {
    NumberIndex *x = s.realLookup;
    if (x == nullptr || x->covered != index || index >= x->capacity) return dropIndex(s.realLookup);
    if (std::isfinite(s.realValues[index])) link(x, realKey(s.realValues[index]), index);
    x->covered = index + 1;
}

void dropNumberIndexes(NumberArea &s) {
    dropIndex(s.bigintLookup);
    dropIndex(s.realLookup);
}

}  // namespace vrd
