// statistics.cpp - the memory report on the current store: each area's figures, printed in the report's layout.
#include <cstdio>

#include "forms/forms.h"

namespace {
// Figures are signed 32-bit values; they are computed modulo 2^32 so that a
// huge store wraps instead of overflowing.
int32_t times(uint32_t n, int32_t bytes) { return static_cast<int32_t>(n * static_cast<uint32_t>(bytes)); }
int32_t plus(int32_t a, int32_t b) {
    return static_cast<int32_t>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b));
}
int32_t bytesOf(size_t n) { return static_cast<int32_t>(n); }

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

void printTally(const vrd::ChainTally &d, const char *heading) {
    std::printf("%s", heading);
    uint64_t last = d.longest < vrd::ChainTally::kCounters - 1 ? d.longest : vrd::ChainTally::kCounters - 1;
    for (uint64_t n = 0; n <= last; ++n) std::printf("%d  -  %d\n", static_cast<int>(n), d.counters[n]);
}

void keywordLines(const VRDstore *s, Totals &t) {
    vrd::KeywordFigures k = vrd::keywordFigures(s);
    const int32_t index = bytesOf(vrd::kKeywordIndexBytes);
    std::printf("Keys           - %ld/%ld entries, %ld/%ld bytes, %ld/%ld lists\n", static_cast<long>(k.keysUsed),
                static_cast<long>(k.keysAllocated), static_cast<long>(k.textUsed), static_cast<long>(k.textAllocated),
                static_cast<long>(plus(times(k.keysUsed, vrd::kKeyListBytes), index)),
                static_cast<long>(plus(times(k.keysAllocated, vrd::kKeyListBytes), index)));
    t.add(plus(plus(times(k.keysAllocated, vrd::kKeyListBytes), index), k.textAllocated),
          plus(times(k.keysAllocated - k.keysUsed, vrd::kKeyListBytes), k.textAllocated - k.textUsed));
    if (k.keysUsed == 0) return;
    vrd::ChainTally d;
    vrd::tallyKeywordChains(s, d);
    printTally(d, "Distribution\n");
}

void coordLines(const VRDstore *s, vrd::Axis axis, Totals &t) {
    vrd::PointFigures p = vrd::pointFigures(s);
    bool x = axis == vrd::Axis::X;
    uint16_t count = x ? p.xUsed : p.yUsed, capacity = x ? p.xAllocated : p.yAllocated;
    const int32_t index = bytesOf(vrd::kCoordIndexBytes);
    int32_t unused = times(static_cast<uint32_t>(capacity - count), vrd::kCoordEntryBytes);
    std::printf(x ? "Xcoords        - %ld bytes, %ld next, %ld index, %ld fsp\n"
                  : "Ycoords        - %ld bytes, %ld next, %ld index, %ld fsp\n",
                static_cast<long>(times(capacity, vrd::kCoordValueBytes)),
                static_cast<long>(times(capacity, vrd::kCoordLinkBytes)), static_cast<long>(index),
                static_cast<long>(unused));
    t.add(plus(times(capacity, vrd::kCoordEntryBytes), index), unused);
    if (!(x ? p.xMade : p.yMade)) return;
    vrd::ChainTally d;
    vrd::tallyCoordChains(s, axis, d);
    printTally(d, x ? "Xcoord Distribution\n" : "Ycoord Distribution\n");
}

void pointLines(const VRDstore *s, Totals &t) {
    vrd::PointFigures p = vrd::pointFigures(s);
    int32_t unused = times(static_cast<uint32_t>(p.pointsAllocated - p.pointsUsed), vrd::kPointRecordBytes);
    int32_t bytes = times(static_cast<uint32_t>(p.pointsAllocated), vrd::kPointRecordBytes);
    std::printf("Points         - %ld bytes,  %ld fsp\n", static_cast<long>(bytes), static_cast<long>(unused));
    t.add(plus(bytes, bytesOf(vrd::kPointIndexBytes)), unused);
    if (!p.pointsMade) return;
    vrd::ChainTally d;
    vrd::tallyPointChains(s, d);
    printTally(d, "Point Distribution\n");
}

