// mapped.h - large blocks of the memory layer in mappings of their own, 2 MB aligned for huge pages.
#ifndef VRD_FRAME_MAPPED_H
#define VRD_FRAME_MAPPED_H

#include <cstddef>

namespace vrd {

// A block of at least kMapFrom bytes (the memory layer's header included)
// lives in a mapping of its own where the platform offers one: its length
// a whole number of kMapAlign units, its start aligned to one, and the
// system asked to back it with huge pages.  A fresh store fills its form
// arrays and slabs page by page; with huge pages one fault brings 2 MB
// instead of 4 KB, and a mapping grows by moving its page tables, never by
// copying its bytes.  The threshold keeps the rounding of a few large
// blocks (at most one unit each) a small share of the memory they hold.
//
// Everything here may fail (no such platform, address space or memory
// short): callers then take the C allocator's path, as for a small block.
constexpr size_t kMapFrom = size_t{8} << 20;
constexpr size_t kMapAlign = size_t{2} << 20;

// Whether this build maps large blocks at all (Linux only).
bool mappingAvailable();
// The mapping length that holds `bytes`, 0 when it would overflow.
size_t mappingLength(size_t bytes);
// A fresh zero-filled mapping of `length` bytes (a multiple of kMapAlign),
// aligned to kMapAlign; null when refused.
void *newMapping(size_t length);
// Grows the mapping at `start` from `length` to `grown` bytes, in place or
// moved whole (bytes kept, the old range released); its new start, or null
// when refused, the old mapping then as it was.
void *growMapping(void *start, size_t length, size_t grown);
// Releases a mapping made above.
void dropMapping(void *start, size_t length);

// Test hook: the next n mapping requests (new or grown) are refused, as if
// the system had none; 0 disarms.
void refuseMappings(long n);
// Whether a counted block of the memory layer lives in a mapping of its own.
bool blockIsMapped(const void *block);

}  // namespace vrd

#endif  // VRD_FRAME_MAPPED_H
