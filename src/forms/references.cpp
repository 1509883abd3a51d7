// references.cpp - the walk over every list of the store that finds the lists holding a given entity.
#include "forms/forms.h"

namespace {
constexpr VRDentity kNone = vrd::nullEntity();
}  // namespace

extern "C" {

VRDentity VRD_CALL VRDformFindEntity(uint32_t *keyCursor, int32_t *formCursor, uint32_t *positionCursor,
                                     VRDentity target) {
    VRDstore *s = vrd::needStore("VRDformFindEntity");
    if (s == nullptr) return kNone;
    if (*keyCursor == VRD_NO_KEY) {
        *keyCursor = 0;
        *formCursor = 0;
        *positionCursor = 0;
    } else {
        ++*positionCursor;  // resume after the last hit
    }
    uint32_t keyCount = vrd::keyCount(s);
    for (; *keyCursor < keyCount; ++*keyCursor, *formCursor = 0, *positionCursor = 0) {
        KeyRecord *k = vrd::formsOfKey(s, *keyCursor);
        int64_t formCount = k == nullptr ? 0 : k->formCount;
        for (; *formCursor < formCount; ++*formCursor, *positionCursor = 0) {
            if (*formCursor < 0) continue;  // before the first form: nothing to read
            FormRecord &f = k->formRecords[*formCursor];
            const VRDentity *list = nullptr;
            uint32_t count = vrd::peekList(*k, f, &list);
            VRDentity hit = vrd::formEntity(*keyCursor, static_cast<uint32_t>(*formCursor));
            if (count == 1) {
                if (*positionCursor == 0 && vrd::sameEntity(list[0], target)) return hit;
                continue;
            }
            for (; *positionCursor < count; ++*positionCursor)
                if (vrd::sameEntity(list[*positionCursor], target)) return hit;
        }
    }
    return kNone;
}

}  // extern "C"
