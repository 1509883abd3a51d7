// entities.cpp - a form's entity list: insert, delete, read, replace, search and clear.
#include <cstdint>

#include "forms/slab.h"

namespace {
using vrd::entityCount;

constexpr uint32_t kLast = 0xFFFFFFFFu;  // position -1: append, or the last entity

// Lists move between runs and caller arrays by whole 8-byte entities; the
// ranges may overlap.
void moveEntities(VRDentity *to, const VRDentity *from, size_t n) {
    if (n != 0) std::memmove(to, from, n * sizeof(VRDentity));
}

bool anyForm(const VRDentity *list, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (vrd::isForm(list[i])) return true;
    return false;
}

// The list of a non-empty form; null for an empty one, whose entityData
// means nothing.
VRDentity *entitiesOf(KeyRecord &k, FormRecord &f) { return entityCount(f) == 0 ? nullptr : vrd::listOf(k, f); }

void setHoldsForms(FormRecord &f, bool holds) {
    f.flagsCount = holds ? f.flagsCount | vrd::kFlagHoldsForms : f.flagsCount & ~vrd::kFlagHoldsForms;
}

// The offset of `p` within the key's slab, or -1 when it lies elsewhere.  A
// caller may hand in entities read from this very slab, which getElist can move.
ptrdiff_t slabOffset(const KeyRecord &k, const VRDentity *p) {
    auto at = reinterpret_cast<uintptr_t>(p);
    auto base = reinterpret_cast<uintptr_t>(vrd::slabOf(k));
    if (!vrd::hasSlab(k) || at < base || at >= base + static_cast<uintptr_t>(k.slabCapacity) * sizeof(VRDentity))
        return -1;
    return static_cast<ptrdiff_t>((at - base) / sizeof(VRDentity));
}

// Empties a list that holds one entity or none: no slab space to give back.
void emptyList(FormRecord &f) { f.flagsCount &= vrd::kFlagBits & ~vrd::kFlagHoldsForms; }

// A killed record's link to the next reusable record was overwritten when
// entities were added to it; once its list is empty again it would be read
// as a link.  It ends its key's chain instead, as creation and the binary
// reader take it while it held entities.
void endChainIfKilled(FormRecord &f) {
    if (vrd::isKilled(f) && entityCount(f) == 0) f.entityData[0] = 0xFFFFFFFFu;
}

}  // namespace

extern "C" {

int VRD_CALL VRDformAddEntities(VRDentity form, uint32_t position, uint32_t n, const VRDentity *entities) {
    VRDstore *s = vrd::needStore("VRDformAddEntities");
    if (s == nullptr) return 1;
    if (n == 0) return 0;
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, form, "VRDformAddEntities", &k, &f)) return 1;
    uint32_t c = entityCount(*f);
    if (static_cast<uint64_t>(c) + n > vrd::kMaxEntities) {
        vrd::report("VRDformAddEntities", VRD_E_TOOMANYENTITIES);
        return 1;
    }
    if (c + n == 1) {  // stays inside the record, wherever `position` points
        std::memcpy(f->entityData, entities, sizeof(VRDentity));
        vrd::setEntityCount(*f, 1);
        setHoldsForms(*f, vrd::isForm(entities[0]));
        return 0;
    }
    if (position == kLast) {
        position = c;
    } else if (position > c) {
        if (vrd::checkMode) vrd::report("VRDformAddEntities", VRD_E_BADPOSITION);
        return 1;
    }
    int deferred = vrd::appendDeferred(*k, *f, form.second, position, entities, n);
    if (deferred >= 0) return deferred;
    ptrdiff_t inSlab = slabOffset(*k, entities);
    int r = getElist(k, c + n);
    if (r == -1) return 1;
    if (inSlab >= 0) entities = vrd::slabOf(*k) + inSlab;
    // The new run is fresh: it overlaps neither the old run nor a live list.
    VRDentity *run = vrd::slabOf(*k) + r;
    const VRDentity *old = entitiesOf(*k, *f);
    moveEntities(run, old, position);
    moveEntities(run + position, entities, n);
    moveEntities(run + position + n, old == nullptr ? nullptr : old + position, c - position);
    uint32_t oldStart = f->entityData[0];
    f->entityData[0] = static_cast<uint32_t>(r);
    vrd::setEntityCount(*f, c + n);
    if (!vrd::holdsForms(*f) && anyForm(run + position, n)) setHoldsForms(*f, true);
    if (c >= 2 && freeElist(k, static_cast<int>(oldStart), static_cast<int>(c)) != 0) return 1;
    return 0;
}

