// properties.cpp - integer properties of a form, kept as (name, value) pairs in a "PLIST" form.
#include "forms/forms.h"

namespace {
constexpr int32_t kNoValue = 0x7FFFFFFF;

// The position of the pair named `name` in a property list: only even
// positions are names, so a value equal to the name is never taken for it.
// -1 when absent.
int64_t findName(KeyRecord &k, FormRecord &list, VRDentity name) {
    uint32_t count = vrd::entityCount(list);
    if (count == 0) return -1;
    const VRDentity *e = vrd::listOf(k, list);
    for (uint32_t p = 0; p < count; p += 2)
        if (vrd::sameEntity(e[p], name)) return p;
    return -1;
}

// Resolves the form's property list; false (reported by formptr) when the
// list entity does not resolve.
bool resolveList(VRDentity list, KeyRecord **k, FormRecord **f) { return formptr(list, k, f) == 0; }
}  // namespace

extern "C" {

int32_t VRD_CALL VRDformGetProperty(VRDentity form, int32_t name) {
    if (vrd::needStore("VRDformGetProperty") == nullptr) return kNoValue;
    KeyRecord *k;
    FormRecord *f;
    if (formptr(form, &k, &f) != 0 || !vrd::hasTag(f->propertyList)) return kNoValue;
    VRDentity list = f->propertyList;
    VRDentity nameEntity;
    if (VRDintCreate(name, &nameEntity) != 0) return kNoValue;
    if (!resolveList(list, &k, &f) || vrd::entityCount(*f) < 2) return kNoValue;
    int64_t p = findName(*k, *f, nameEntity);
    // A name without its value (an odd-length list) has no value either.
    if (p < 0 || p + 1 >= vrd::entityCount(*f)) return kNoValue;
    return VRDintGetValue(vrd::listOf(*k, *f)[p + 1]);
}

int VRD_CALL VRDformSetProperty(VRDentity form, int32_t name, int32_t value) {
    VRDstore *s = vrd::needStore("VRDformSetProperty");
    if (s == nullptr) return 1;
    VRDentity pair[2];
    if (VRDintCreate(name, &pair[0]) != 0 || VRDintCreate(value, &pair[1]) != 0) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (formptr(form, &k, &f) != 0) return 1;
    VRDentity list = f->propertyList;
    if (vrd::hasTag(list)) {
        if (!resolveList(list, &k, &f)) return 1;
        int64_t p = findName(*k, *f, pair[0]);
        if (p >= 0) return VRDformSetEntity(list, static_cast<uint32_t>(p + 1), pair[1]);
        return VRDformAddEntities(list, 0xFFFFFFFFu, 2, pair);
    }
    // First property: the list is a "PLIST" form owned by the form.  Its
    // creation may move the form array (when the form is itself a property
    // list), so the form is resolved again to attach it.  A list that cannot
    // take its first pair is released again: the form is left without one,
    // as it was.
    uint32_t plistKey;
    if (VRDkeyCreate("PLIST", &plistKey) != 0) return 1;
    if (VRDformCreate(form, plistKey, nullptr, &list) != 0) return 1;
    if (VRDformSetPropertyList(form, list) == 0 && VRDformAddEntities(list, 0xFFFFFFFFu, 2, pair) == 0) return 0;
    if (vrd::resolveForm(s, form, nullptr, &k, &f)) f->propertyList = vrd::nullEntity();
    vrd::discardForm(s, list);
    return 1;
}

int VRD_CALL VRDformDeleteProperty(int32_t name, VRDentity form) {
    if (vrd::needStore("VRDformDeleteProperty") == nullptr) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (formptr(form, &k, &f) != 0 || !vrd::hasTag(f->propertyList)) return 0;
    VRDentity list = f->propertyList;
    VRDentity nameEntity;
    if (VRDintCreate(name, &nameEntity) != 0) return 1;
    if (!resolveList(list, &k, &f)) return 1;
    int64_t p = findName(*k, *f, nameEntity);
    return p < 0 ? 0 : VRDformDeleteEntities(list, static_cast<uint32_t>(p), 2);
}

int VRD_CALL VRDformClearProperties(VRDentity form) {
    if (vrd::needStore("VRDformClearProperties") == nullptr) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (formptr(form, &k, &f) != 0) return 1;
    return vrd::hasTag(f->propertyList) ? VRDformClear(f->propertyList) : 0;
}

int VRD_CALL VRDformSetPropertyList(VRDentity form, VRDentity list) {
    if (vrd::needStore("VRDformSetPropertyList") == nullptr) return 1;
    KeyRecord *k;
    FormRecord *f;
    if (formptr(form, &k, &f) != 0) return 1;
    f->propertyList = list;
    return 0;
}

}  // extern "C"
