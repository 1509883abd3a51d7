// fuzz_common.h - what the fuzz targets share: scratch files, killing every store, plain trees, writing and dumping a store.
#ifndef VRD_FUZZ_COMMON_H
#define VRD_FUZZ_COMMON_H

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "vrd/vrd_internal.h"

namespace vrdfuzz {

// A file of this process's own, so parallel fuzzing jobs never share one.
inline const std::string &scratchPath(const char *what) {
    static std::string path = std::string("/tmp/vrd_fuzz_") + what + "_" + std::to_string(getpid());
    return path;
}

inline void killAllStores() {
    while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
}

// True when no form is reached twice below `root`.  A host may make a form
// hold itself or share a subtree, and a file may carry such a store; the
// writer's text of it is then endless or exponential, which is no fault of
// the reader under test, so such trees are not written.
inline bool isPlainTree(VRDentity root) {
    std::set<std::pair<uint32_t, uint32_t>> seen;
    std::vector<VRDentity> stack{root};
    while (!stack.empty()) {
        VRDentity form = stack.back();
        stack.pop_back();
        if (!seen.insert({form.first, form.second}).second) return false;
        uint32_t count = VRDformEntityCount(form);
        for (uint32_t i = 0; i < count; ++i) {
            VRDentity e = VRDformGetEntity(form, i);
            if ((e.first & 0x80000000u) != 0) stack.push_back(e);
        }
    }
    return true;
}

// Every live form of every key written as text; the text of all of them.
inline std::string writeAllForms() {
    TextChannel *out = openTextBuffer();
    if (out == nullptr) return std::string();
    for (uint32_t key = 0; VRDkeyGetPtrValue(key) != nullptr; ++key) {
        int32_t cursor = 0;
        for (VRDentity f = VRDformFindNext(key, 0, nullptr, &cursor); f.first != 0;
             f = VRDformFindNext(key, 0, nullptr, &cursor)) {
            ++cursor;
            if (isPlainTree(f)) VRDfileWriteEntity(out, 1, f, 1);
            VRDformGetProperty(f, 1);
            VRDformFindOver(f, key, 0, nullptr);
        }
    }
    size_t length = 0;
    std::string text(textBufferData(out, &length));
    closeTextFile(out);
    return text;
}

// Grows every pool of the store and kills what it made.
inline void useStore() {
    VRDentity f, g, e;
    if (VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "FUZZ", &f) != 0) return;
    VRDformAddString(f, 0xFFFFFFFF, "text", &e);
    VRDformAddInt(f, 0xFFFFFFFF, 1 << 30, &e);
    VRDformAddPoint(0xFFFFFFFF, &e, f, -77777, 31);
    VRDformAddReal(0xFFFFFFFF, &e, f, 0.1);
    VRDformAddForm(f, 0, VRD_NO_KEY, "INNER", &g);
    VRDformSetProperty(f, 3, 4);
    VRDformKill(f, 1, 0);
}

// The store as it stands must survive a dump and a read back unchanged:
// whatever a read left behind is a consistent store.
inline void roundTrip() {
    std::string before = writeAllForms();
    const std::string &path = scratchPath("dump");
    std::remove(path.c_str());
    if (VRDfileWriteBinary(path.c_str()) != 0) std::abort();
    if (VRDfileReadBinary(path.c_str()) != 0) std::abort();
    if (writeAllForms() != before) std::abort();
    std::remove(path.c_str());
}

}  // namespace vrdfuzz

#endif  // VRD_FUZZ_COMMON_H