int VRD_CALL VRDformDeleteEntities(VRDentity form, uint32_t position, uint32_t n) {
    VRDstore *s = vrd::needStore("VRDformDeleteEntities");
    if (s == nullptr) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, form, "VRDformDeleteEntities", &k, &f)) return 1;
    uint32_t c = entityCount(*f);
    // Positions are 32-bit: on an empty list -1 becomes 0xFFFFFFFF and the
    // range test wraps with it, so "delete the last entity" of an empty list
    // passes the test and deletes nothing.
    if (position == kLast) position = c - 1;
    if (position + n > c && vrd::checkMode) {
        vrd::report("VRDformDeleteEntities", VRD_E_BADPOSITION);
        return 1;
    }
    if (c == 0 || n == 0) return 0;
    if (c == 1) {
        emptyList(*f);
        endChainIfKilled(*f);
        return 0;
    }
    // A range that only the wrap let through is refused like any other, and
    // unchecked ranges are refused rather than read past the run.
    if (static_cast<uint64_t>(position) + n > c) {
        if (vrd::checkMode) vrd::report("VRDformDeleteEntities", VRD_E_BADPOSITION);
        return 1;
    }
    uint32_t m = c - n;
    VRDentity survivors[2];  // where a list of one survivor or none is gathered
    VRDentity *to = survivors;
    int r = -1;
    if (m >= 2) {
        r = getElist(k, m);
        if (r == -1) return 1;
        to = vrd::slabOf(*k) + r;
    }
    const VRDentity *from = vrd::slabOf(*k) + f->entityData[0];
    moveEntities(to, from, position);
    moveEntities(to + position, from + position + n, c - position - n);
    uint32_t oldStart = f->entityData[0];
    vrd::setEntityCount(*f, m);  // holdsForms stays as it was
    if (m >= 2)
        f->entityData[0] = static_cast<uint32_t>(r);
    else if (m == 1)
        std::memcpy(f->entityData, survivors, sizeof(VRDentity));
    endChainIfKilled(*f);
    return freeElist(k, static_cast<int>(oldStart), static_cast<int>(c)) != 0 ? 1 : 0;
}

VRDentity VRD_CALL VRDformGetEntity(VRDentity form, uint32_t position) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformGetEntity") == nullptr || formptr(form, &k, &f) != 0) return vrd::nullEntity();
    uint32_t c = entityCount(*f);
    if (c == 0) return vrd::nullEntity();
    if (position == kLast) position = c - 1;
    return position < c ? vrd::listOf(*k, *f)[position] : vrd::nullEntity();
}

uint32_t VRD_CALL VRDformGetEntities(uint32_t start, uint32_t max, VRDentity form, VRDentity *buffer) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformGetEntities") == nullptr || max == 0 || formptr(form, &k, &f) != 0) return 0;
    uint32_t c = entityCount(*f);
    if (start >= c) return 0;
    uint32_t copied = c - start < max ? c - start : max;
    moveEntities(buffer, vrd::listOf(*k, *f) + start, copied);
    return copied;
}

int VRD_CALL VRDformSetEntity(VRDentity form, uint32_t position, VRDentity value) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformSetEntity") == nullptr || formptr(form, &k, &f) != 0) return 1;
    uint32_t c = entityCount(*f);
    if (position >= c && vrd::checkMode) {
        vrd::report("VRDformSetEntity", VRD_E_BADPOSITION);
        return VRD_E_BADPOSITION;
    }
    // Count and flags unchanged.  A list of one entity or none keeps it in the
    // record, whatever the position; an unchecked position past a run is refused.
    if (c < 2) {
        std::memcpy(f->entityData, &value, sizeof value);
        return 0;
    }
    if (position >= c) return VRD_E_BADPOSITION;
    vrd::slabOf(*k)[f->entityData[0] + position] = value;
    return 0;
}

uint32_t VRD_CALL VRDformEntityCount(VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformEntityCount") == nullptr || formptr(form, &k, &f) != 0) return 0;
    return entityCount(*f);
}

