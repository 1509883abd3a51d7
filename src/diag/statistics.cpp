// statistics.cpp - the memory report on the current store's pools, buckets and keys.
#include <cstdio>

#include "forms/forms.h"
#include "pools/pools.h"

namespace {
// Sizes in the 32-bit layout the report describes, whatever the host's
// pointer size: a form record is seven words, a slab slot one entity, a
// key costs an offset and a chain link.
constexpr int32_t kFormRecordBytes = 28;
constexpr int32_t kSlotBytes = 8;
constexpr int32_t kKeyListBytes = 8;
constexpr int32_t kKeywordIndexBytes = 512;
constexpr int32_t kCoordIndexBytes = 2048;
constexpr int32_t kPointIndexBytes = 4076;
constexpr int32_t kStringIndexBytes = 4096;
constexpr int kCounters = 100;

// Figures are signed 32-bit values; they are computed modulo 2^32 so that a
// huge store wraps instead of overflowing.
int32_t times(uint32_t n, int32_t bytes) { return static_cast<int32_t>(n * static_cast<uint32_t>(bytes)); }
int32_t plus(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}

struct Totals {
    int32_t allocated = 0;
    int32_t free = 0;
    int32_t formFree = 0;
    int32_t keysWithRoom = 0;
    void add(int32_t bytes, int32_t unused) {
        allocated = plus(allocated, bytes);
        free = plus(free, unused);
    }
};

// Chain lengths of one bucket table.  Counter n counts buckets with exactly
// n entries.  A chain of 100 or more entries is counted in no counter (there
// is none for it) but still raises the longest length; the printout stops at
// 99 either way.  A walk stops after `limit` steps, so even a damaged chain
// cannot keep it going.
class Distribution {
public:
    template <typename Next>
    void add(bool empty, uint32_t first, uint64_t limit, Next next) {
        if (empty) {
            ++counters_[0];
            return;
        }
        uint64_t length = 1;
        for (uint32_t e = first; length < limit; ++length) {
            bool more = next(e, &e);
            if (!more) break;
        }
        if (length < kCounters) ++counters_[length];
        if (length > longest_) longest_ = length;
    }
    void print(const char *heading) const {
        std::printf("%s", heading);
        uint64_t last = longest_ < kCounters - 1 ? longest_ : kCounters - 1;
        for (uint64_t n = 0; n <= last; ++n) std::printf("%d  -  %d\n", static_cast<int>(n), counters_[n]);
    }

private:
    int32_t counters_[kCounters] = {};
    uint64_t longest_ = 0;
};

void keywordDistribution(const VRDstore *s) {
    Distribution d;
    for (int b = 0; b < vrd::kKeywordBuckets; ++b) {
        uint32_t head = s->keywordIndex[b];
        d.add(head == VRD_NO_KEY, head, s->keyCount, [s](uint32_t e, uint32_t *n) {
            *n = s->keywordNext[e];
            return *n != VRD_NO_KEY;
        });
    }
    d.print("Distribution\n");
}

void coordDistribution(const uint16_t *index, const uint16_t *next, uint16_t count, const char *heading) {
    Distribution d;
    for (int b = 0; b < vrd::kCoordBuckets; ++b) {
        uint16_t head = index != nullptr ? index[b] : vrd::kCoordEnd;
        d.add(head == vrd::kCoordEnd, head, count, [next](uint32_t e, uint32_t *n) {
            *n = next[e];
            return *n != vrd::kCoordEnd;
        });
    }
    d.print(heading);
}

void pointDistribution(const VRDstore *s) {
    Distribution d;
    for (int b = 0; b < vrd::kPointBuckets; ++b) {
        int32_t head = s->pointIndex != nullptr ? s->pointIndex[b] : -1;
        d.add(head == -1, static_cast<uint32_t>(head), static_cast<uint64_t>(s->pointCount),
              [s](uint32_t e, uint32_t *n) {
                  *n = static_cast<uint32_t>(s->pointRecords[e].next);
                  return s->pointRecords[e].next != -1;
              });
    }
    d.print("Point Distribution\n");
}

void stringDistribution(const VRDstore *s) {
    Distribution d;
    for (int b = 0; b < vrd::kStringBuckets; ++b) {
        int32_t head = s->stringIndex[b];
        d.add(head == -1, static_cast<uint32_t>(head), static_cast<uint64_t>(s->stringUsed),
              [s](uint32_t e, uint32_t *n) {
                  int32_t link = vrd::stringLinkAt(s, e);
                  *n = static_cast<uint32_t>(link);
                  return link != -1;
              });
    }
    d.print("Distribution\n");
}

// Slots on the key's free list, following each block's link until -1;
// never more blocks than slots, so a damaged list still ends.
int64_t freeSlots(const KeyRecord &k) {
    int64_t total = 0;
    int64_t steps = 0;
    for (int32_t b = k.slabFree; b >= 0 && b < k.slabUsed && steps <= k.slabUsed; ++steps) {
        total += static_cast<int32_t>(k.slabSlots[b].second);
        b = static_cast<int32_t>(k.slabSlots[b].first);
    }
    return total;
}

// One row of the key table, ended by the key's entity distribution.
void keyRow(uint32_t key, const KeyRecord &k, Totals &t) {
    char keyword[30];
    VRDkeyGetValue(key, keyword, sizeof keyword);
    std::printf("%-4d %-12.12s %-6d %-7d %-7d %-7d", static_cast<int>(key), keyword, static_cast<int>(k.formCount),
                times(k.formCount, kFormRecordBytes), k.slabUsed, times(static_cast<uint32_t>(k.slabUsed), kSlotBytes));
    int32_t room = plus(times(k.formCapacity - k.formCount, kFormRecordBytes),
                        plus(times(static_cast<uint32_t>(k.slabCapacity - k.slabUsed), kSlotBytes),
                             times(static_cast<uint32_t>(freeSlots(k)), kSlotBytes)));
    std::printf(" %-7d", room);
    int32_t ones = 0, twos = 0, threes = 0, more = 0, largest = 0, total = 0;
    for (uint32_t i = 0; i < k.formCount; ++i) {
        auto n = static_cast<int32_t>(vrd::entityCount(k.formRecords[i]));
        ones += n == 1;
        twos += n == 2;
        threes += n == 3;
        more += n > 3;
        if (n > largest) largest = n;
        total = plus(total, n);
    }
    std::printf(" - 1/%d, 2/%d, 3/%d, >3/%d, max %d, tot %d\n", ones, twos, threes, more, largest, total);
    t.add(plus(times(k.formCapacity, kFormRecordBytes), times(static_cast<uint32_t>(k.slabCapacity), kSlotBytes)),
          room);
    if (room != 0) {
        t.formFree = plus(t.formFree, room);
        ++t.keysWithRoom;
    }
}

void coordLine(const char *format, uint16_t count, uint16_t capacity, Totals &t) {
    int32_t unused = times(static_cast<uint32_t>(capacity - count), 6);
    std::printf(format, static_cast<long>(times(capacity, 4)), static_cast<long>(times(capacity, 2)),
                static_cast<long>(kCoordIndexBytes), static_cast<long>(unused));
    t.add(plus(times(capacity, 6), kCoordIndexBytes), unused);
}
}  // namespace

