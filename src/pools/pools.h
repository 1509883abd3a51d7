// pools.h - the value pools' internal interface for the areas above: every pool's header, and string order tokens.
#ifndef VRD_POOLS_H
#define VRD_POOLS_H

#include "pools/keywords.h"
#include "pools/numbers.h"
#include "pools/points.h"
#include "pools/strings.h"

namespace vrd {

// The lookup beside each pool, for tests: the entries its hash table lists
// and the bytes of its slots; both 0 while it does not exist.
enum class PoolLookup { Bigints, Reals, Strings, Keywords, Xcoords, Ycoords, Points };
struct LookupSize {
    uint32_t entries;
    size_t bytes;
};
LookupSize lookupSize(const VRDstore *s, PoolLookup which);

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
// The token at *position; moves *position past it (the end token stays put).
CmpToken getCmpToken(const char **position);
}

#endif  // VRD_POOLS_H
