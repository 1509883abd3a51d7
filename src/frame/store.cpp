// store.cpp - the list of stores, the current store, and store creation and release.
#include "frame/frame.h"

namespace vrd {
VRDstore *firstStore = nullptr;
VRDstore *currentStore = nullptr;

namespace {
// The release routine of each area, null for an area not linked in (it can
// hold nothing).  Constant-initialised, so registrations made by other
// files' static initialisers are never overwritten.
AreaRelease areaReleases[kAreaCount] = {};
}  // namespace

bool attachArea(AreaId id, AreaRelease release) {
    areaReleases[id] = release;
    return true;
}
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

// Releases every block the store owns, then the record itself.  The areas
// go top layer first, so an area being released still sees the areas below
// it whole (the forms area walks the keyword table's keys, say).  A store in
// which no pool was used frees nothing but its record.
void releaseStore(VRDstore *s) {
    for (int id = vrd::kAreaCount - 1; id >= 0; --id)
        if (vrd::areaReleases[id] != nullptr) vrd::areaReleases[id](s);
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