extern "C" void VRD_CALL VRDstatistics(void) {
    VRDstore *s = vrd::needStore("VRDstatistics");
    if (s == nullptr) return;
    Totals t;
    std::printf("Keys           - %ld/%ld entries, %ld/%ld bytes, %ld/%ld lists\n", static_cast<long>(s->keyCount),
                static_cast<long>(s->keyCapacity), static_cast<long>(s->keywordTextUsed),
                static_cast<long>(s->keywordTextCapacity),
                static_cast<long>(plus(times(s->keyCount, kKeyListBytes), kKeywordIndexBytes)),
                static_cast<long>(plus(times(s->keyCapacity, kKeyListBytes), kKeywordIndexBytes)));
    t.add(plus(plus(times(s->keyCapacity, kKeyListBytes), kKeywordIndexBytes), s->keywordTextCapacity),
          plus(times(s->keyCapacity - s->keyCount, kKeyListBytes), s->keywordTextCapacity - s->keywordTextUsed));
    if (s->keyCount != 0) keywordDistribution(s);

    coordLine("Xcoords        - %ld bytes, %ld next, %ld index, %ld fsp\n", s->xcoordCount, s->xcoordCapacity, t);
    if (s->xcoordValues != nullptr)
        coordDistribution(s->xcoordIndex, s->xcoordNext, s->xcoordCount, "Xcoord Distribution\n");
    coordLine("Ycoords        - %ld bytes, %ld next, %ld index, %ld fsp\n", s->ycoordCount, s->ycoordCapacity, t);
    if (s->ycoordValues != nullptr)
        coordDistribution(s->ycoordIndex, s->ycoordNext, s->ycoordCount, "Ycoord Distribution\n");

    int32_t pointsUnused = times(static_cast<uint32_t>(s->pointCapacity - s->pointCount), 12);
    std::printf("Points         - %ld bytes,  %ld fsp\n", static_cast<long>(times(uint32_t(s->pointCapacity), 12)),
                static_cast<long>(pointsUnused));
    t.add(plus(times(static_cast<uint32_t>(s->pointCapacity), 12), kPointIndexBytes), pointsUnused);
    if (s->pointRecords != nullptr) pointDistribution(s);

    std::printf("Strings/Ids    - %ld/%ld bytes, %ld index\n", static_cast<long>(s->stringUsed),
                static_cast<long>(s->stringCapacity), static_cast<long>(kStringIndexBytes));
    t.add(plus(s->stringCapacity, kStringIndexBytes), s->stringCapacity - s->stringUsed);
    if (s->stringIndex != nullptr) stringDistribution(s);

    std::printf("Bigints        - %ld/%ld entries, %ld/%ld lists\n", static_cast<long>(s->bigintCount),
                static_cast<long>(s->bigintCapacity), static_cast<long>(times(uint32_t(s->bigintCount), 4)),
                static_cast<long>(times(uint32_t(s->bigintCapacity), 4)));
    t.add(times(static_cast<uint32_t>(s->bigintCapacity), 4),
          times(static_cast<uint32_t>(s->bigintCapacity - s->bigintCount), 4));
    std::printf("Reals          - %ld/%ld entries, %ld/%ld lists\n", static_cast<long>(s->realCount),
                static_cast<long>(s->realCapacity), static_cast<long>(times(uint32_t(s->realCount), 8)),
                static_cast<long>(times(uint32_t(s->realCapacity), 8)));
    t.add(times(static_cast<uint32_t>(s->realCapacity), 8),
          times(static_cast<uint32_t>(s->realCapacity - s->realCount), 8));

    std::printf("Key  Keyword      Forms  Bytes   Ents    Bytes   Free    Entity distribution\n");
    std::printf("---  -------      -----  -----   ----    -----   ----    -------------------\n");
    for (uint32_t key = 0; key < s->keyCount; ++key)
        if (s->keyRecords[key].formRecords != nullptr) keyRow(key, s->keyRecords[key], t);
    std::printf("Total space allocated  - %ld bytes, %ld free  ( form fsp %ld in %d keys )\n",
                static_cast<long>(t.allocated), static_cast<long>(t.free), static_cast<long>(t.formFree),
                t.keysWithRoom);
}
