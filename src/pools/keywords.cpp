// keywords.cpp - the keyword table: keyword texts, their keys and 128 first-byte buckets.
#include "forms/forms.h"
#include "pools/pools.h"

namespace {
constexpr int32_t kTextStep = 500;
constexpr uint32_t kKeyStep = 5;
constexpr uint32_t kKeyLimit = 0x7FFFFFFF;

struct Search {
    uint32_t bucket;
    uint32_t tail;   // last key of the bucket's chain, VRD_NO_KEY when empty
    uint32_t found;  // the key, or VRD_NO_KEY
};

// Walks the keyword's bucket chain (the index must exist).
Search searchKeyword(const VRDstore *s, const char *keyword) {
    Search r{vrd::keywordBucket(keyword), VRD_NO_KEY, VRD_NO_KEY};
    for (uint32_t k = s->keywordIndex[r.bucket]; k != VRD_NO_KEY; k = s->keywordNext[k]) {
        r.tail = k;
        if (std::strcmp(s->keywordText + s->keywordOffsets[k], keyword) == 0) {
            r.found = k;
            break;
        }
    }
    return r;
}

// Makes room for `length` more bytes of text; a keyword that lies inside
// the area itself is followed to the area's new address.
bool growText(VRDstore *s, int32_t length, const char *&keyword) {
    if (static_cast<int64_t>(s->keywordTextUsed) + length < s->keywordTextCapacity) return true;
    int64_t capacity = static_cast<int64_t>(s->keywordTextCapacity) + (length > kTextStep ? length : kTextStep);
    if (capacity >= INT32_MAX) return false;
    const char *old = s->keywordText;
    bool inside = old != nullptr && keyword >= old && keyword <= old + s->keywordTextCapacity;
    ptrdiff_t offset = inside ? keyword - old : 0;
    if (!vrd::growBlock(s->keywordText, static_cast<size_t>(capacity) + 1)) return false;
    if (inside) keyword = s->keywordText + offset;
    s->keywordTextCapacity = static_cast<int32_t>(capacity);
    return true;
}

// Grows the three per-key arrays together; capacity moves only when all grew.
bool growKeys(VRDstore *s) {
    size_t capacity = static_cast<size_t>(s->keyCapacity) + kKeyStep;
    if (!vrd::growBlock(s->keywordOffsets, capacity * sizeof(uint32_t))) return false;
    if (!vrd::growBlock(s->keywordNext, capacity * sizeof(uint32_t))) return false;
    if (!vrd::growBlock(s->keyRecords, capacity * sizeof(KeyRecord))) return false;
    s->keyCapacity = static_cast<uint32_t>(capacity);
    return true;
}

// The key's record for the getters, or null after the check-mode report.
bool keyRejected(const VRDstore *s, uint32_t key, const char *routine) {
    if (vrd::checkMode && key >= s->keyCount) {
        vrd::report(routine, VRD_E_BADKEY);
        return true;
    }
    return key >= s->keyCount;  // unchecked, still never read outside the table
}
}  // namespace

extern "C" {

int32_t VRD_CALL VRDkeyCreate(const char *keyword, uint32_t *key) {
    VRDstore *s = vrd::needStore("VRDkeyCreate");
    if (s == nullptr) return 1;
    if (s->keywordIndex == nullptr) {
        if (!vrd::growBlock(s->keywordIndex, vrd::kKeywordBuckets * sizeof(uint32_t))) {
            vrd::report("VRDkeyCreate", VRD_E_NOMEM);
            return 1;
        }
        for (int b = 0; b < vrd::kKeywordBuckets; ++b) s->keywordIndex[b] = VRD_NO_KEY;
    }
    Search found = searchKeyword(s, keyword);
    if (found.found != VRD_NO_KEY) {
        *key = found.found;
        return 0;
    }
    size_t length = std::strlen(keyword) + 1;
    if (length >= INT32_MAX || !growText(s, static_cast<int32_t>(length), keyword)) {
        vrd::report("VRDkeyCreate", VRD_E_NOMEM);
        return 1;
    }
    std::memmove(s->keywordText + s->keywordTextUsed, keyword, length);
    if (s->keyCount == s->keyCapacity) {
        if (s->keyCapacity >= kKeyLimit) {
            vrd::report("VRDkeyCreate", VRD_E_TOOMANYKEYWORDS);
            return 1;
        }
        if (!growKeys(s)) {
            vrd::report("VRDkeyCreate", VRD_E_NOMEM);
            return 1;
        }
    }
    uint32_t n = s->keyCount;
    s->keywordOffsets[n] = static_cast<uint32_t>(s->keywordTextUsed);
    s->keyRecords[n] = KeyRecord{nullptr, 0, 0, -1, 0, nullptr, 0, 0, -1};
    s->keywordTextUsed += static_cast<int32_t>(length);
    s->keywordNext[n] = VRD_NO_KEY;
    if (found.tail == VRD_NO_KEY)
        s->keywordIndex[found.bucket] = n;
    else
        s->keywordNext[found.tail] = n;
    *key = n;
    s->keyCount = n + 1;
    return 0;
}

uint32_t VRD_CALL VRDkeyFind(const char *keyword) {
    VRDstore *s = vrd::needStore("VRDkeyFind");
    if (s == nullptr || s->keywordIndex == nullptr) return VRD_NO_KEY;
    return searchKeyword(s, keyword).found;
}

void VRD_CALL VRDkeyGetValue(uint32_t key, char *buffer, int32_t size) {
    if (size < 1) return;
    buffer[0] = '\0';
    VRDstore *s = vrd::needStore("VRDkeyGetValue");
    if (s == nullptr || key == VRD_NO_KEY || keyRejected(s, key, "VRDkeyGetValue")) return;
    std::strncpy(buffer, s->keywordText + s->keywordOffsets[key], static_cast<size_t>(size) - 1);
    buffer[size - 1] = '\0';
}

const char *VRD_CALL VRDkeyGetPtrValue(uint32_t key) {
    VRDstore *s = vrd::needStore("VRDkeyGetPtrValue");
    if (s == nullptr || key == VRD_NO_KEY || keyRejected(s, key, "VRDkeyGetPtrValue")) return nullptr;
    return s->keywordText + s->keywordOffsets[key];
}

int32_t VRD_CALL VRDkeyReuse(uint32_t key, int32_t reuse) {
    VRDstore *s = vrd::needStore("VRDkeyReuse");
    if (s == nullptr) return 1;
    if (key == VRD_NO_KEY) return 0;
    if (keyRejected(s, key, "VRDkeyReuse")) return 1;
    s->keyRecords[key].reuseFreedForms = reuse != 0 ? 1 : 0;
    return 0;
}

}  // extern "C"
