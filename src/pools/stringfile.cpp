// stringfile.cpp - the string area seen whole: release, read-only views, report figures and binary section.
#include "pools/stringindex.h"

namespace vrd {
namespace {

constexpr EndTable<int32_t, kStringBuckets> kNoStrings{-1};

// Entries tile the text block from offset 0: a link word, at least the
// terminating zero of the text.  Marks each entry's start.
Status mapStringEntries(const char *text, int32_t used, Marks &starts) {
    VRD_TRY(starts.init(static_cast<uint64_t>(used)));
    int32_t at = 0;
    while (at < used) {
        if (used - at < kEntryOverhead) return Status::Bad;
        const void *end = std::memchr(text + at + kLinkBytes, 0, static_cast<size_t>(used - at - kLinkBytes));
        if (end == nullptr) return Status::Bad;
        starts.claim(uint64_t(at));
        at = static_cast<int32_t>(static_cast<const char *>(end) - text) + 1;
    }
    return Status::Ok;
}

int32_t linkAt(const char *text, int32_t offset) {
    int32_t link;
    std::memcpy(&link, text + offset, sizeof link);
    return link;
}

// Every chain head and link starts an entry or ends, no entry met twice.
Status checkStringChains(const StringStage &s) {
    Marks seen;
    VRD_TRY(seen.init(static_cast<uint64_t>(s.used)));
    for (int b = 0; b < kStringBuckets; ++b) {
        for (int32_t e = s.index[b]; e != -1; e = linkAt(s.text, e))
            if (e < 0 || !s.starts.test(uint64_t(e)) || !seen.claim(uint64_t(e))) return Status::Bad;
    }
    return Status::Ok;
}

}  // namespace

// The lookup describes the chains it was built on: it goes with the area,
// unsettled, since the chains go too.
void releaseStrings(VRDstore *store) {
    StringArea &s = strings(store);
    discardStringLookup(s);
    freeMem(s.stringText);
    freeMem(s.stringIndex);
    s = StringArea{};
}

const StringArea &settledStrings(const VRDstore *store) {
    StringArea &s = strings(const_cast<VRDstore *>(store));
    settleStrings(s);
    return s;
}

uint32_t stringChain(const VRDstore *store, uint32_t bucket, int32_t *offsets, uint32_t max) {
    const StringArea &s = settledStrings(store);
    uint32_t n = 0;
    if (s.stringIndex == nullptr) return 0;
    for (int32_t e = s.stringIndex[bucket]; e >= 0 && e < s.stringUsed; e = entryLink(s, uint32_t(e)), ++n)
        if (n < max) offsets[n] = e;
    return n;
}

bool hasStringLookup(const VRDstore *store) { return strings(store).stringLookup != nullptr; }

StringFigures stringFigures(const VRDstore *store) {
    const StringArea &s = strings(store);
    return StringFigures{s.stringUsed, s.stringCapacity, s.stringIndex != nullptr};
}

void tallyStringChains(const VRDstore *store, ChainTally &tally) {
    const StringArea &s = settledStrings(store);
    for (int b = 0; b < kStringBuckets; ++b) {
        int32_t head = s.stringIndex[b];
        if (head == -1) {
            tally.addEmpty();
            continue;
        }
        tally.walk(static_cast<uint32_t>(head), static_cast<uint64_t>(s.stringUsed), [&s](uint32_t e, uint32_t *n) {
            int32_t link = entryLink(s, e);
            *n = static_cast<uint32_t>(link);
            return link != -1;
        });
    }
}

void writeStringSection(int fd, const VRDstore *store) {
    const StringArea &s = settledStrings(store);
    putWord(fd, static_cast<uint32_t>(s.stringUsed));
    rawWrite(fd, s.stringText, static_cast<size_t>(s.stringUsed));
    putTable(fd, s.stringIndex, kNoStrings.heads, kStringIndexBytes);
}

Status readStringSection(Source &src, StringStage &stage) {
    uint32_t used;
    VRD_TRY(src.word(&used));
    if (used >= kPayloadLimit) return Status::Bad;  // no entry may start at 2^27 or beyond
    VRD_TRY(src.need(uint64_t{used} + kStringIndexBytes));
    VRD_TRY(allocate(stage.text, uint64_t{used} + 1));
    VRD_TRY(allocate(stage.index, kStringBuckets));
    stage.used = static_cast<int32_t>(used);
    VRD_TRY(src.take(stage.text, used));
    stage.text[used] = '\0';
    VRD_TRY(src.take(stage.index, kStringIndexBytes));
    VRD_TRY(mapStringEntries(stage.text, stage.used, stage.starts));
    return checkStringChains(stage);
}

// A replaced area starts without a lookup and builds it again as its
// lookups need it.
void installStrings(VRDstore *store, StringStage &t) {
    releaseStrings(store);
    StringArea &s = strings(store);
    s.stringText = t.text;
    s.stringIndex = t.index;
    s.stringUsed = s.stringCapacity = t.used;
    t.text = nullptr;
    t.index = nullptr;
    t.used = 0;
}

void release(StringStage &t) {
    freeMem(t.text);
    freeMem(t.index);
    t.text = nullptr;
    t.index = nullptr;
    t.used = 0;
}

}  // namespace vrd
