// forms.h - the forms area: key records with their form records and slabs, the form resolver, figures, key section.
#ifndef VRD_FORMS_H
#define VRD_FORMS_H

#include "pools/pools.h"

// Form record: seven 32-bit words, 28 bytes, as the binary file stores it.
struct FormRecord {
    VRDentity owner;          // null entity when the form has no owner
    VRDentity propertyList;   // form entity of its "PLIST" form, or null
    uint32_t flagsCount;      // bits 0-7 flags, bits 8-31 entity count
    uint32_t entityData[2];   // count 1: the entity; count >= 2: [0] = first
                              // slab slot; killed: [0] = next killed form
};

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
    // Non-zero: appends to one form of this key wait to be copied into the
    // slab (slab.h); the slots are read only through slabOf.  On a 64-bit
    // build it fills the record's padding, so the key table's requests to
    // the memory layer keep their sizes.
    uint32_t slabDeferral;
};
static_assert(sizeof(void *) != 8 || sizeof(KeyRecord) == 48, "the deferral mark fills the padding");

namespace vrd {

// The forms area's record in a store: the key table's records, one per key
// of the keyword table, which grows them (keywords.h); all-zero is no keys.
struct FormArea {
    KeyRecord *keyRecords;
};

inline FormArea &forms(VRDstore *s) { return areaRecord<FormArea, kFormsArea>(s); }
inline const FormArea &forms(const VRDstore *s) { return areaRecord<FormArea, kFormsArea>(s); }

void releaseForms(VRDstore *s);
// Releases the form data of keys 0 .. count-1: each key with forms owns its
// form array and, when it has one, its slab.  The records themselves stay.
void releaseFormData(KeyRecord *records, uint32_t count);
bool growKeyRecords(VRDstore *s, uint32_t capacity);
void startKeyRecord(VRDstore *s, uint32_t key);
inline const bool formsAttached =
    attachArea(kFormsArea, releaseForms) && attachKeyRecords(KeyRecordHooks{growKeyRecords, startKeyRecord});

constexpr uint32_t kFlagKilled = 0x01;
constexpr uint32_t kFlagHoldsForms = 0x02;
constexpr uint32_t kFlagBits = 0xFFu;          // bits 0-7 of flagsCount
constexpr uint32_t kReservedFlags = 0xFCu;     // bits 2-7: carried, never set
constexpr uint32_t kCountShift = 8;
constexpr uint32_t kCountField = 0xFFFFFF00u;  // bits 8-31 of flagsCount
constexpr uint32_t kMaxEntities = kCountField >> kCountShift;
constexpr int32_t kFormRecordBytes = 28;  // in memory, in the file and in the report
constexpr int32_t kSlotBytes = 8;         // one slab slot: one entity
constexpr size_t kKeyRecordWords = 9;     // a key record in the file
static_assert(sizeof(FormRecord) == kFormRecordBytes, "form record is seven words");
static_assert(sizeof(VRDentity) == kSlotBytes, "a slot holds one entity");

// Puts every deferred write of the key's slab in place (slabdefer.cpp).
void settleSlab(KeyRecord &k);

// The key's slab slots with every deferred write in place: the one way
// code outside the slab's own files reaches a slot.  Settling changes
// nothing a caller can see, so a const record may be settled.
inline VRDentity *slabOf(KeyRecord &k) {
    if (k.slabDeferral != 0) settleSlab(k);
    return k.slabSlots;
}
inline const VRDentity *slabOf(const KeyRecord &k) { return slabOf(const_cast<KeyRecord &>(k)); }
inline bool hasSlab(const KeyRecord &k) { return k.slabSlots != nullptr; }
// Gives a fresh record (one without a slab) the slab block read from a file.
inline void adoptSlab(KeyRecord &k, VRDentity *block) { k.slabSlots = block; }
// Releases the key's slab and whatever waits to be copied into it.
void releaseSlab(KeyRecord &k);

inline uint32_t entityCount(const FormRecord &f) { return f.flagsCount >> kCountShift; }
inline void setEntityCount(FormRecord &f, uint32_t n) {
    f.flagsCount = (f.flagsCount & kFlagBits) | (n << kCountShift);
}
inline bool isKilled(const FormRecord &f) { return (f.flagsCount & kFlagKilled) != 0; }
inline bool holdsForms(const FormRecord &f) { return (f.flagsCount & kFlagHoldsForms) != 0; }

// The entities of a live list, wherever they are kept (inline or slab run).
inline VRDentity *listOf(KeyRecord &k, FormRecord &f) {
    return entityCount(f) == 1 ? reinterpret_cast<VRDentity *>(f.entityData) : slabOf(k) + f.entityData[0];
}

// The record of a key that has a form array; null for any other key.
inline KeyRecord *formsOfKey(const VRDstore *s, uint32_t key) {
    if (s == nullptr || key >= keyCount(s)) return nullptr;
    KeyRecord *k = &forms(s).keyRecords[key];
    return k->formRecords != nullptr ? k : nullptr;
}

// The one resolver of form entities.  False when s is null, the key is not
// below keyCount, the key has no form array or the index is not below
// formCount; then, with a routine name and check mode on, -9 is reported
// under it.  Nothing past the tables is ever read, whatever the mode.
// Inline: searches and walks resolve a form per list entry.
inline bool resolveForm(const VRDstore *s, VRDentity form, const char *routine, KeyRecord **key,
                        FormRecord **record) {
    KeyRecord *k = formsOfKey(s, formKey(form));
    if (k == nullptr || form.second >= k->formCount) {
        if (routine != nullptr && checkMode) report(routine, VRD_E_BADFORM);
        return false;
    }
    *key = k;
    *record = &k->formRecords[form.second];
    return true;
}

// The number of form records of a key, killed ones included; 0 for a key
// without forms or no key at all.
inline uint32_t formCountOf(const VRDstore *s, uint32_t key) {
    const KeyRecord *k = formsOfKey(s, key);
    return k == nullptr ? 0 : k->formCount;
}

// The entities of a resolved record and their number.  A record that is
// killed, empty, or whose run does not lie inside the slab's handed-out
// slots gives 0 entities, so callers may index the list below the count.
inline uint32_t peekList(KeyRecord &key, FormRecord &record, const VRDentity **list) {
    uint32_t count = entityCount(record);
    if (isKilled(record) || count == 0) return 0;
    if (count >= 2 && (!hasSlab(key) || key.slabUsed < 0 ||
                       static_cast<uint64_t>(record.entityData[0]) + count > static_cast<uint64_t>(key.slabUsed)))
        return 0;
    *list = listOf(key, record);
    return count;
}

// Whether new forms of a key take killed records first; false for a key
// without forms.  Read-only, for tests.
inline bool reusesFreedForms(const VRDstore *s, uint32_t key) {
    const KeyRecord *k = formsOfKey(s, key);
    return k != nullptr && k->reuseFreedForms != 0;
}

// The owner of a form, or the null entity when the form does not resolve.
inline VRDentity peekOwner(const VRDstore *s, VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    return resolveForm(s, form, nullptr, &k, &f) ? f->owner : nullEntity();
}

// The free list of a key's slab in list order: block starts and lengths (at
// most max, never more steps than slots); the number of blocks.  For tests.
uint32_t freeBlocks(const KeyRecord &key, int32_t *starts, int32_t *lengths, uint32_t max);
// The property list of a form, or the null entity; read-only, for tests.
VRDentity propertyListOf(const VRDstore *s, VRDentity form);

// True when the form's leading entities match the pattern (n, pattern): a
// prefix test where, for lists of two or more, untagged pattern entities
// are wildcards, and a one-entity list must equal the first pattern entity.
inline bool formMatches(KeyRecord &key, FormRecord &record, uint32_t n, const VRDentity *pattern) {
    if (n == 0) return true;
    const VRDentity *list = nullptr;
    uint32_t count = peekList(key, record, &list);
    if (n > count) return false;
    if (count == 1) return sameEntity(list[0], pattern[0]);
    for (uint32_t j = 0; j < n; ++j)
        if (hasTag(pattern[j]) && !sameEntity(list[j], pattern[j])) return false;
    return true;
}

// The same test on a form entity; an unresolvable form matches only n = 0.
inline bool entityMatches(const VRDstore *s, VRDentity form, uint32_t n, const VRDentity *pattern) {
    if (n == 0) return true;
    KeyRecord *k;
    FormRecord *f;
    return resolveForm(s, form, nullptr, &k, &f) && formMatches(*k, *f, n, pattern);
}

// Turns form `index` of `key` into a killed record at the head of the key's
// freeForms chain: owner and property list null, no entities, killed set,
// holdsForms cleared, bits 2-7 kept.  Any slab run must already be freed;
// reuseFreedForms is left to the caller.
void releaseRecord(KeyRecord &key, uint32_t index);
// Takes form `index` off its key's freeForms chain when it is on it.  The
// chain runs over killed records within the array, at most formCount steps,
// and ends at a killed record that holds entities (adding them overwrote
// its link), as the binary reader reads it.
void unchainRecord(KeyRecord &key, uint32_t index);

// Undoes a form that a routine made and then could not complete: its run
// goes back to the slab and its record onto its key's freeForms chain, as a
// kill leaves it, but the key's reuse switch stays as the caller set it.
// Only for a form the routine made itself (creation took it off the chain),
// once; a form that does not resolve is left alone.
void discardForm(VRDstore *s, VRDentity form);

// The next live form without an owner after (*key, *index) in key and index
// order, starting from (0, 0); the null entity at the end.  Read-only.
VRDentity nextRootForm(const VRDstore *s, uint32_t *key, uint32_t *index);

// The figures of one key's row in the statistics report.
struct KeyFigures {
    bool hasForms;
    uint32_t formsUsed, formsAllocated;
    int32_t slotsUsed, slotsAllocated;
    int64_t freeSlots;  // total length of the blocks on the slab's free list
    int32_t ones, twos, threes, more, largest, total;  // forms by entity count
};
KeyFigures keyFigures(const VRDstore *s, uint32_t key);

// ---- the binary file's key section: keyword parts interleaved with key
// records, then each key's form records and slab ----
struct KeySectionStage {
    KeywordStage keywords;
    uint32_t count = 0;  // records below count are initialised
    KeyRecord *records = nullptr;
    Marks withForms;     // keys whose stored first word was non-zero
};

void writeKeySection(int fd, const VRDstore *s);
Status readKeySection(Source &src, KeySectionStage &stage);
// Hands the staged keys and forms to the store (the stage keeps nothing).
void installKeys(VRDstore *s, KeySectionStage &stage);
// Leaves the store without keys or forms, as a section cut short does.
void emptyKeys(VRDstore *s);
void release(KeySectionStage &stage);

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
