// formtable.cpp - form records per key: resolution, creation with reuse of killed records, owners.
#include "forms/forms.h"

namespace {
constexpr uint32_t kDoublingLimit = 255;  // below: double; from here on: +255
constexpr uint32_t kLinearStep = 255;
constexpr uint32_t kMaxCapacity = 0xFFFFFFFFu;

// Capacities run 1, 2, 4, ..., 256, 511, 766, ...; never past 0xFFFFFFFF.
uint32_t nextFormCapacity(uint32_t capacity) {
    if (capacity == 0) return 1;
    if (capacity < kDoublingLimit) return capacity * 2;
    return capacity > kMaxCapacity - kLinearStep ? kMaxCapacity : capacity + kLinearStep;
}

// An owner with a tag must name a key that already has forms; its form index
// is not looked at.  Tested only in check mode.
bool ownerRejected(const VRDstore *s, VRDentity owner) {
    if (!vrd::checkMode || !vrd::hasTag(owner)) return false;
    return vrd::formsOfKey(s, vrd::formKey(owner)) == nullptr;
}

// Takes a record for a new form: the most recently killed one when reuse is
// on, otherwise the next index, growing the array first.  Returns false after
// reporting; the key record is then unchanged.
bool takeFormIndex(KeyRecord &k, uint32_t *index) {
    if (k.reuseFreedForms != 0 && k.freeForms != -1) {
        uint32_t head = static_cast<uint32_t>(k.freeForms);
        // Entities added to a killed form overwrite its chain link; such a
        // chain ends here, as the binary reader reads it, instead of naming
        // the list's first slot or a record outside the array.
        if (head < k.formCount && vrd::isKilled(k.formRecords[head])) {
            const FormRecord &f = k.formRecords[head];
            auto next = vrd::entityCount(f) == 0 ? static_cast<int32_t>(f.entityData[0]) : -1;
            k.freeForms = next == -1 || static_cast<uint32_t>(next) < k.formCount ? next : -1;
            *index = head;
            return true;
        }
        k.freeForms = -1;
    }
    if (k.formCount == k.formCapacity) {
        if (k.formCapacity == kMaxCapacity) {
            vrd::report("VRDformCreate", VRD_E_TOOMANYFORMS);
            return false;
        }
        uint32_t capacity = nextFormCapacity(k.formCapacity);
        if (!vrd::growBlock(k.formRecords, static_cast<size_t>(capacity) * sizeof(FormRecord))) {
            vrd::report("VRDformCreate", VRD_E_NOMEM);
            return false;
        }
        k.formCapacity = capacity;
    }
    *index = k.formCount++;
    // A fresh record has no history: zero it so that no byte is left undefined.
    k.formRecords[*index] = FormRecord{};
    return true;
}
}  // namespace

namespace vrd {

void releaseRecord(KeyRecord &key, uint32_t index) {
    FormRecord &f = key.formRecords[index];
    f.owner = nullEntity();
    f.propertyList = nullEntity();
    f.flagsCount = (f.flagsCount & kReservedFlags) | kFlagKilled;  // count 0, holdsForms cleared
    f.entityData[0] = static_cast<uint32_t>(key.freeForms);
    key.freeForms = static_cast<int32_t>(index);
}

void unchainRecord(KeyRecord &key, uint32_t index) {
    int32_t previous = -1, at = key.freeForms;
    for (uint32_t steps = 0; at >= 0 && static_cast<uint32_t>(at) < key.formCount && steps < key.formCount; ++steps) {
        FormRecord &f = key.formRecords[at];
        if (!isKilled(f)) return;
        // Entities added to a killed record overwrote its link: the chain ends there.
        int32_t next = entityCount(f) == 0 ? static_cast<int32_t>(f.entityData[0]) : -1;
        if (static_cast<uint32_t>(at) == index) {
            if (previous == -1)
                key.freeForms = next;
            else
                key.formRecords[previous].entityData[0] = static_cast<uint32_t>(next);
            return;
        }
        if (next == -1) return;
        previous = at;
        at = next;
    }
}

void discardForm(VRDstore *s, VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    if (!resolveForm(s, form, nullptr, &k, &f)) return;
    uint32_t c = entityCount(*f);
    // A run the routine took is sound, so giving it back cannot fail.
    if (c >= 2) freeElist(k, static_cast<int>(f->entityData[0]), static_cast<int>(c));
    releaseRecord(*k, form.second);
}

}  // namespace vrd

extern "C" {

int formptr(VRDentity form, KeyRecord **key, FormRecord **record) {
    VRDstore *s = vrd::needStore("formptr");
    if (s == nullptr) return 1;
    return vrd::resolveForm(s, form, "formptr", key, record) ? 0 : 1;
}

int VRD_CALL VRDformCreate(VRDentity owner, uint32_t key, const char *keyword, VRDentity *form) {
    VRDstore *s = vrd::needStore("VRDformCreate");
    if (s == nullptr) return 1;
    if (key == VRD_NO_KEY) {
        if (keyword == nullptr) {
            vrd::report("VRDformCreate", VRD_E_BADFORM);
            return 1;
        }
        if (VRDkeyCreate(keyword, &key) != 0) return 1;
    }
    if (ownerRejected(s, owner)) {
        vrd::report("VRDformCreate", VRD_E_BADFORM);
        return 1;
    }
    // A key that was never made has no record to take a form from.
    if (key >= vrd::keyCount(s)) {
        if (vrd::checkMode) vrd::report("VRDformCreate", VRD_E_BADFORM);
        return 1;
    }
    KeyRecord &k = vrd::forms(s).keyRecords[key];
    uint32_t index;
    if (!takeFormIndex(k, &index)) return 1;
    FormRecord &f = k.formRecords[index];
    f.owner = owner;
    f.propertyList = vrd::nullEntity();
    f.flagsCount &= vrd::kReservedFlags;  // live, empty, holds no forms; bits 2-7 kept
    f.entityData[0] = 0;
    *form = vrd::formEntity(key, index);
    return 0;
}

VRDentity VRD_CALL VRDformGetOwner(VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformGetOwner") == nullptr || formptr(form, &k, &f) != 0) return vrd::nullEntity();
    return f->owner;
}

int VRD_CALL VRDformSetOwner(VRDentity form, VRDentity owner) {
    VRDstore *s = vrd::needStore("VRDformSetOwner");
    if (s == nullptr) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (ownerRejected(s, owner)) {
        vrd::report("VRDformSetOwner", VRD_E_BADFORM);
        return VRD_E_BADFORM;
    }
    if (formptr(form, &k, &f) != 0) {
        // The lookup has reported under its own name; this routine reports too.
        // Unchecked, the refusal stays as silent as the lookup's.
        if (vrd::checkMode) vrd::report("VRDformSetOwner", VRD_E_BADFORM);
        return VRD_E_BADFORM;
    }
    f->owner = owner;
    return 0;
}

int VRD_CALL VRDformIsKilled(VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    if (vrd::needStore("VRDformIsKilled") == nullptr || formptr(form, &k, &f) != 0) return 1;
    return vrd::isKilled(*f) ? 1 : 0;
}

int32_t VRD_CALL VRDkeyReuse(uint32_t key, int32_t reuse) {
    VRDstore *s = vrd::needStore("VRDkeyReuse");
    if (s == nullptr) return 1;
    if (key == VRD_NO_KEY) return 0;
    if (vrd::keyRejected(s, key, "VRDkeyReuse")) return 1;
    vrd::forms(s).keyRecords[key].reuseFreedForms = reuse != 0 ? 1 : 0;
    return 0;
}

}  // extern "C"
