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

// Copies k's free list, `length` blocks, into the mirror.
void mirrorWholeList(const KeyRecord &k, uint32_t length) {
    vrd::FreeBlock *blocks = vrd::mirrorFreeList(k, k.slabSlots, length);
    if (blocks == nullptr) return;
    int32_t block = k.slabFree;
    for (uint32_t i = 0; i < length; ++i) {
        FreeHeader h = headerAt(k, block);
        blocks[i] = {block, h.length};
        block = h.next;
    }
}

// A walk longer than this builds the key's mirror (freemirror.cpp) for the
// next allocation; shorter lists are walked, their few slots cost little.
constexpr uint32_t kMirrorFrom = 16;

// Where a block sits on the free list: its place in list order, the block
// before it (kNoBlock for the first) and its header.
struct Place {
    uint32_t at;
    int32_t previous;
    int32_t block;
    FreeHeader header;
};

// The first block of the list that `fits`, from the mirror when the key has
// one, else by walking the list (and mirroring a long one for next time).
template <typename Fits>
bool findBlock(KeyRecord &k, Fits fits, Place &found) {
    vrd::FreeMirror m = vrd::freeMirrorOf(k, k.slabSlots);
    if (m.blocks != nullptr) {
        for (uint32_t i = 0; i < m.count; ++i) {
            if (!fits(m.blocks[i].block, m.blocks[i].length)) continue;
            found = Place{i, i == 0 ? kNoBlock : m.blocks[i - 1].block, m.blocks[i].block, {}};
            found.header = headerAt(k, found.block);
            return true;
        }
        return false;
    }
    uint32_t at = 0;
    int32_t previous = kNoBlock;
    for (int32_t block = k.slabFree; block != kNoBlock; ++at) {
        FreeHeader h = headerAt(k, block);
        if (fits(block, h.length)) {
            found = Place{at, previous, block, h};
            return true;
        }
        previous = block;
        block = h.next;
    }
    if (at > kMirrorFrom) mirrorWholeList(k, at);
    return false;
}

// First fit over the free list: a block of exactly n is taken whole, a block
// of n + 2 or more gives its last n slots (its head stays listed and keeps at
// least two slots); a block of n + 1 would leave a one-slot remnant and is
// passed over.  kNoBlock when nothing fits.
int32_t takeFromFreeList(KeyRecord &k, int32_t n) {
    Place p;
    auto fits = [n](int32_t, int32_t length) {
        return length == n || static_cast<int64_t>(length) >= static_cast<int64_t>(n) + 2;
    };
    if (!findBlock(k, fits, p)) return kNoBlock;
    bool mirrored = vrd::freeMirrorOf(k, k.slabSlots).blocks != nullptr;
    if (p.header.length == n) {
        relink(k, p.previous, p.header.next);
        if (mirrored) vrd::mirrorErase(p.at);
        return p.block;
    }
    p.header.length -= n;
    writeHeader(k, p.block, p.header);
    if (mirrored) vrd::mirrorSet(p.at, {p.block, p.header.length});
    return p.block + p.header.length;
}

// A run at the high-water mark; the array grows by max(n, 1020) slots once
// the mark reaches its capacity.  Nothing changes when the growth fails.
int32_t takeFromTop(KeyRecord &k, int32_t n) {
    int64_t used = static_cast<int64_t>(k.slabUsed) + n;
    if (used >= k.slabCapacity) {
        int64_t capacity = static_cast<int64_t>(k.slabCapacity) + (n > kSlabStep ? n : kSlabStep);
        const VRDentity *old = k.slabSlots;
        // Slot indexes are signed 32-bit: a slab never grows past them.
        if (capacity > INT32_MAX ||
            !vrd::growBlock(k.slabSlots, static_cast<size_t>(capacity) * sizeof(VRDentity))) {
            vrd::report("getElist", VRD_E_NOMEM);
            return kNoBlock;
        }
        vrd::slabMoved(k, old, k.slabSlots);
        k.slabCapacity = static_cast<int32_t>(capacity);
    }
    int32_t start = k.slabUsed;
    k.slabUsed = static_cast<int32_t>(used);
    return start;
}

// Joins a freed run to the first listed block it touches; one join only, so
// a run between two free blocks leaves them separate.  False when none touches.
bool joinNeighbour(KeyRecord &k, int32_t start, int32_t n) {
    Place p;
    auto touches = [start, n](int32_t block, int32_t length) { return block + length == start || start + n == block; };
    if (!findBlock(k, touches, p)) return false;
    bool mirrored = vrd::freeMirrorOf(k, k.slabSlots).blocks != nullptr;
    if (p.block + p.header.length == start) {
        p.header.length += n;
        writeHeader(k, p.block, p.header);
        if (mirrored) vrd::mirrorSet(p.at, {p.block, p.header.length});
    } else {
        writeHeader(k, start, FreeHeader{p.header.next, p.header.length + n});
        relink(k, p.previous, start);
        if (mirrored) vrd::mirrorSet(p.at, {start, p.header.length + n});
    }
    return true;
}

// Appends a new block at the end of the free list: blocks keep the order in
// which they were first freed.
void appendBlock(KeyRecord &k, int32_t start, int32_t n) {
    writeHeader(k, start, FreeHeader{kNoBlock, n});
    vrd::FreeMirror m = vrd::freeMirrorOf(k, k.slabSlots);
    if (m.blocks != nullptr) {
        relink(k, m.count == 0 ? kNoBlock : m.blocks[m.count - 1].block, start);
        vrd::mirrorAppend({start, n});
        return;
    }
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
    forgetFreeMirror(k.slabSlots);
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
