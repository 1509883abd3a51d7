// store.cpp - the list of stores, the current store, and store creation and release.
#include "forms/forms.h"
#include "frame/frame.h"
#include "pools/numindex.h"
#include "pools/stringindex.h"

namespace vrd {
VRDstore *firstStore = nullptr;
VRDstore *currentStore = nullptr;
}  // namespace vrd

namespace {
using vrd::currentStore;
using vrd::firstStore;

// The first store, in list order, whose handle is `store` (when non-null) or
// whose name is `name` (when non-null); `before` receives its predecessor.
VRDstore *findStore(VRDstore *store, const char *name, VRDstore **before) {
    VRDstore *prev = nullptr;
    for (VRDstore *s = firstStore; s != nullptr; prev = s, s = s->next) {
        if ((store != nullptr && s == store) || (name != nullptr && std::strcmp(s->name, name) == 0)) {
            if (before != nullptr) *before = prev;
            return s;
        }
    }
    return nullptr;
}

// Releases every block the store owns, then the record itself.
void releaseStore(VRDstore *s) {
    void *blocks[] = {s->realValues,  s->bigintValues, s->xcoordValues,   s->xcoordNext,
                      s->xcoordIndex, s->ycoordValues, s->ycoordNext,     s->ycoordIndex,
                      s->pointRecords, s->pointIndex,  s->stringText,     s->stringIndex,
                      s->keywordText, s->keywordOffsets, s->keywordNext,  s->keywordIndex};
    for (void *b : blocks) freeMem(b);
    vrd::dropNumberIndexes(s);
    vrd::dropStringLookup(s);
    for (uint32_t k = 0; k < s->keyCount; ++k) {
        KeyRecord &key = s->keyRecords[k];
        if (key.formRecords != nullptr) {
            freeMem(key.formRecords);
            freeMem(key.slabSlots);
        }
    }
    freeMem(s->keyRecords);
    freeMem(s);
}
}  // namespace

extern "C" {

VRDstore *VRD_CALL VRDnew(const char *name) {
    if (name == nullptr || std::strlen(name) >= sizeof(VRDstore::name)) {
        vrd::report("VRDnew", VRD_E_NOSTORE);
        return nullptr;
    }
    if (findStore(nullptr, name, nullptr) != nullptr) return nullptr;
    auto *s = static_cast<VRDstore *>(callocMem(1, sizeof(VRDstore)));
    if (s == nullptr) {
        vrd::report("VRDnew", VRD_E_NOMEM);
        return nullptr;
    }
    std::strcpy(s->name, name);
    VRDstore **link = &firstStore;
    while (*link != nullptr) link = &(*link)->next;
    *link = s;
    currentStore = s;
    return s;
}

int VRD_CALL VRDkill(VRDstore *store, const char *name) {
    VRDstore *prev = nullptr;
    VRDstore *s = findStore(store, name, &prev);
    if (s == nullptr) {
        vrd::report("VRDkill", VRD_E_NOSTORE);
        return 1;
    }
    (prev != nullptr ? prev->next : firstStore) = s->next;
    if (currentStore == s) currentStore = firstStore;
    releaseStore(s);
    return 0;
}

int VRD_CALL VRDset(VRDstore *store, const char *name) {
    VRDstore *s = findStore(store, name, nullptr);
    if (s == nullptr) {
        vrd::report("VRDset", VRD_E_NOSTORE);
        return 1;
    }
    currentStore = s;
    return 0;
}

VRDstore *VRD_CALL VRDget(const char *name) {
    return name == nullptr ? currentStore : findStore(nullptr, name, nullptr);
}

VRDstore *VRD_CALL VRDnext(VRDstore *store) {
    if (store == nullptr) return currentStore = firstStore;
    if (store->next == nullptr) return nullptr;
    return currentStore = store->next;
}

}  // extern "C"
