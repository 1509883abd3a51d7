/** @file heapwrap.h
    @brief The memory layer every block of the library comes from. */
#ifndef VRD_HEAPWRAP_H
#define VRD_HEAPWRAP_H

#include <stddef.h>
#include "vrd.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The declarations below stay visible to the linker even when the library is
   built with hidden visibility: the complete shared library exports them,
   while libvrd.so keeps them local through its export list. */
#if defined(__GNUC__)
#pragma GCC visibility push(default)
#endif

/** A block of at least `size` bytes, or null when memory is short. */
void *VRD_CALL mallocMem(size_t size);
/** A zero-filled block of count x size bytes, or null. */
void *VRD_CALL callocMem(size_t count, size_t size);
/** Resizes `block` (never null); on failure returns null and the old block
    stays valid and unchanged. */
void *VRD_CALL reallocMem(void *block, size_t size);
/** Releases a block from the three calls above; null is ignored. */
void VRD_CALL freeMem(void *block);
/** Test hook: the n-th allocation call from now (1 = the next) returns null;
    0 disarms.  The failure happens once. */
void VRD_CALL heapwrapFailNth(long n);
/** Allocation calls (malloc, calloc, realloc) made so far. */
long VRD_CALL heapwrapCalls(void);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* VRD_HEAPWRAP_H */
