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

/* Counted blocks.  Every block a store owns (pool arrays, key tables, form
   arrays, slabs, scratch buffers) comes from the first four calls, and every
   call to the first three counts, whether it moves memory or not.

   Room to grow: a block that reallocMem has to move is given room for half
   as much again as was asked.  A later reallocMem that fits that room
   returns the same block at once, without copying; it still counts as a
   call and can still be made to fail by heapwrapFailNth.  So an array grown
   by small fixed steps is copied a bounded number of times in all, while
   the library's requests (sizes, order, number) stay exactly as they are. */

/** A block of at least `size` bytes, or null when memory is short. */
void *VRD_CALL mallocMem(size_t size);
/** A zero-filled block of count x size bytes, or null. */
void *VRD_CALL callocMem(size_t count, size_t size);
/** Resizes `block` (never null); on failure returns null and the old block
    stays valid and unchanged. */
void *VRD_CALL reallocMem(void *block, size_t size);
/** Releases a block from the three calls above; null is ignored. */
void VRD_CALL freeMem(void *block);
/** Test hook: the n-th counted call from now (1 = the next) returns null;
    0 disarms.  The failure happens once. */
void VRD_CALL heapwrapFailNth(long n);
/** Counted calls (malloc, calloc, realloc) made so far. */
long VRD_CALL heapwrapCalls(void);

/* Index blocks.  The lookup indexes that the library keeps beside its pools
   and slabs (hash tables, deferred-copy logs, sort scratch) take their
   memory here, outside the counted calls: an index never shifts the n-th
   counted call that a host or a test aims at, and heapwrapFailNth never
   reaches it.  These calls fail when memory is short, or when armed by
   heapwrapFailIndexNth; the library then drops the index and answers by the
   plain walk of the pool, so a failure here changes no result and is never
   reported.  Index blocks are released with their store. */

/** A block of at least `size` bytes for an index, or null. */
void *VRD_CALL mallocIndexMem(size_t size);
/** Releases a block from mallocIndexMem; null is ignored. */
void VRD_CALL freeIndexMem(void *block);
/** Test hook: the n-th mallocIndexMem call from now (1 = the next) returns
    null; 0 disarms.  The failure happens once. */
void VRD_CALL heapwrapFailIndexNth(long n);
/** mallocIndexMem calls made so far. */
long VRD_CALL heapwrapIndexCalls(void);

#if defined(__GNUC__)
#pragma GCC visibility pop
#endif

#ifdef __cplusplus
}
#endif

#endif /* VRD_HEAPWRAP_H */