void stringLines(const VRDstore *s, Totals &t) {
    vrd::StringFigures f = vrd::stringFigures(s);
    const int32_t index = bytesOf(vrd::kStringIndexBytes);
    std::printf("Strings/Ids    - %ld/%ld bytes, %ld index\n", static_cast<long>(f.bytesUsed),
                static_cast<long>(f.bytesAllocated), static_cast<long>(index));
    t.add(plus(f.bytesAllocated, index), f.bytesAllocated - f.bytesUsed);
    if (!f.indexMade) return;
    vrd::ChainTally d;
    vrd::tallyStringChains(s, d);
    printTally(d, "Distribution\n");
}

void numberLines(const VRDstore *s, Totals &t) {
    vrd::NumberFigures n = vrd::numberFigures(s);
    std::printf("Bigints        - %ld/%ld entries, %ld/%ld lists\n", static_cast<long>(n.bigintsUsed),
                static_cast<long>(n.bigintsAllocated),
                static_cast<long>(times(uint32_t(n.bigintsUsed), vrd::kBigintBytes)),
                static_cast<long>(times(uint32_t(n.bigintsAllocated), vrd::kBigintBytes)));
    t.add(times(static_cast<uint32_t>(n.bigintsAllocated), vrd::kBigintBytes),
          times(static_cast<uint32_t>(n.bigintsAllocated - n.bigintsUsed), vrd::kBigintBytes));
    std::printf("Reals          - %ld/%ld entries, %ld/%ld lists\n", static_cast<long>(n.realsUsed),
                static_cast<long>(n.realsAllocated), static_cast<long>(times(uint32_t(n.realsUsed), vrd::kRealBytes)),
                static_cast<long>(times(uint32_t(n.realsAllocated), vrd::kRealBytes)));
    t.add(times(static_cast<uint32_t>(n.realsAllocated), vrd::kRealBytes),
          times(static_cast<uint32_t>(n.realsAllocated - n.realsUsed), vrd::kRealBytes));
}

// One row of the key table, ended by the key's entity distribution.
void keyRow(uint32_t key, const vrd::KeyFigures &k, Totals &t) {
    char keyword[30];
    VRDkeyGetValue(key, keyword, sizeof keyword);
    std::printf("%-4d %-12.12s %-6d %-7d %-7d %-7d", static_cast<int>(key), keyword, static_cast<int>(k.formsUsed),
                times(k.formsUsed, vrd::kFormRecordBytes), k.slotsUsed,
                times(static_cast<uint32_t>(k.slotsUsed), vrd::kSlotBytes));
    int32_t room = plus(times(k.formsAllocated - k.formsUsed, vrd::kFormRecordBytes),
                        plus(times(static_cast<uint32_t>(k.slotsAllocated - k.slotsUsed), vrd::kSlotBytes),
                             times(static_cast<uint32_t>(k.freeSlots), vrd::kSlotBytes)));
    std::printf(" %-7d", room);
    std::printf(" - 1/%d, 2/%d, 3/%d, >3/%d, max %d, tot %d\n", k.ones, k.twos, k.threes, k.more, k.largest, k.total);
    t.add(plus(times(k.formsAllocated, vrd::kFormRecordBytes),
               times(static_cast<uint32_t>(k.slotsAllocated), vrd::kSlotBytes)),
          room);
    if (room != 0) {
        t.formFree = plus(t.formFree, room);
        ++t.keysWithRoom;
    }
}
}  // namespace

extern "C" void VRD_CALL VRDstatistics(void) {
    VRDstore *s = vrd::needStore("VRDstatistics");
    if (s == nullptr) return;
    Totals t;
    keywordLines(s, t);
    coordLines(s, vrd::Axis::X, t);
    coordLines(s, vrd::Axis::Y, t);
    pointLines(s, t);
    stringLines(s, t);
    numberLines(s, t);
    std::printf("Key  Keyword      Forms  Bytes   Ents    Bytes   Free    Entity distribution\n");
    std::printf("---  -------      -----  -----   ----    -----   ----    -------------------\n");
    for (uint32_t key = 0, count = vrd::keyCount(s); key < count; ++key) {
        vrd::KeyFigures k = vrd::keyFigures(s, key);
        if (k.hasForms) keyRow(key, k, t);
    }
    std::printf("Total space allocated  - %ld bytes, %ld free  ( form fsp %ld in %d keys )\n",
                static_cast<long>(t.allocated), static_cast<long>(t.free), static_cast<long>(t.formFree),
                t.keysWithRoom);
}
