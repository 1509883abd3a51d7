// numindex.cpp - hash indexes over the bigint and real tables, giving the first match a scan gives.
#include "pools/numindex.h"

#include <cfloat>
#include <cmath>

namespace vrd {
namespace {

// Smaller tables are scanned: a scan of a few dozen entries costs less.
constexpr int32_t kNumberIndexFrom = 64;
constexpr uint32_t kNumberEntryBits = 27;  // table indexes stay below 2^27

// Reals below 2 in magnitude can match a neighbour within DBL_EPSILON, so
// they are keyed by their DBL_EPSILON-wide slot and looked up in three
// slots; from 2 up the spacing of doubles is at least 2 * DBL_EPSILON, so
// only an equal value matches and the key is the value itself.  NaN and
// the infinities match nothing and are never indexed.
constexpr double kSlotLimit = 2.0;

bool isSlotted(double v) { return std::fabs(v) < kSlotLimit; }
int64_t slotOf(double v) { return static_cast<int64_t>(std::floor(v / DBL_EPSILON)); }
uint64_t slotHash(int64_t slot) { return mixHash(static_cast<uint64_t>(slot)); }

uint64_t realHash(double v) {
    if (isSlotted(v)) return slotHash(slotOf(v));
    uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return mixHash(bits ^ 0x9e3779b97f4a7c15ull);
}

uint64_t bigintHash(int32_t v) { return mixHash(static_cast<uint32_t>(v)); }

// One table's index with its retry mark, seen through the area's fields.
struct Lookup {
    IndexTable &table;
    int32_t &refusedAt;  // entries the table held when the index memory last refused; 0 none
};

void drop(Lookup x, int32_t count) {
    dropTable(x.table);
    x.refusedAt = count;
}

// Puts entry `i` in the index when its value can match; false when the
// index memory has no room.
template <typename HashOf, typename Indexed>
bool add(IndexTable &t, int32_t i, HashOf hashOf, Indexed indexed) {
    if (!indexed(i)) return true;
    if (!reserveEntry(t, [&](uint32_t e) { return hashOf(static_cast<int32_t>(e)); })) return false;
    putEntry(t, hashOf(i), static_cast<uint32_t>(i));
    return true;
}

// True when the index can answer for a table of `count` entries: it exists,
// or it is due and has just been built from the entries in index order.
template <typename HashOf, typename Indexed>
bool ready(Lookup x, int32_t count, HashOf hashOf, Indexed indexed) {
    if (usePlainPaths) {
        if (x.table.slots != nullptr) dropTable(x.table);
        return false;
    }
    if (x.table.slots != nullptr) return true;
    if (count < kNumberIndexFrom || (x.refusedAt != 0 && count < 2 * x.refusedAt)) return false;
    x.table = emptyTable(kNumberEntryBits);
    for (int32_t i = 0; i < count; ++i)
        if (!add(x.table, i, hashOf, indexed)) return drop(x, count), false;
    x.refusedAt = 0;
    return true;
}

auto bigintHasher(const NumberArea &s) {
    return [&s](int32_t i) { return bigintHash(s.bigintValues[i]); };
}
auto realHasher(const NumberArea &s) {
    return [&s](int32_t i) { return realHash(s.realValues[i]); };
}
bool anyBigint(int32_t) { return true; }
auto finiteReal(const NumberArea &s) {
    return [&s](int32_t i) { return std::isfinite(s.realValues[i]); };
}

Lookup bigintLookup(NumberArea &s) { return Lookup{s.bigintLookup, s.bigintRefusedAt}; }
Lookup realLookup(NumberArea &s) { return Lookup{s.realLookup, s.realRefusedAt}; }

}  // namespace

int32_t findBigint(NumberArea &s, int32_t value) {
    if (!ready(bigintLookup(s), s.bigintCount, bigintHasher(s), anyBigint)) {
        for (int32_t i = 0; i < s.bigintCount; ++i)
            if (s.bigintValues[i] == value) return i;
        return -1;
    }
    uint32_t e = findEntry(s.bigintLookup, bigintHash(value), [&](uint32_t i) { return s.bigintValues[i] == value; });
    return e == kNoEntry ? -1 : static_cast<int32_t>(e);
}

int32_t findReal(NumberArea &s, double value) {
    auto matches = [&](uint32_t i) { return std::fabs(s.realValues[i] - value) < DBL_EPSILON; };
    if (!ready(realLookup(s), s.realCount, realHasher(s), finiteReal(s))) {
        for (int32_t i = 0; i < s.realCount; ++i)
            if (matches(static_cast<uint32_t>(i))) return i;
        return -1;
    }
    if (!std::isfinite(value)) return -1;  // NaN and infinities never match
    if (!isSlotted(value)) {
        uint32_t e = findEntry(s.realLookup, realHash(value), matches);
        return e == kNoEntry ? -1 : static_cast<int32_t>(e);
    }
    // A match lies in the value's slot or a neighbour; in each slot only
    // entries keyed by that slot count, so the first met is that slot's
    // lowest match, and the lowest of the three is the scan's answer.
    int64_t slot = slotOf(value);
    uint32_t best = kNoEntry;
    for (int64_t k = slot - 1; k <= slot + 1; ++k) {
        uint32_t e = findEntry(s.realLookup, slotHash(k), [&](uint32_t i) {
            return isSlotted(s.realValues[i]) && slotOf(s.realValues[i]) == k && matches(i);
        });
        if (e < best) best = e;
    }
    return best == kNoEntry ? -1 : static_cast<int32_t>(best);
}

void noteBigint(NumberArea &s, int32_t index) {
    if (s.bigintLookup.slots != nullptr && !add(s.bigintLookup, index, bigintHasher(s), anyBigint))
        drop(bigintLookup(s), index + 1);
}

void noteReal(NumberArea &s, int32_t index) {
    if (s.realLookup.slots != nullptr && !add(s.realLookup, index, realHasher(s), finiteReal(s)))
        drop(realLookup(s), index + 1);
}

void dropNumberIndexes(NumberArea &s) {
    dropTable(s.bigintLookup);
    dropTable(s.realLookup);
    s.bigintRefusedAt = s.realRefusedAt = 0;
}

}  // namespace vrd
