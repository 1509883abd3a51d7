// slab.h - the slab's inner interface: run bookkeeping without settling, and appends whose copying waits.
#ifndef VRD_FORMS_SLAB_H
#define VRD_FORMS_SLAB_H

#include "forms/forms.h"

namespace vrd {

// ---- slab.cpp: the free list, first fit ----
// What getElist and freeElist do once the slab is settled, with the same
// reports; a header written on the free list while appends wait is logged
// (noteHeader) so that the later copy leaves it in place.
int32_t takeRun(KeyRecord &k, uint32_t n);
int giveRun(KeyRecord &k, int start, int n);

// ---- freemirror.cpp: the free list as a packed array ----
// A free block as the list names it: its first slot and its length.
struct FreeBlock {
    int32_t block;
    int32_t length;
};
// The mirror of the free list of k, whose slab is at `slab`, in list order,
// or {nullptr, 0} when k has none (never on plain paths).  Valid until the
// next edit of any mirror.
struct FreeMirror {
    FreeBlock *blocks;
    uint32_t count;
};
FreeMirror freeMirrorOf(const KeyRecord &k, const VRDentity *slab);
// Makes a mirror of `length` blocks for k (any other key's is dropped) and
// returns it for the caller to fill with k's whole free list, in order;
// null without index memory (or on plain paths): then there is no mirror.
FreeBlock *mirrorFreeList(const KeyRecord &k, const VRDentity *slab, uint32_t length);
// Edits of the mirror freeMirrorOf returned, made in step with the list.
void mirrorErase(uint32_t at);
void mirrorSet(uint32_t at, FreeBlock b);
void mirrorAppend(FreeBlock b);
// k's slab moved from `old` to `now` (a growth), or the slab at `slab` is
// about to be released: the mirror follows or goes.
void slabMoved(const KeyRecord &k, const VRDentity *old, const VRDentity *now);
void forgetFreeMirror(const VRDentity *slab);

// ---- slabdefer.cpp: deferred appends ----
// A run of appends to one form of a key costs, done eagerly, a copy of the
// whole list per append.  Instead, while appends to that form follow each
// other with nothing else reaching the key's slab, each append does the
// slab's bookkeeping at once (takeRun and giveRun, in the eager order, so
// free list, headers, slabUsed, capacity and reallocations come out the
// same) and logs what the eager copy would have written; the form's list
// is kept whole beside the slab.  The first access to the key's slab
// through getElist, freeElist or slabOf settles: every slot gets the last
// value the eager writes would have left in it, written once.
//
// Appends n entities at `position` of form `formIndex` of the key, whose
// record `f` holds its list, as VRDformAddEntities does: 0 done, 1 failed
// (reported by getElist, the form unchanged), -1 not taken (an insert, a
// short list, plain paths, or no index memory): the caller appends eagerly.
int appendDeferred(KeyRecord &k, FormRecord &f, uint32_t formIndex, uint32_t position, const VRDentity *entities,
                   uint32_t n);
// Logs a free-list header written at `slot` while appends wait.
void noteHeader(KeyRecord &k, int32_t slot, VRDentity header);
// Forgets what waits, uncopied: for a slab about to be released.
void discardDeferral(KeyRecord &k);

}  // namespace vrd

#endif  // VRD_FORMS_SLAB_H
