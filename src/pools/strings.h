// strings.h - the string area: every distinct text once in one block, its figures and its binary section.
#ifndef VRD_POOLS_STRINGS_H
#define VRD_POOLS_STRINGS_H

#include "frame/section.h"
#include "frame/tally.h"

namespace vrd {

struct StringLookup;  // src/pools/stringindex.h

// The string area's record in a store; all-zero is an empty area.  The text
// block grows by at least 2030 bytes (strings.cpp) and never shrinks.
// Creating a text already stored gives its entry and changes nothing a
// caller can see, reporting nothing: the text reader reuses the entity of a
// repeated identifier on that promise (files/recent.h).
struct StringArea {
    char *stringText;      // string entries; stringCapacity + 1 bytes
    int32_t *stringIndex;  // kStringBuckets chain heads (entry offsets), -1 empty
    int32_t stringUsed;
    int32_t stringCapacity;
    // The hash of the texts and the links it lets wait (stringindex.h); no
    // file holds it.  Chains are read only through settledStrings.
    StringLookup *stringLookup;
    int32_t stringLookupRefusedAt;  // bytes used when the index memory last refused, 0 none
};

inline StringArea &strings(VRDstore *s) { return areaRecord<StringArea, kStringsArea>(s); }
inline const StringArea &strings(const VRDstore *s) { return areaRecord<StringArea, kStringsArea>(s); }

void releaseStrings(VRDstore *s);
inline const bool stringsAttached = attachArea(kStringsArea, releaseStrings);

constexpr int kStringBuckets = 1024;
constexpr size_t kStringIndexBytes = kStringBuckets * sizeof(int32_t);
constexpr int32_t kLinkBytes = 4;                     // an entry starts with its chain link
constexpr int32_t kEntryOverhead = kLinkBytes + 1;    // link word and terminating zero

// The text of the entry at `offset`: the link word comes first.
inline const char *entryText(const StringArea &a, uint32_t offset) { return a.stringText + offset + kLinkBytes; }

// The link word of the entry at `offset` (little-endian, unaligned).
inline int32_t entryLink(const StringArea &a, uint32_t offset) {
    int32_t link;
    std::memcpy(&link, a.stringText + offset, sizeof link);
    return link;
}

// The text of the entry at `offset`, or null when no entry can start there:
// every entry ends with a zero byte inside the used area, so a text that
// starts before its end is terminated inside the block.  No report.
inline const char *textAtOffset(const StringArea &a, uint32_t offset) {
    if (a.stringText == nullptr || uint64_t{offset} + kLinkBytes >= static_cast<uint64_t>(a.stringUsed)) return nullptr;
    return entryText(a, offset);
}
inline const char *stringAt(const VRDstore *s, uint32_t offset) { return textAtOffset(strings(s), offset); }

// The area with every chain complete: what anything that follows the
// chains (file, report, views) reads.  Linking waiting entries changes
// nothing a caller can see, so a const store may be settled.
const StringArea &settledStrings(const VRDstore *s);

// Read-only views for tests: the entry offsets of one bucket's chain in
// chain order (at most max; the chain's length is returned), and whether
// the lookup exists.
uint32_t stringChain(const VRDstore *s, uint32_t bucket, int32_t *offsets, uint32_t max);
bool hasStringLookup(const VRDstore *s);

// The figures of the statistics report.
struct StringFigures {
    int32_t bytesUsed, bytesAllocated;
    bool indexMade;
};
StringFigures stringFigures(const VRDstore *s);
void tallyStringChains(const VRDstore *s, ChainTally &tally);

// ---- the binary-file section: the used bytes, the block, the index ----
struct StringStage {
    int32_t used = 0;
    char *text = nullptr;
    int32_t *index = nullptr;
    Marks starts;  // offsets at which an entry starts
};

void writeStringSection(int fd, const VRDstore *s);
Status readStringSection(Source &src, StringStage &stage);
void installStrings(VRDstore *s, StringStage &stage);
void release(StringStage &stage);

}  // namespace vrd

#endif  // VRD_POOLS_STRINGS_H
