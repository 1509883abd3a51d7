// pools.h - the value pools' internal interface for the areas above: every pool's header, and string order tokens.
#ifndef VRD_POOLS_H
#define VRD_POOLS_H

#include "pools/keywords.h"
#include "pools/numbers.h"
#include "pools/points.h"
#include "pools/strings.h"

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
