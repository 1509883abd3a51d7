// keywords.h - the keyword table: texts, keys and buckets, the key-record growth hooks, figures and file steps.
#ifndef VRD_POOLS_KEYWORDS_H
#define VRD_POOLS_KEYWORDS_H

#include "frame/section.h"
#include "frame/tally.h"

namespace vrd {

struct KeywordLookup;  // src/pools/keyindex.h

// The keyword table's record in a store; all-zero is an empty table.  The
// text grows by at least 500 bytes, the per-key arrays by 5 keys
// (keywords.cpp); nothing shrinks.
struct KeywordArea {
    char *keywordText;         // keyword texts back to back
    uint32_t *keywordOffsets;  // per key, offset of its text
    uint32_t *keywordNext;     // per key, next key of its bucket
    uint32_t *keywordIndex;    // kKeywordBuckets bucket heads, VRD_NO_KEY empty
    int32_t keywordTextUsed;
    int32_t keywordTextCapacity;
    uint32_t keyCapacity;      // entries of every per-key array, the key records included
    uint32_t keyCount;
    // The search's hash of the texts (keyindex.h); no file holds it.
    KeywordLookup *keywordLookup;
    uint32_t keywordLookupRefusedAt;  // keys when the index memory last refused, 0 none
};

inline KeywordArea &keywords(VRDstore *s) { return areaRecord<KeywordArea, kKeywordsArea>(s); }
inline const KeywordArea &keywords(const VRDstore *s) { return areaRecord<KeywordArea, kKeywordsArea>(s); }

void releaseKeywords(VRDstore *s);
inline const bool keywordsAttached = attachArea(kKeywordsArea, releaseKeywords);

constexpr int kKeywordBuckets = 128;
constexpr size_t kKeywordIndexBytes = kKeywordBuckets * sizeof(uint32_t);
constexpr int32_t kKeyListBytes = 2 * sizeof(uint32_t);  // per key: its text offset and chain link

// Bucket of a keyword: its first byte, folded into the 128 buckets.
inline uint32_t keywordBucket(const char *keyword) {
    return static_cast<unsigned char>(keyword[0]) % static_cast<unsigned>(kKeywordBuckets);
}

// The per-key records of the key table belong to the forms area; the
// keyword table grows them third, after the offsets and the chain, and
// starts one for each new key.  `grow` makes room for `capacity` records
// and gives false (all records as they were) when memory is short; the
// table's capacity moves only when all three arrays grew.
struct KeyRecordHooks {
    bool (*grow)(VRDstore *s, uint32_t capacity);
    void (*start)(VRDstore *s, uint32_t key);
};
// Registers the hooks; true, for an inline variable of the forms header.
bool attachKeyRecords(KeyRecordHooks hooks);

inline uint32_t keyCount(const VRDstore *s) { return keywords(s).keyCount; }
// The text of a key below keyCount (the caller tests the key).
inline const char *keywordOf(const VRDstore *s, uint32_t key) {
    const KeywordArea &k = keywords(s);
    return k.keywordText + k.keywordOffsets[key];
}
// True when `key` names no key: reported -18 under `routine` in check mode,
// refused silently otherwise.
bool keyRejected(const VRDstore *s, uint32_t key, const char *routine);

// The figures of the statistics report.
struct KeywordFigures {
    uint32_t keysUsed, keysAllocated;
    int32_t textUsed, textAllocated;
};
KeywordFigures keywordFigures(const VRDstore *s);
void tallyKeywordChains(const VRDstore *s, ChainTally &tally);

// ---- the keyword parts of the binary file's key section ----
// The key section interleaves these parts with the key records; the forms
// area runs the section (src/forms/keyfile.cpp) and calls them in order.
struct KeywordStage {
    char *text = nullptr;
    int32_t textUsed = 0;
    uint32_t count = 0;
    uint32_t *offsets = nullptr;
    uint32_t *next = nullptr;
    uint32_t *index = nullptr;
};

// T and the text, then K with the offsets and the chain.
void writeKeywordHead(int fd, const VRDstore *s);
// The bucket index.
void writeKeywordIndex(int fd, const VRDstore *s);
// T and the text.
Status readKeywordText(Source &src, KeywordStage &stage);
// K, with room for the offsets, the chain and the index; the file must hold
// `recordBytes` more per key for the key records that follow the chain.
Status readKeyCount(Source &src, KeywordStage &stage, uint64_t recordBytes);
// The offsets and the chain.
Status readKeywordLinks(Source &src, KeywordStage &stage);
// The index, then every text and chain checked.
Status readKeywordIndex(Source &src, KeywordStage &stage);
// Hands the staged table to the store (the stage keeps nothing); every
// capacity becomes its count.
void installKeywords(VRDstore *s, KeywordStage &stage);
void release(KeywordStage &stage);

}  // namespace vrd

#endif  // VRD_POOLS_KEYWORDS_H
