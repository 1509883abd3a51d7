// keywordfile.cpp - the keyword table seen whole: report figures and its parts of the binary key section.
#include "pools/keywords.h"

namespace vrd {
namespace {

constexpr EndTable<uint32_t, kKeywordBuckets> kNoKeywords{VRD_NO_KEY};

// One past the last terminating zero of the text, 0 when it has none.
uint32_t textEnd(const KeywordStage &k) {
    for (auto end = static_cast<uint32_t>(k.textUsed); end > 0; --end)
        if (k.text[end - 1] == '\0') return end;
    return 0;
}

// Every keyword offset lies inside the text and its text ends there, that is
// before the text's last zero: one look per key, however many keys share a
// text.  Every chain link and bucket head names a key or ends, and no key is
// met twice.
Status checkKeywords(const KeywordStage &k) {
    uint32_t end = textEnd(k);
    for (uint32_t key = 0; key < k.count; ++key)
        if (k.offsets[key] >= end) return Status::Bad;
    Marks seen;
    VRD_TRY(seen.init(k.count));
    for (int b = 0; b < kKeywordBuckets; ++b) {
        for (uint32_t key = k.index[b]; key != VRD_NO_KEY; key = k.next[key])
            if (key >= k.count || !seen.claim(key)) return Status::Bad;
    }
    return Status::Ok;
}

}  // namespace

KeywordFigures keywordFigures(const VRDstore *store) {
    const KeywordArea &s = keywords(store);
    return KeywordFigures{s.keyCount, s.keyCapacity, s.keywordTextUsed, s.keywordTextCapacity};
}

void tallyKeywordChains(const VRDstore *store, ChainTally &tally) {
    const KeywordArea &s = keywords(store);
    for (int b = 0; b < kKeywordBuckets; ++b) {
        uint32_t head = s.keywordIndex[b];
        if (head == VRD_NO_KEY) {
            tally.addEmpty();
            continue;
        }
        tally.walk(head, s.keyCount, [&s](uint32_t e, uint32_t *n) {
            *n = s.keywordNext[e];
            return *n != VRD_NO_KEY;
        });
    }
}

void writeKeywordHead(int fd, const VRDstore *store) {
    const KeywordArea &s = keywords(store);
    putWord(fd, static_cast<uint32_t>(s.keywordTextUsed));
    rawWrite(fd, s.keywordText, static_cast<size_t>(s.keywordTextUsed));
    putWord(fd, s.keyCount);
    rawWrite(fd, s.keywordOffsets, s.keyCount * sizeof(uint32_t));
    rawWrite(fd, s.keywordNext, s.keyCount * sizeof(uint32_t));
}

void writeKeywordIndex(int fd, const VRDstore *store) {
    putTable(fd, keywords(store).keywordIndex, kNoKeywords.heads, kKeywordIndexBytes);
}

Status readKeywordText(Source &src, KeywordStage &stage) {
    uint32_t textUsed;
    VRD_TRY(src.word(&textUsed));
    if (textUsed >= INT32_MAX) return Status::Bad;
    VRD_TRY(src.need(textUsed));
    VRD_TRY(allocate(stage.text, uint64_t{textUsed} + 1));
    stage.textUsed = static_cast<int32_t>(textUsed);
    VRD_TRY(src.take(stage.text, textUsed));
    stage.text[textUsed] = '\0';
    return Status::Ok;
}

Status readKeyCount(Source &src, KeywordStage &stage, uint64_t recordBytes) {
    uint32_t count;
    VRD_TRY(src.word(&count));
    if (count >= VRD_NO_KEY) return Status::Bad;
    VRD_TRY(src.need(count * (kKeyListBytes + recordBytes) + kKeywordIndexBytes));
    VRD_TRY(allocate(stage.offsets, count));
    VRD_TRY(allocate(stage.next, count));
    VRD_TRY(allocate(stage.index, kKeywordBuckets));
    stage.count = count;
    return Status::Ok;
}

Status readKeywordLinks(Source &src, KeywordStage &stage) {
    VRD_TRY(src.take(stage.offsets, stage.count * sizeof(uint32_t)));
    return src.take(stage.next, stage.count * sizeof(uint32_t));
}

Status readKeywordIndex(Source &src, KeywordStage &stage) {
    VRD_TRY(src.take(stage.index, kKeywordIndexBytes));
    return checkKeywords(stage);
}

void installKeywords(VRDstore *store, KeywordStage &k) {
    releaseKeywords(store);
    KeywordArea &s = keywords(store);
    s.keywordText = k.text;
    s.keywordOffsets = k.offsets;
    s.keywordNext = k.next;
    s.keywordIndex = k.index;
    s.keywordTextUsed = s.keywordTextCapacity = k.textUsed;
    s.keyCapacity = s.keyCount = k.count;
    k = KeywordStage{};
}

void release(KeywordStage &k) {
    freeMem(k.text);
    freeMem(k.offsets);
    freeMem(k.next);
    freeMem(k.index);
    k = KeywordStage{};
}

}  // namespace vrd
