// slab.cpp - a key's entity slab: runs of slots for lists of two or more entities, first fit.
#include "forms/slab.h"

namespace {
constexpr int32_t kSlabStep = 1020;  // the least growth, so a slab is rarely reallocated
constexpr int32_t kNoBlock = -1;

// A free block keeps its list link and its length in its first slot.
struct FreeHeader {
    int32_t next;
    int32_t length;
};
static_assert(sizeof(FreeHeader) == sizeof(VRDentity), "a free header fills one slot");

FreeHeader headerAt(const KeyRecord &k, int32_t block) {
    FreeHeader h;
    std::memcpy(&h, &k.slabSlots[block], sizeof h);
    return h;
}

// Every header write: logged while appends to the key wait, so that their
// copy, when it comes, leaves the header as the eager order would.
void writeHeader(KeyRecord &k, int32_t block, FreeHeader h) {
    std::memcpy(&k.slabSlots[block], &h, sizeof h);
    if (k.slabDeferral != 0) vrd::noteHeader(k, block, k.slabSlots[block]);
}

// The link that names `block`: slabFree for the first block, else the
// previous block's next.
void relink(KeyRecord &k, int32_t previous, int32_t block) {
    if (previous == kNoBlock) {
        k.slabFree = block;
    } else {
        FreeHeader h = headerAt(k, previous);
        h.next = block;
        writeHeader(k, previous, h);
    }
}

// First fit over the free list: a block of exactly n is taken whole, a block
// of n + 2 or more gives its last n slots (its head stays listed and keeps at
// least two slots); a block of n + 1 would leave a one-slot remnant and is
// passed over.  kNoBlock when nothing fits.
int32_t takeFromFreeList(KeyRecord &k, int32_t n) {
    int32_t previous = kNoBlock;
    for (int32_t block = k.slabFree; block != kNoBlock;) {
        FreeHeader h = headerAt(k, block);
        if (h.length == n) {
            relink(k, previous, h.next);
            return block;
        }
        if (static_cast<int64_t>(h.length) >= static_cast<int64_t>(n) + 2) {
            h.length -= n;
            writeHeader(k, block, h);
            return block + h.length;
        }
        previous = block;
        block = h.next;
    }
    return kNoBlock;
}

// A run at the high-water mark; the array grows by max(n, 1020) slots once
// the mark reaches its capacity.  Nothing changes when the growth fails.
int32_t takeFromTop(KeyRecord &k, int32_t n) {
    int64_t used = static_cast<int64_t>(k.slabUsed) + n;
    if (used >= k.slabCapacity) {
        int64_t capacity = static_cast<int64_t>(k.slabCapacity) + (n > kSlabStep ? n : kSlabStep);
        // Slot indexes are signed 32-bit: a slab never grows past them.
        if (capacity > INT32_MAX ||
            !vrd::growBlock(k.slabSlots, static_cast<size_t>(capacity) * sizeof(VRDentity))) {
            vrd::report("getElist", VRD_E_NOMEM);
            return kNoBlock;
        }
        k.slabCapacity = static_cast<int32_t>(capacity);
    }
    int32_t start = k.slabUsed;
    k.slabUsed = static_cast<int32_t>(used);
    return start;
}

// Joins a freed run to the first listed block it touches; one join only, so
// a run between two free blocks leaves them separate.  False when none touches.
bool joinNeighbour(KeyRecord &k, int32_t start, int32_t n) {
    int32_t previous = kNoBlock;
    for (int32_t block = k.slabFree; block != kNoBlock;) {
        FreeHeader h = headerAt(k, block);
        if (block + h.length == start) {
            h.length += n;
            writeHeader(k, block, h);
            return true;
        }
        if (start + n == block) {
            writeHeader(k, start, FreeHeader{h.next, h.length + n});
            relink(k, previous, start);
            return true;
        }
        previous = block;
        block = h.next;
    }
    return false;
}

// Appends a new block at the end of the free list: blocks keep the order in
// which they were first freed.
void appendBlock(KeyRecord &k, int32_t start, int32_t n) {
    writeHeader(k, start, FreeHeader{kNoBlock, n});
    int32_t last = kNoBlock;
    for (int32_t block = k.slabFree; block != kNoBlock; block = headerAt(k, block).next) last = block;
    relink(k, last, start);
}
}  // namespace

namespace vrd {

int32_t takeRun(KeyRecord &k, uint32_t n) {
    // Runs are at least two slots, so every free block can hold its header.
    if (n < 2 || n > INT32_MAX) {
        if (checkMode || n > INT32_MAX) report("getElist", n < 2 ? VRD_E_BADLENGTH : VRD_E_NOMEM);
        return kNoBlock;
    }
    int32_t length = static_cast<int32_t>(n);
    int32_t start = takeFromFreeList(k, length);
    return start != kNoBlock ? start : takeFromTop(k, length);
}

int giveRun(KeyRecord &k, int start, int n) {
    // Unchecked, a bad run is still refused: it would corrupt the slab.
    if (n < 2 || start < 0 || static_cast<int64_t>(start) + n > k.slabUsed) {
        if (checkMode) report("freeElist", VRD_E_BADLENGTH);
        return 1;
    }
    if (start + n == k.slabUsed) {
        k.slabUsed = start;  // free blocks just below stay listed, unjoined
        return 0;
    }
    if (!joinNeighbour(k, start, n)) appendBlock(k, start, n);
    return 0;
}

void releaseSlab(KeyRecord &k) {
    discardDeferral(k);  // what waits goes with the slab, uncopied
    freeMem(k.slabSlots);
    k.slabSlots = nullptr;
}

}  // namespace vrd

extern "C" {

int getElist(KeyRecord *key, uint32_t n) {
    vrd::slabOf(*key);  // the slab's bookkeeping runs on settled slots
    return vrd::takeRun(*key, n);
}

int freeElist(KeyRecord *key, int start, int n) {
    vrd::slabOf(*key);
    return vrd::giveRun(*key, start, n);
}

}  // extern "C"
