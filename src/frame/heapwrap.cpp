// heapwrap.cpp - the memory layer over the C allocator: counted blocks with room to grow, uncounted index blocks.
#include "vrd/heapwrap.h"

#include "frame/mapped.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define VRD_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VRD_ASAN 1
#endif
#endif
#ifdef VRD_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace {

// A failure hook: counts calls, and fails the one it is armed for, once.
struct FailHook {
    long calls = 0;   // calls made so far
    long failAt = 0;  // the call number that fails, 0 when disarmed

    bool failThisCall() {
        ++calls;
        if (failAt != 0 && calls == failAt) {
            failAt = 0;
            return true;
        }
        return false;
    }
    void arm(long n) { failAt = n > 0 ? calls + n : 0; }
};

FailHook counted;  // mallocMem, callocMem, reallocMem
FailHook indexes;  // mallocIndexMem

// Every counted block starts with a header: the bytes last asked for, the
// bytes the block can hold, and the length of the block's own mapping
// (mapped.h) or 0 when the C allocator holds it.  The header keeps the
// caller's bytes at the allocator's alignment.  Invariant: a mapped block's
// capacity is its mapping's length less the header.
struct alignas(std::max_align_t) Header {
    size_t size;
    size_t capacity;
    size_t mapped;
};
constexpr size_t kHeaderBytes = sizeof(Header);
constexpr size_t kLargest = SIZE_MAX - kHeaderBytes;

// The growth rule of the spare room, stated once: a block that reallocMem
// must move is given room for half as much again as was asked, so a block
// grown by small fixed steps moves O(log) times and its bytes are copied a
// bounded number of times in all.  mallocMem and callocMem give no spare.
size_t roomFor(size_t size) { return size > kLargest / 3 * 2 ? kLargest : size + size / 2; }

Header *headerOf(void *block) { return reinterpret_cast<Header *>(static_cast<unsigned char *>(block) - kHeaderBytes); }
void *bytesOf(Header *h) { return reinterpret_cast<unsigned char *>(h) + kHeaderBytes; }

// Under AddressSanitizer the spare room behind the asked size is poisoned,
// so an overrun of a block is caught as if the block had exactly that size.
void setSize(Header *h, size_t size) {
    h->size = size;
#ifdef VRD_ASAN
    ASAN_POISON_MEMORY_REGION(static_cast<unsigned char *>(bytesOf(h)) + size, h->capacity - size);
#endif
}
void showAll(Header *h) {
#ifdef VRD_ASAN
    ASAN_UNPOISON_MEMORY_REGION(bytesOf(h), h->capacity);
#else
    (void)h;
#endif
}

// A block of `bytes` (header included) in a mapping of its own, when it is
// that large and a mapping is to be had; its capacity fills the mapping.
Header *mapBlock(size_t bytes) {
    if (bytes < vrd::kMapFrom || !vrd::mappingAvailable()) return nullptr;
    size_t length = vrd::mappingLength(bytes);
    void *start = length != 0 ? vrd::newMapping(length) : nullptr;
    if (start == nullptr) return nullptr;
    auto *h = static_cast<Header *>(start);
    h->mapped = length;
    h->capacity = length - kHeaderBytes;
    return h;
}

// A fresh block of `size` bytes (zeroed when asked), null when the
// allocator has none.  A zero-byte request still gets a real block, with a
// byte behind its header, so the caller's pointer lies inside it (a leak
// checker follows pointers into a block, not past its end).
void *newBlock(size_t size, bool zeroed) {
    if (size > kLargest - 1) return nullptr;
    size_t bytes = kHeaderBytes + (size != 0 ? size : 1);
    Header *h = mapBlock(bytes);  // fresh mappings are zero-filled
    if (h != nullptr) {
        setSize(h, size);
        return bytesOf(h);
    }
    h = static_cast<Header *>(zeroed ? std::calloc(1, bytes) : std::malloc(bytes));
    if (h == nullptr) return nullptr;
    h->size = h->capacity = size;
    h->mapped = 0;
    return bytesOf(h);
}

// Moves a block to `capacity` bytes of room, its header and first `keep`
// bytes kept: a mapping grows by remapping, a block that reaches kMapFrom
// is copied once into a mapping, the rest goes through the C allocator.  A
// refused mapping falls back on the C allocator; null only when that fails
// too, and the old block is then as it was.
Header *moveBlock(Header *h, size_t capacity, size_t keep) {
    size_t bytes = kHeaderBytes + capacity;
    if (h->mapped != 0) {
        size_t length = vrd::mappingLength(bytes);
        void *grown = length != 0 ? vrd::growMapping(h, h->mapped, length) : nullptr;
        if (grown != nullptr) {
            auto *g = static_cast<Header *>(grown);
            g->mapped = length;
            g->capacity = length - kHeaderBytes;
            return g;
        }
        auto *plain = static_cast<Header *>(std::malloc(bytes));
        if (plain == nullptr) return nullptr;
        std::memcpy(plain, h, kHeaderBytes + keep);
        vrd::dropMapping(h, h->mapped);
        plain->mapped = 0;
        plain->capacity = capacity;
        return plain;
    }
    if (Header *m = mapBlock(bytes)) {
        std::memcpy(bytesOf(m), bytesOf(h), keep);
        std::free(h);
        return m;
    }
    auto *moved = static_cast<Header *>(std::realloc(h, bytes));
    if (moved != nullptr) moved->capacity = capacity;
    return moved;
}

}  // namespace

extern "C" {

void *VRD_CALL mallocMem(size_t size) { return counted.failThisCall() ? nullptr : newBlock(size, false); }

void *VRD_CALL callocMem(size_t count, size_t size) {
    if (counted.failThisCall()) return nullptr;
    if (size != 0 && count > kLargest / size) return nullptr;
    return newBlock(count * size, true);
}

void *VRD_CALL reallocMem(void *block, size_t size) {
    if (counted.failThisCall() || size > kLargest) return nullptr;
    Header *h = headerOf(block);
    showAll(h);
    if (size <= h->capacity) {  // fits the room the block has: it stays where it is
        setSize(h, size);
        return block;
    }
    Header *moved = moveBlock(h, roomFor(size), h->size);
    if (moved == nullptr) {
        setSize(h, h->size);  // the old block exactly as it was
        return nullptr;
    }
    showAll(moved);  // a grown mapping's new pages may carry old marks
    setSize(moved, size);
    return bytesOf(moved);
}

void VRD_CALL freeMem(void *block) {
    if (block == nullptr) return;
    Header *h = headerOf(block);
    showAll(h);
    if (h->mapped != 0)
        vrd::dropMapping(h, h->mapped);
    else
        std::free(h);
}

void VRD_CALL heapwrapFailNth(long n) { counted.arm(n); }

long VRD_CALL heapwrapCalls(void) { return counted.calls; }

void *VRD_CALL mallocIndexMem(size_t size) {
    if (indexes.failThisCall()) return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

void VRD_CALL freeIndexMem(void *block) { std::free(block); }

void VRD_CALL heapwrapFailIndexNth(long n) { indexes.arm(n); }

long VRD_CALL heapwrapIndexCalls(void) { return indexes.calls; }

}  // extern "C"

bool vrd::blockIsMapped(const void *block) {
    return block != nullptr && headerOf(const_cast<void *>(block))->mapped != 0;
}
