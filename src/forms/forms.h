// forms.h - key records, form records, and the form-table and slab helpers.
#ifndef VRD_FORMS_H
#define VRD_FORMS_H

#include "frame/frame.h"

// Form record: seven 32-bit words, 28 bytes, as the binary file stores it.
struct FormRecord {
    VRDentity owner;         // null entity when the form has no owner
    VRDentity propertyList;  // form entity of its "PLIST" form, or null
    uint32_t flagsCount;     // bits 0-7 flags, bits 8-31 entity count
    uint32_t data[2];        // count 1: the entity; count >= 2: data[0] = first
                             // slab slot; killed: data[0] = next killed form
};
static_assert(sizeof(FormRecord) == 28, "form record is seven words");

// Key record: nine words in the 32-bit layout; the two pointer words are
// 64-bit here and written to the binary file as 0/1 markers.
struct KeyRecord {
    FormRecord *formRecords;   // formCapacity records, null until the first form
    uint32_t formCapacity;
    uint32_t formCount;        // never decreases: killed forms keep their index
    int32_t freeForms;         // most recently killed form, -1 none
    uint32_t reuseFreedForms;  // non-zero: creation takes freeForms first
    VRDentity *slabSlots;      // the key's entity slab, 8-byte slots
    int32_t slabCapacity;
    int32_t slabUsed;          // high-water mark
    int32_t slabFree;          // first free block, -1 none
};

namespace vrd {

constexpr uint32_t kFlagKilled = 0x01;
constexpr uint32_t kFlagHoldsForms = 0x02;
constexpr uint32_t kMaxEntities = 0xFFFFFF;

inline uint32_t entityCount(const FormRecord &f) { return f.flagsCount >> 8; }
inline void setEntityCount(FormRecord &f, uint32_t n) { f.flagsCount = (f.flagsCount & 0xFFu) | (n << 8); }
inline bool isKilled(const FormRecord &f) { return (f.flagsCount & kFlagKilled) != 0; }
inline bool holdsForms(const FormRecord &f) { return (f.flagsCount & kFlagHoldsForms) != 0; }

// The entities of a live list, wherever they are kept (inline or slab run).
inline VRDentity *listOf(KeyRecord &k, FormRecord &f) {
    return entityCount(f) == 1 ? reinterpret_cast<VRDentity *>(f.data) : k.slabSlots + f.data[0];
}

// Resolves a form entity of store s to its records.  With check mode on an
// unresolvable entity reports -9 under `routine`; with it off it is refused
// silently, so no index ever reaches past keyCount or formCount.
bool resolveForm(VRDstore *s, VRDentity form, const char *routine, KeyRecord **key, FormRecord **record);

// Turns form `index` of `key` into a killed record at the head of the key's
// freeForms chain: owner and property list null, no entities, killed set,
// holdsForms cleared, bits 2-7 kept.  Any slab run must already be freed;
// reuseFreedForms is left to the caller.
void releaseRecord(KeyRecord &key, uint32_t index);

}  // namespace vrd

extern "C" {
// Resolves a form entity to its records; 0, or 1 after -9 under "formptr".
int formptr(VRDentity form, KeyRecord **key, FormRecord **record);
// Reserves a run of n slots in the key's slab; its first slot, or -1 (reported).
int getElist(KeyRecord *key, uint32_t n);
// Gives a run back to the key's slab; 0, or 1 (reported).
int freeElist(KeyRecord *key, int start, int n);
}

#endif  // VRD_FORMS_H
