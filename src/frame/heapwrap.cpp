// heapwrap.cpp - the memory layer over the C allocator: counted blocks with room to grow, uncounted index blocks.
#include "vrd/heapwrap.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

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

// Every counted block starts with a header: the bytes last asked for and
// the bytes the block can hold.  The header keeps the caller's bytes at the
// allocator's alignment.
struct alignas(std::max_align_t) Header {
    size_t size;
    size_t capacity;
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

// A fresh block of `size` bytes (zeroed when asked), null when the
// allocator has none.  A zero-byte request still gets a real block, with a
// byte behind its header, so the caller's pointer lies inside it (a leak
// checker follows pointers into a block, not past its end).
void *newBlock(size_t size, bool zeroed) {
    if (size > kLargest - 1) return nullptr;
    size_t bytes = kHeaderBytes + (size != 0 ? size : 1);
    auto *h = static_cast<Header *>(zeroed ? std::calloc(1, bytes) : std::malloc(bytes));
    if (h == nullptr) return nullptr;
    h->size = h->capacity = size;
    return bytesOf(h);
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
    size_t capacity = roomFor(size);
    auto *moved = static_cast<Header *>(std::realloc(h, kHeaderBytes + capacity));
    if (moved == nullptr) {
        setSize(h, h->size);  // the old block exactly as it was
        return nullptr;
    }
    moved->capacity = capacity;
    setSize(moved, size);
    return bytesOf(moved);
}

void VRD_CALL freeMem(void *block) {
    if (block == nullptr) return;
    Header *h = headerOf(block);
    showAll(h);
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
