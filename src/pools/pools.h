// pools.h - records and helpers of the value pools shared with other areas.
#ifndef VRD_POOLS_H
#define VRD_POOLS_H

#include "frame/frame.h"

// A point kept whole in the point table: three signed words.
struct PointRecord {
    int32_t x;
    int32_t y;
    int32_t next;  // next record of the same bucket, -1 ends the chain
};
static_assert(sizeof(PointRecord) == 12, "point record is three words");

namespace vrd {

constexpr int kKeywordBuckets = 128;
constexpr int kCoordBuckets = 1024;
constexpr int kPointBuckets = 1019;
constexpr int kStringBuckets = 1024;
constexpr uint16_t kCoordEnd = 0xFFFF;
constexpr uint32_t kPackedLimit = 30720;  // x index at or above: a table point
constexpr uint32_t kTablePointBase = 0x3C000000u;

// Bucket of a keyword: its first byte, folded into the 128 buckets.
inline uint32_t keywordBucket(const char *keyword) { return static_cast<unsigned char>(keyword[0]) & 0x7Fu; }

// The text of a string entry at `offset` of the text block: four bytes of
// chain link come first.
inline const char *stringTextAt(const VRDstore *s, uint32_t offset) { return s->stringText + offset + 4; }

// The link word of a string entry (little-endian, unaligned).
inline int32_t stringLinkAt(const VRDstore *s, uint32_t offset) {
    int32_t link;
    std::memcpy(&link, s->stringText + offset, sizeof link);
    return link;
}

}  // namespace vrd

// One token of the natural order: a byte, a run of digits or the end.
struct CmpToken {
    int32_t kind;   // kCmpCharacter, kCmpNumber or kCmpEnd
    int32_t value;  // the byte as signed 8 bits, the run's value (wrapping), or 0
};
constexpr int32_t kCmpCharacter = 1;
constexpr int32_t kCmpNumber = 2;
constexpr int32_t kCmpEnd = 3;

extern "C" {
// Index of x in the xcoord table, interned when new; 0xFFFF when impossible.
uint16_t newxcoord(int32_t x);
// Index of y in the ycoord table, interned when new; 0xFFFF when impossible.
uint16_t newycoord(int32_t y);
// The table-point entity of (x, y), found or added; 0, or 1 (reported).
int32_t newpoint(int32_t x, int32_t y, VRDentity *result);
// The token at *position; moves *position past it (the end token stays put).
CmpToken getCmpToken(const char **position);
}

#endif  // VRD_POOLS_H
