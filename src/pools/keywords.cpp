// keywords.cpp - the keyword table: keyword texts, their keys and 128 first-byte buckets.
#include "pools/keyindex.h"

namespace {
constexpr int32_t kTextStep = 500;
constexpr uint32_t kKeyStep = 5;
constexpr uint32_t kKeyLimit = 0x7FFFFFFF;

// The forms area's hooks; null in a program without forms, whose keys then
// have no records.  Constant-initialised, so a registration made by another
// file's initialiser is never overwritten.
vrd::KeyRecordHooks keyRecordHooks = {nullptr, nullptr};

// Makes room for `length` more bytes of text; a keyword that lies inside
// the area itself is followed to the area's new address.
bool growText(vrd::KeywordArea &s, int32_t length, const char *&keyword) {
    if (static_cast<int64_t>(s.keywordTextUsed) + length < s.keywordTextCapacity) return true;
    int64_t capacity = static_cast<int64_t>(s.keywordTextCapacity) + (length > kTextStep ? length : kTextStep);
    if (capacity >= INT32_MAX) return false;
    const char *old = s.keywordText;
    bool inside = old != nullptr && keyword >= old && keyword <= old + s.keywordTextCapacity;
    ptrdiff_t offset = inside ? keyword - old : 0;
    if (!vrd::growBlock(s.keywordText, static_cast<size_t>(capacity) + 1)) return false;
    if (inside) keyword = s.keywordText + offset;
    s.keywordTextCapacity = static_cast<int32_t>(capacity);
    return true;
}

// Grows the three per-key arrays together, in this order: offsets, chain,
// key records.  The capacity moves only when all three grew.
bool growKeys(VRDstore *store, vrd::KeywordArea &s) {
    size_t capacity = static_cast<size_t>(s.keyCapacity) + kKeyStep;
    if (!vrd::growBlock(s.keywordOffsets, capacity * sizeof(uint32_t))) return false;
    if (!vrd::growBlock(s.keywordNext, capacity * sizeof(uint32_t))) return false;
    if (keyRecordHooks.grow != nullptr && !keyRecordHooks.grow(store, static_cast<uint32_t>(capacity))) return false;
    s.keyCapacity = static_cast<uint32_t>(capacity);
    return true;
}
}  // namespace

namespace vrd {

bool attachKeyRecords(KeyRecordHooks hooks) {
    keyRecordHooks = hooks;
    return true;
}

bool keyRejected(const VRDstore *s, uint32_t key, const char *routine) {
    uint32_t count = keywords(s).keyCount;
    if (checkMode && key >= count) {
        report(routine, VRD_E_BADKEY);
        return true;
    }
    return key >= count;  // unchecked, still never read outside the table
}

void releaseKeywords(VRDstore *store) {
    KeywordArea &s = keywords(store);
    freeMem(s.keywordText);
    freeMem(s.keywordOffsets);
    freeMem(s.keywordNext);
    freeMem(s.keywordIndex);
    dropKeywordLookup(s);
    s = KeywordArea{};
}

}  // namespace vrd

extern "C" {

int32_t VRD_CALL VRDkeyCreate(const char *keyword, uint32_t *key) {
    VRDstore *store = vrd::needStore("VRDkeyCreate");
    if (store == nullptr) return 1;
    vrd::KeywordArea &s = vrd::keywords(store);
    if (s.keywordIndex == nullptr) {
        if (!vrd::growBlock(s.keywordIndex, vrd::kKeywordIndexBytes)) {
            vrd::report("VRDkeyCreate", VRD_E_NOMEM);
            return 1;
        }
        for (int b = 0; b < vrd::kKeywordBuckets; ++b) s.keywordIndex[b] = VRD_NO_KEY;
    }
    vrd::KeywordSearch found = vrd::searchKeyword(s, keyword);
    if (found.found != VRD_NO_KEY) {
        *key = found.found;
        return 0;
    }
    size_t length = std::strlen(keyword) + 1;
    if (length >= INT32_MAX || !growText(s, static_cast<int32_t>(length), keyword)) {
        vrd::report("VRDkeyCreate", VRD_E_NOMEM);
        return 1;
    }
    std::memmove(s.keywordText + s.keywordTextUsed, keyword, length);
    if (s.keyCount == s.keyCapacity) {
        if (s.keyCapacity >= kKeyLimit) {
            vrd::report("VRDkeyCreate", VRD_E_TOOMANYKEYWORDS);
            return 1;
        }
        if (!growKeys(store, s)) {
            vrd::report("VRDkeyCreate", VRD_E_NOMEM);
            return 1;
        }
    }
    uint32_t n = s.keyCount;
    s.keywordOffsets[n] = static_cast<uint32_t>(s.keywordTextUsed);
    if (keyRecordHooks.start != nullptr) keyRecordHooks.start(store, n);
    s.keywordTextUsed += static_cast<int32_t>(length);
    s.keywordNext[n] = VRD_NO_KEY;
    if (found.tail == VRD_NO_KEY)
        s.keywordIndex[found.bucket] = n;
    else
        s.keywordNext[found.tail] = n;
    *key = n;
    s.keyCount = n + 1;
    vrd::noteKeyword(s, n);
    return 0;
}

uint32_t VRD_CALL VRDkeyFind(const char *keyword) {
    VRDstore *store = vrd::needStore("VRDkeyFind");
    if (store == nullptr || vrd::keywords(store).keywordIndex == nullptr) return VRD_NO_KEY;
    return vrd::searchKeyword(vrd::keywords(store), keyword).found;
}

void VRD_CALL VRDkeyGetValue(uint32_t key, char *buffer, int32_t size) {
    if (size < 1) return;
    buffer[0] = '\0';
    VRDstore *store = vrd::needStore("VRDkeyGetValue");
    if (store == nullptr || key == VRD_NO_KEY || vrd::keyRejected(store, key, "VRDkeyGetValue")) return;
    std::strncpy(buffer, vrd::keywordOf(store, key), static_cast<size_t>(size) - 1);
    buffer[size - 1] = '\0';
}

const char *VRD_CALL VRDkeyGetPtrValue(uint32_t key) {
    VRDstore *store = vrd::needStore("VRDkeyGetPtrValue");
    if (store == nullptr || key == VRD_NO_KEY || vrd::keyRejected(store, key, "VRDkeyGetPtrValue")) return nullptr;
    return vrd::keywordOf(store, key);
}

}  // extern "C"
