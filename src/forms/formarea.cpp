// formarea.cpp - the forms area's record: its key records' lifetime, growth hooks, figures and read-only views.
#include "forms/forms.h"

namespace vrd {

void releaseFormData(KeyRecord *records, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        if (records[k].formRecords == nullptr) continue;
        freeMem(records[k].formRecords);
        releaseSlab(records[k]);
    }
}

// Runs before the keyword table is released (frame releases the areas top
// layer first), so keyCount still counts the initialised records.
void releaseForms(VRDstore *s) {
    FormArea &a = forms(s);
    if (a.keyRecords != nullptr) releaseFormData(a.keyRecords, keyCount(s));
    freeMem(a.keyRecords);
    a = FormArea{};
}

bool growKeyRecords(VRDstore *s, uint32_t capacity) {
    return growBlock(forms(s).keyRecords, static_cast<size_t>(capacity) * sizeof(KeyRecord));
}

void startKeyRecord(VRDstore *s, uint32_t key) {
    forms(s).keyRecords[key] = KeyRecord{nullptr, 0, 0, -1, 0, nullptr, 0, 0, -1, 0};
}

uint32_t freeBlocks(const KeyRecord &k, int32_t *starts, int32_t *lengths, uint32_t max) {
    uint32_t n = 0;
    const VRDentity *slots = slabOf(k);
    for (int32_t b = k.slabFree; b >= 0 && b < k.slabUsed && n < max && n <= uint32_t(k.slabUsed); ++n) {
        starts[n] = b;
        lengths[n] = static_cast<int32_t>(slots[b].second);
        b = static_cast<int32_t>(slots[b].first);
    }
    return n;
}

VRDentity propertyListOf(const VRDstore *s, VRDentity form) {
    KeyRecord *k;
    FormRecord *f;
    return resolveForm(s, form, nullptr, &k, &f) ? f->propertyList : nullEntity();
}

VRDentity nextRootForm(const VRDstore *s, uint32_t *key, uint32_t *index) {
    for (uint32_t count = keyCount(s); *key < count; ++*key, *index = 0) {
        const KeyRecord *k = formsOfKey(s, *key);
        for (; k != nullptr && *index < k->formCount; ++*index) {
            const FormRecord &f = k->formRecords[*index];
            if (!isKilled(f) && !hasTag(f.owner)) return formEntity(*key, (*index)++);
        }
    }
    return nullEntity();
}

KeyFigures keyFigures(const VRDstore *s, uint32_t key) {
    KeyFigures r{};
    const KeyRecord *k = formsOfKey(s, key);
    if (k == nullptr) return r;
    r = KeyFigures{true, k->formCount, k->formCapacity, k->slabUsed, k->slabCapacity, 0, 0, 0, 0, 0, 0, 0};
    // Free blocks followed from slabFree through each block's link; never
    // more blocks than slots, so a damaged list still ends.
    int64_t steps = 0;
    const VRDentity *slots = slabOf(*k);
    for (int32_t b = k->slabFree; b >= 0 && b < k->slabUsed && steps <= k->slabUsed; ++steps) {
        r.freeSlots += static_cast<int32_t>(slots[b].second);
        b = static_cast<int32_t>(slots[b].first);
    }
    for (uint32_t i = 0; i < k->formCount; ++i) {
        auto n = static_cast<int32_t>(entityCount(k->formRecords[i]));
        r.ones += n == 1;
        r.twos += n == 2;
        r.threes += n == 3;
        r.more += n > 3;
        if (n > r.largest) r.largest = n;
        r.total = static_cast<int32_t>(static_cast<uint32_t>(r.total) + static_cast<uint32_t>(n));
    }
    return r;
}

}  // namespace vrd
