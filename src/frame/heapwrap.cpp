// heapwrap.cpp - the memory layer over the C allocator, with a failure hook for tests.
#include "vrd/heapwrap.h"

#include <cstdlib>

namespace {
long allocCalls = 0;  // allocation calls made so far
long failAt = 0;      // the call number that fails, 0 when disarmed

// Counts one allocation call; true when this is the call armed to fail.
bool failThisCall() {
    ++allocCalls;
    if (failAt != 0 && allocCalls == failAt) {
        failAt = 0;
        return true;
    }
    return false;
}
}  // namespace

extern "C" {

// A zero-byte request still gets a real block, so null always means failure.
void *VRD_CALL mallocMem(size_t size) { return failThisCall() ? nullptr : std::malloc(size ? size : 1); }

void *VRD_CALL callocMem(size_t count, size_t size) {
    if (failThisCall()) return nullptr;
    return count == 0 || size == 0 ? std::calloc(1, 1) : std::calloc(count, size);
}

void *VRD_CALL reallocMem(void *block, size_t size) {
    return failThisCall() ? nullptr : std::realloc(block, size ? size : 1);
}

void VRD_CALL freeMem(void *block) { std::free(block); }

void VRD_CALL heapwrapFailNth(long n) { failAt = n > 0 ? allocCalls + n : 0; }

long VRD_CALL heapwrapCalls(void) { return allocCalls; }

}  // extern "C"
