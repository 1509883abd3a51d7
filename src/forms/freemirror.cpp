// freemirror.cpp - a packed copy of one key's free list, so that first fit reads contiguous memory.
#include "forms/slab.h"

namespace vrd {
namespace {

// The free list lives in the slab: each block's header names the next, so a
// first-fit walk touches one scattered slot per block.  A key that frees
// many runs (a form whose list grows 50 entities at a time leaves a block
// behind at every step) makes that walk a cache miss per block per
// allocation.  The mirror holds the same blocks in list order as a packed
// array; slab.cpp edits it in step with every header it writes, and it is
// dropped whenever it cannot be kept exact, so the list in the slab stays
// the truth and the mirror only ever answers what a walk would.
//
// One mirror per process, for the key that needed it last.  It is named by
// the key record's address and its slab's address together (the address
// only: the slots are never read here): a slab block
// belongs to one live key at a time, and every release or move of a slab
// passes through forgetFreeMirror or slabMoved, so the pair never names a
// stale list.
struct Mirror {
    const KeyRecord *key;
    const VRDentity *slots;
    FreeBlock *blocks;
    uint32_t count, capacity;
};
Mirror mirror{};

// Grows the array by half again (at least 64 entries), so each entry is
// copied a bounded number of times.
bool reserveBlocks(uint64_t need) {
    if (need <= mirror.capacity) return true;
    uint64_t grown = need > uint64_t{mirror.capacity} * 3 / 2 ? need : uint64_t{mirror.capacity} * 3 / 2;
    if (grown < 64) grown = 64;
    if (grown > UINT32_MAX / sizeof(FreeBlock)) return false;
    auto *more = static_cast<FreeBlock *>(mallocIndexMem(grown * sizeof(FreeBlock)));
    if (more == nullptr) return false;
    if (mirror.count != 0) std::memcpy(more, mirror.blocks, mirror.count * sizeof(FreeBlock));
    freeIndexMem(mirror.blocks);
    mirror.blocks = more;
    mirror.capacity = static_cast<uint32_t>(grown);
    return true;
}

void dropMirror() {
    freeIndexMem(mirror.blocks);
    mirror = Mirror{};
}

}  // namespace

FreeMirror freeMirrorOf(const KeyRecord &k, const VRDentity *slab) {
    if (usePlainPaths || mirror.key != &k || mirror.slots != slab || slab == nullptr) return {};
    return FreeMirror{mirror.blocks, mirror.count};
}

FreeBlock *mirrorFreeList(const KeyRecord &k, const VRDentity *slab, uint32_t length) {
    if (usePlainPaths) return nullptr;
    mirror.count = 0;
    if (!reserveBlocks(length)) {
        dropMirror();
        return nullptr;
    }
    mirror.key = &k;
    mirror.slots = slab;
    mirror.count = length;
    return mirror.blocks;
}

void mirrorErase(uint32_t at) {
    std::memmove(mirror.blocks + at, mirror.blocks + at + 1, (mirror.count - at - 1) * sizeof(FreeBlock));
    --mirror.count;
}

void mirrorSet(uint32_t at, FreeBlock b) { mirror.blocks[at] = b; }

void mirrorAppend(FreeBlock b) {
    if (!reserveBlocks(uint64_t{mirror.count} + 1)) {
        dropMirror();  // the walk answers from now on
        return;
    }
    mirror.blocks[mirror.count++] = b;
}

void slabMoved(const KeyRecord &k, const VRDentity *old, const VRDentity *now) {
    if (mirror.slots != old) return;
    if (mirror.key == &k)
        mirror.slots = now;
    else
        dropMirror();
}

void forgetFreeMirror(const VRDentity *slab) {
    if (mirror.slots != nullptr && mirror.slots == slab) dropMirror();
}

}  // namespace vrd
