// mapped.cpp - mappings of their own for the memory layer's large blocks: aligned, huge-page backed, grown by remapping.
#include "frame/mapped.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#define VRD_MAPPINGS 1
#endif

#if defined(__SANITIZE_ADDRESS__)
#define VRD_LSAN_ROOTS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRD_LSAN_ROOTS 1
#endif
#endif
#ifdef VRD_LSAN_ROOTS
#include <sanitizer/lsan_interface.h>
#endif

namespace vrd {
namespace {

long refusals = 0;  // mapping requests still to refuse (test hook)

// Where the system has no mappings of this kind, blocks stay with the C
// allocator and none of the helpers below is needed.
#ifdef VRD_MAPPINGS
bool refuseThisOne() {
    if (refusals == 0) return false;
    --refusals;
    return true;
}

// The leak checker does not look inside mappings for pointers to other
// blocks; a mapped block is one of its roots while it lives.
void watch(void *start, size_t length) {
#ifdef VRD_LSAN_ROOTS
    __lsan_register_root_region(start, length);
#else
    (void)start, (void)length;
#endif
}
void unwatch(void *start, size_t length) {
#ifdef VRD_LSAN_ROOTS
    __lsan_unregister_root_region(start, length);
#else
    (void)start, (void)length;
#endif
}

// A fresh range of `length` bytes at a kMapAlign boundary: one unit more is
// mapped and the unaligned head and the tail beyond are given back.  Null
// when the system has none.
void *alignedRange(size_t length) {
    size_t over = length + kMapAlign;
    if (over < length) return nullptr;
    void *raw = mmap(nullptr, over, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED) return nullptr;
    auto base = reinterpret_cast<uintptr_t>(raw);
    uintptr_t start = (base + kMapAlign - 1) & ~(uintptr_t{kMapAlign} - 1);
    if (start > base) munmap(raw, start - base);
    size_t tail = (base + over) - (start + length);
    if (tail > 0) munmap(reinterpret_cast<void *>(start + length), tail);
    // Advice only: without huge pages the mapping still works, page by page.
    madvise(reinterpret_cast<void *>(start), length, MADV_HUGEPAGE);
    return reinterpret_cast<void *>(start);
}
#endif

}  // namespace

bool mappingAvailable() {
#ifdef VRD_MAPPINGS
    return true;
#else
    return false;
#endif
}

size_t mappingLength(size_t bytes) {
    if (bytes > SIZE_MAX - (kMapAlign - 1)) return 0;
    return (bytes + kMapAlign - 1) & ~(kMapAlign - 1);
}

void *newMapping(size_t length) {
#ifdef VRD_MAPPINGS
    if (refuseThisOne()) return nullptr;
    void *start = alignedRange(length);
    if (start != nullptr) watch(start, length);
    return start;
#else
    (void)length;
    return nullptr;
#endif
}

void *growMapping(void *start, size_t length, size_t grown) {
#ifdef VRD_MAPPINGS
    if (refuseThisOne()) return nullptr;
    void *moved = mremap(start, length, grown, 0);  // in place, when the range behind is free
    if (moved == MAP_FAILED) {
        // Elsewhere: an aligned range is reserved and the pages are moved
        // onto it, so the block stays aligned for huge pages.
        void *target = alignedRange(grown);
        if (target == nullptr) return nullptr;
        moved = mremap(start, length, grown, MREMAP_MAYMOVE | MREMAP_FIXED, target);
        if (moved == MAP_FAILED) {
            munmap(target, grown);
            return nullptr;
        }
    }
    unwatch(start, length);
    watch(moved, grown);
    return moved;
#else
    (void)start, (void)length, (void)grown;
    return nullptr;
#endif
}

void dropMapping(void *start, size_t length) {
#ifdef VRD_MAPPINGS
    unwatch(start, length);
    munmap(start, length);
#else
    (void)start, (void)length;
#endif
}

void refuseMappings(long n) { refusals = n > 0 ? n : 0; }

}  // namespace vrd
