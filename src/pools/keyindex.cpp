// keyindex.cpp - a hash of the keyword texts with the chains' tails, giving what the chain walk gives.
#include "pools/keyindex.h"

namespace vrd {
namespace {

constexpr uint32_t kKeywordIndexFrom = 32;  // fewer keys are walked
constexpr uint32_t kKeyEntryBits = 31;      // keys stay below VRD_NO_KEY

const char *textOf(const KeywordArea &s, uint32_t key) { return s.keywordText + s.keywordOffsets[key]; }
uint64_t textHash(const char *text) { return hashBytes(text, std::strlen(text)); }

// The first key of the bucket's chain whose text is `keyword`, by the lookup.
uint32_t lookUp(const KeywordArea &s, const KeywordLookup &x, const char *keyword) {
    uint32_t k = findEntry(x.table, textHash(keyword), [&](uint32_t e) { return std::strcmp(textOf(s, e), keyword) == 0; });
    return k == kNoEntry ? VRD_NO_KEY : k;
}

// Adds a key the walk of its bucket can find; false when the index memory refuses.
bool add(KeywordArea &s, KeywordLookup &x, uint32_t key) {
    if (!reserveEntry(x.table, [&s](uint32_t k) { return textHash(textOf(s, k)); })) return false;
    putEntry(x.table, textHash(textOf(s, key)), key);
    return true;
}

void drop(KeywordArea &s) {
    dropKeywordLookup(s);
    s.keywordLookupRefusedAt = s.keyCount;
}

// Lists every chain in the lookup: the first key of each text met in the
// chain of the text's own bucket (a key in another chain, as a foreign file
// may hold, is never met by a search), and each chain's last key.
bool build(KeywordArea &s, KeywordLookup &x) {
    for (int b = 0; b < kKeywordBuckets; ++b) {
        x.tails[b] = VRD_NO_KEY;
        for (uint32_t k = s.keywordIndex[b]; k != VRD_NO_KEY; k = s.keywordNext[k]) {
            x.tails[b] = k;
            const char *text = textOf(s, k);
            if (keywordBucket(text) == static_cast<uint32_t>(b) && lookUp(s, x, text) == VRD_NO_KEY && !add(s, x, k))
                return false;
        }
    }
    return true;
}

// True when the lookup can answer: it exists, or it is due and built now.
bool ready(KeywordArea &s) {
    if (usePlainPaths) {
        dropKeywordLookup(s);
        return false;
    }
    if (s.keywordLookup != nullptr) return true;
    if (s.keyCount < kKeywordIndexFrom || (s.keywordLookupRefusedAt != 0 && s.keyCount < 2 * s.keywordLookupRefusedAt))
        return false;
    auto *x = static_cast<KeywordLookup *>(mallocIndexMem(sizeof(KeywordLookup)));
    if (x == nullptr) return drop(s), false;
    x->table = emptyTable(kKeyEntryBits);
    s.keywordLookup = x;
    if (!build(s, *x)) return drop(s), false;
    s.keywordLookupRefusedAt = 0;
    return true;
}

// A chain walk this short costs less than hashing the keyword: design data
// has a few dozen keywords, spread over their first letters.
constexpr uint32_t kShortWalk = 4;

// Walks the keyword's chain for at most `limit` keys; false when it was cut
// short before it found the keyword or reached the chain's end.
bool walk(const KeywordArea &s, const char *keyword, KeywordSearch &r, uint32_t limit) {
    uint32_t steps = 0;
    for (uint32_t k = s.keywordIndex[r.bucket]; k != VRD_NO_KEY; k = s.keywordNext[k]) {
        if (steps++ == limit) return false;
        r.tail = k;
        if (std::strcmp(textOf(s, k), keyword) == 0) {
            r.found = k;
            break;
        }
    }
    return true;
}

}  // namespace

KeywordSearch searchKeyword(KeywordArea &s, const char *keyword) {
    KeywordSearch r{keywordBucket(keyword), VRD_NO_KEY, VRD_NO_KEY};
    if (walk(s, keyword, r, kShortWalk)) return r;
    if (ready(s)) {
        r.found = lookUp(s, *s.keywordLookup, keyword);
        r.tail = r.found != VRD_NO_KEY ? r.found : s.keywordLookup->tails[r.bucket];
        return r;
    }
    r.tail = VRD_NO_KEY;
    walk(s, keyword, r, UINT32_MAX);
    return r;
}

void noteKeyword(KeywordArea &s, uint32_t key) {
    KeywordLookup *x = s.keywordLookup;
    if (x == nullptr) return;
    x->tails[keywordBucket(textOf(s, key))] = key;
    if (!add(s, *x, key)) drop(s);
}

void dropKeywordLookup(KeywordArea &s) {
    if (s.keywordLookup == nullptr) return;
    freeIndexMem(s.keywordLookup->table.slots);
    freeIndexMem(s.keywordLookup);
    s.keywordLookup = nullptr;
}

}  // namespace vrd