const VRDentity *VRD_CALL VRDformGetPtrEntities(VRDentity form, uint32_t *count) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformGetPtrEntities") == nullptr || !vrd::isForm(form) || formptr(form, &k, &f) != 0)
        return nullptr;
    uint32_t c = entityCount(*f);
    if (count != nullptr) *count = c;
    // An empty form still gives a non-null address; it is not to be read.
    return c >= 2 ? vrd::slabOf(*k) + f->entityData[0] : reinterpret_cast<const VRDentity *>(f->entityData);
}

int32_t VRD_CALL VRDentityGetPosition(VRDentity form, VRDentity value) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDentityGetPosition") == nullptr || formptr(form, &k, &f) != 0) return -1;
    uint32_t c = entityCount(*f);
    const VRDentity *list = entitiesOf(*k, *f);
    for (uint32_t i = 0; i < c; ++i)
        if (vrd::sameEntity(list[i], value)) return static_cast<int32_t>(i);
    return -1;
}

int VRD_CALL VRDformCmpEntity(uint32_t position, uint32_t n, VRDentity form, const VRDentity *set) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformCmpEntity") == nullptr || formptr(form, &k, &f) != 0) return 0;
    uint32_t c = entityCount(*f);
    if (position >= c && vrd::checkMode) {
        vrd::report("VRDformCmpEntity", VRD_E_BADPOSITION);
        return 0;
    }
    // Below two entities the record holds the entity, whatever the position;
    // an unchecked position past a run is never read.
    VRDentity e;
    if (c < 2)
        std::memcpy(&e, f->entityData, sizeof e);
    else if (position < c)
        e = vrd::slabOf(*k)[f->entityData[0] + position];
    else
        return 0;
    for (uint32_t i = 0; i < n; ++i)
        if (vrd::sameEntity(set[i], e)) return 1;
    return 0;
}

int VRD_CALL VRDformAddForm(VRDentity owner, uint32_t position, uint32_t key, const char *keyword, VRDentity *form) {
    if (vrd::needStore("VRDformAddForm") == nullptr) return 1;
    if (VRDformCreate(owner, key, keyword, form) != 0) return 1;
    if (vrd::hasTag(owner) && VRDformAddEntities(owner, position, 1, form) != 0) return 1;
    return 0;
}

int VRD_CALL VRDformAddInt(VRDentity form, uint32_t position, int32_t value, VRDentity *result) {
    if (vrd::needStore("VRDformAddInt") == nullptr) return 1;
    if (VRDintCreate(value, result) != 0) return 1;
    return VRDformAddEntities(form, position, 1, result) != 0 ? 1 : 0;
}

int VRD_CALL VRDformAddReal(uint32_t position, VRDentity *result, VRDentity form, double value) {
    if (vrd::needStore("VRDformAddReal") == nullptr) return 1;
    if (VRDrealCreate(value, result) != 0) return 1;
    return VRDformAddEntities(form, position, 1, result) != 0 ? 1 : 0;
}

int VRD_CALL VRDformAddString(VRDentity form, uint32_t position, const char *text, VRDentity *result) {
    if (vrd::needStore("VRDformAddString") == nullptr) return 1;
    if (VRDstringCreate(text, result) != 0) return 1;
    return VRDformAddEntities(form, position, 1, result) != 0 ? 1 : 0;
}

int32_t VRD_CALL VRDformAddId(VRDentity form, uint32_t position, const char *text, VRDentity *result) {
    if (vrd::needStore("VRDformAddId") == nullptr) return 1;
    if (VRDidCreate(text, result) != 0) return 1;
    return VRDformAddEntities(form, position, 1, result);
}

int32_t VRD_CALL VRDformAddPoint(uint32_t position, VRDentity *result, VRDentity form, int32_t x, int32_t y) {
    if (vrd::needStore("VRDformAddPoint") == nullptr) return 1;
    if (VRDpointCreate(x, y, result) != 0) return 1;
    return VRDformAddEntities(form, position, 1, result) == 0 ? 0 : 1;
}

int VRD_CALL VRDformClear(VRDentity form) {
    VRDstore *s = vrd::needStore("VRDformClear");
    if (s == nullptr) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (!vrd::resolveForm(s, form, "VRDformClear", &k, &f)) return 1;
    // A killed record is empty already, and its entityData links the freeForms chain.
    if (vrd::isKilled(*f)) return 0;
    uint32_t c = entityCount(*f);
    if (c >= 2 && freeElist(k, static_cast<int>(f->entityData[0]), static_cast<int>(c)) != 0) return 1;
    emptyList(*f);
    f->entityData[0] = 0;
    return 0;
}

}  // extern "C"
