// binary.cpp - the version-6 binary file: a byte-for-byte dump of the current store and its reader.
#include "files/binary.h"

#include <bit>
#include <cerrno>

#include "files/rawfile.h"
#include "forms/forms.h"
#include "pools/numindex.h"
#include "pools/pools.h"
#include "pools/stringindex.h"

// The file is little-endian and its arrays move with one transfer each, no
// per-element conversion: the host must share the byte order.
static_assert(std::endian::native == std::endian::little, "the binary file is little-endian");

namespace {
constexpr uint32_t kVersion = 6;
constexpr size_t kKeyRecordWords = 9;  // a key record in the file: nine 32-bit words
constexpr uint32_t kXcoordLimit = 30719;
constexpr uint32_t kYcoordLimit = 32766;
constexpr uint32_t kPointLimit = 0x3FFFFFE;
constexpr uint32_t kPayloadLimit = 0x8000000;  // every pool index fits 27 bits
constexpr size_t kKeywordIndexBytes = vrd::kKeywordBuckets * sizeof(uint32_t);
constexpr size_t kCoordIndexBytes = vrd::kCoordBuckets * sizeof(uint16_t);
constexpr size_t kPointIndexBytes = vrd::kPointBuckets * sizeof(int32_t);
constexpr size_t kStringIndexBytes = vrd::kStringBuckets * sizeof(int32_t);

// ---- writing ----

// Index tables a store has not made yet are written as tables of end values,
// exactly what the pool would hold when it makes them.
template <typename T, size_t N>
struct EndTable {
    T heads[N];
    constexpr explicit EndTable(T end) : heads{} {
        for (T &h : heads) h = end;
    }
};
constexpr EndTable<uint32_t, vrd::kKeywordBuckets> kNoKeywords{VRD_NO_KEY};
constexpr EndTable<uint16_t, vrd::kCoordBuckets> kNoCoords{vrd::kCoordEnd};
constexpr EndTable<int32_t, vrd::kStringBuckets> kNoStrings{-1};
constexpr EndTable<int32_t, vrd::kPointBuckets> kNoPoints{-1};

void putWord(int fd, uint32_t word) { vrd::rawWrite(fd, &word, sizeof word); }

void putTable(int fd, const void *table, const void *endTable, size_t bytes) {
    vrd::rawWrite(fd, table != nullptr ? table : endTable, bytes);
}

// A key record in its 32-bit layout: the pointer words become 1 or 0.
void packKeyRecord(const KeyRecord &k, uint32_t *w) {
    w[0] = k.formRecords != nullptr ? 1 : 0;
    w[1] = k.formCapacity;
    w[2] = k.formCount;
    w[3] = static_cast<uint32_t>(k.freeForms);
    w[4] = k.reuseFreedForms;
    w[5] = k.slabSlots != nullptr ? 1 : 0;
    w[6] = static_cast<uint32_t>(k.slabCapacity);
    w[7] = static_cast<uint32_t>(k.slabUsed);
    w[8] = static_cast<uint32_t>(k.slabFree);
}

// The key records in one write when a conversion block can be had; without
// memory, in batches through a small buffer (the writer never fails on it).
void putKeyRecords(int fd, const KeyRecord *records, uint32_t count) {
    size_t bytes = static_cast<size_t>(count) * kKeyRecordWords * sizeof(uint32_t);
    auto *all = static_cast<uint32_t *>(mallocMem(bytes));
    if (all != nullptr) {
        for (uint32_t k = 0; k < count; ++k) packKeyRecord(records[k], all + k * kKeyRecordWords);
        vrd::rawWrite(fd, all, bytes);
        freeMem(all);
        return;
    }
    uint32_t batch[64 * kKeyRecordWords];
    for (uint32_t k = 0; k < count;) {
        uint32_t n = 0;
        for (; n < 64 && k < count; ++n, ++k) packKeyRecord(records[k], batch + n * kKeyRecordWords);
        vrd::rawWrite(fd, batch, n * kKeyRecordWords * sizeof(uint32_t));
    }
}

void putCoordTable(int fd, const int32_t *values, const uint16_t *next, const uint16_t *index, uint16_t count) {
    putWord(fd, count);
    vrd::rawWrite(fd, values, count * sizeof(int32_t));
    vrd::rawWrite(fd, next, count * sizeof(uint16_t));
    putTable(fd, index, kNoCoords.heads, kCoordIndexBytes);
}

// ---- reading: a source that knows how much of the file is left ----

enum class Status { Ok, Cut, NoMem, Bad };

struct Source {
    int fd;
    uint64_t left;  // bytes left in the file; UINT64_MAX when unknown

    // Whether the file still holds `bytes` bytes; a count that asks for more
    // than the file holds is an end of file met early, found before any
    // memory is asked for it.
    bool has(uint64_t bytes) const { return left == UINT64_MAX || bytes <= left; }
    Status take(void *buffer, size_t bytes) {
        if (!has(bytes) || !vrd::rawRead(fd, buffer, bytes)) return Status::Cut;
        if (left != UINT64_MAX) left -= bytes;
        return Status::Ok;
    }
    Status word(uint32_t *w) { return take(w, sizeof *w); }
};

Source sourceOf(int fd) { return Source{fd, vrd::rawRemaining(fd)}; }

// A block of count elements from the memory layer (never null on success).
template <typename T>
Status allocate(T *&block, uint64_t count) {
    if (count > SIZE_MAX / sizeof(T)) return Status::NoMem;
    block = static_cast<T *>(mallocMem(static_cast<size_t>(count) * sizeof(T)));
    return block != nullptr ? Status::Ok : Status::NoMem;
}

#define TRY(expression)                                \
    do {                                               \
        Status tried_ = (expression);                  \
        if (tried_ != Status::Ok) return tried_;       \
    } while (0)

// One bit per element, zeroed, released with its owner: visit marks for
// chains (acyclic walks) and occupancy of slab slots and string offsets.
class Marks {
public:
    Marks() = default;
    Marks(const Marks &) = delete;
    Marks &operator=(const Marks &) = delete;
    ~Marks() { freeMem(bits_); }

    Status init(uint64_t n) {
        freeMem(bits_);
        bits_ = nullptr;
        size_ = n;
        uint64_t bytes = n / 8 + 1;
        TRY(allocate(bits_, bytes));
        std::memset(bits_, 0, static_cast<size_t>(bytes));
        return Status::Ok;
    }
    bool test(uint64_t i) const { return i < size_ && (bits_[i / 8] >> (i % 8) & 1) != 0; }
    // Sets bit i; false when it was already set.
    bool claim(uint64_t i) {
        if (test(i)) return false;
        bits_[i / 8] = static_cast<uint8_t>(bits_[i / 8] | 1u << (i % 8));
        return true;
    }
    // Claims bits [first, first + n); false when any of them was set.
    bool claimRun(uint64_t first, uint64_t n) {
        for (uint64_t i = first; i < first + n; ++i)
            if (!claim(i)) return false;
        return true;
    }

private:
    uint8_t *bits_ = nullptr;
    uint64_t size_ = 0;
};

// ---- staged sections: read and checked apart from the store ----

struct KeyStage {
    char *text = nullptr;
    int32_t textUsed = 0;
    uint32_t count = 0;  // records below count are initialised
    uint32_t *offsets = nullptr;
    uint32_t *next = nullptr;
    uint32_t *index = nullptr;
    KeyRecord *records = nullptr;
    Marks withForms;  // keys whose stored first word was non-zero
};

struct CoordStage {
    uint16_t count = 0;
    int32_t *values = nullptr;
    uint16_t *next = nullptr;
    uint16_t *index = nullptr;
};

struct PointStage {
    CoordStage x, y;
    int32_t count = 0;
    PointRecord *records = nullptr;
    int32_t *index = nullptr;
};

struct StringStage {
    int32_t used = 0;
    char *text = nullptr;
    int32_t *index = nullptr;
    Marks starts;  // offsets at which an entry starts
};

struct IntStage {
    int32_t count = 0;
    int32_t *values = nullptr;
};

struct RealStage {
    int32_t count = 0;
    double *values = nullptr;
};

void releaseForms(KeyRecord *records, uint32_t count) {
    for (uint32_t k = 0; k < count; ++k) {
        if (records[k].formRecords == nullptr) continue;
        freeMem(records[k].formRecords);
        freeMem(records[k].slabSlots);
    }
}

void release(KeyStage &k) {
    if (k.records != nullptr) releaseForms(k.records, k.count);
    freeMem(k.text);
    freeMem(k.offsets);
    freeMem(k.next);
    freeMem(k.index);
    freeMem(k.records);
    k.text = nullptr;
    k.offsets = k.next = k.index = nullptr;
    k.records = nullptr;
    k.textUsed = 0;
    k.count = 0;
}

void release(CoordStage &c) {
    freeMem(c.values);
    freeMem(c.next);
    freeMem(c.index);
    c.values = nullptr;
    c.next = c.index = nullptr;
    c.count = 0;
}

void release(PointStage &p) {
    release(p.x);
    release(p.y);
    freeMem(p.records);
    freeMem(p.index);
    p.records = nullptr;
    p.index = nullptr;
    p.count = 0;
}

void release(StringStage &s) {
    freeMem(s.text);
    freeMem(s.index);
    s.text = nullptr;
    s.index = nullptr;
    s.used = 0;
}

void release(IntStage &n) {
    freeMem(n.values);
    n.values = nullptr;
    n.count = 0;
}

void release(RealStage &r) {
    freeMem(r.values);
    r.values = nullptr;
    r.count = 0;
}

// ---- the key section ----

// Every keyword offset lies inside the text and its text ends there; every
// chain link and bucket head names a key or ends, and no key is met twice.
Status checkKeywords(const KeyStage &k) {
    for (uint32_t key = 0; key < k.count; ++key) {
        uint32_t offset = k.offsets[key];
        if (offset >= static_cast<uint32_t>(k.textUsed) ||
            std::memchr(k.text + offset, 0, static_cast<size_t>(k.textUsed) - offset) == nullptr)
            return Status::Bad;
    }
    Marks seen;
    TRY(seen.init(k.count));
    for (int b = 0; b < vrd::kKeywordBuckets; ++b) {
        for (uint32_t key = k.index[b]; key != VRD_NO_KEY; key = k.next[key])
            if (key >= k.count || !seen.claim(key)) return Status::Bad;
    }
    return Status::Ok;
}

// Turns the nine stored words into a key record.  A key without forms must
// look exactly like a new key record (reuse flag aside): its counts and
// capacities are trusted by form creation without a form array behind them.
Status unpackKeyRecord(const uint32_t *w, KeyRecord *k) {
    bool hasForms = w[0] != 0;
    if (!hasForms) {
        if (w[1] != 0 || w[2] != 0 || w[3] != 0xFFFFFFFFu || w[5] != 0 || w[6] != 0 || w[7] != 0 ||
            w[8] != 0xFFFFFFFFu)
            return Status::Bad;
        *k = KeyRecord{nullptr, 0, 0, -1, w[4], nullptr, 0, 0, -1};
        return Status::Ok;
    }
    if (static_cast<int32_t>(w[7]) < 0) return Status::Bad;
    *k = KeyRecord{nullptr, w[2], w[2], static_cast<int32_t>(w[3]), w[4], nullptr,
                   static_cast<int32_t>(w[7]), static_cast<int32_t>(w[7]), static_cast<int32_t>(w[8])};
    return Status::Ok;
}

// Reads the form records and slab of one key that has forms; the capacities
// become the counts.
Status readFormData(Source &src, KeyRecord &k) {
    uint64_t bytes = uint64_t{k.formCount} * sizeof(FormRecord) + uint64_t(k.slabUsed) * sizeof(VRDentity);
    if (!src.has(bytes)) return Status::Cut;
    TRY(allocate(k.formRecords, k.formCount));
    TRY(allocate(k.slabSlots, static_cast<uint64_t>(k.slabUsed)));
    TRY(src.take(k.formRecords, k.formCount * sizeof(FormRecord)));
    return src.take(k.slabSlots, static_cast<size_t>(k.slabUsed) * sizeof(VRDentity));
}

// A form entity must name a record of a key that has forms; entities of
// other kinds point into later sections and are checked once those are read.
bool formResolves(VRDentity e, const KeyRecord *records, uint32_t count) {
    if (!vrd::isForm(e)) return true;
    uint32_t key = vrd::formKey(e);
    return key < count && records[key].formRecords != nullptr && e.second < records[key].formCount;
}

// Free blocks lie inside slabUsed, at least two slots long, and neither
// overlap each other (which also rules out cycles) nor a form's run.
Status checkFreeBlocks(const KeyRecord &k, Marks &slots) {
    int32_t block = k.slabFree;
    while (block != -1) {
        if (block < 0 || block >= k.slabUsed) return Status::Bad;
        VRDentity header = k.slabSlots[block];
        auto length = static_cast<int32_t>(header.second);
        if (length < 2 || length > k.slabUsed - block || !slots.claimRun(uint64_t(block), uint64_t(length)))
            return Status::Bad;
        block = static_cast<int32_t>(header.first);
    }
    return Status::Ok;
}

// The chain of killed records: in range and acyclic while it runs over
// killed, empty records.  It may end at any other record, as form creation
// ends it there (entities added to a killed form overwrite its link).
Status checkFreeForms(const KeyRecord &k) {
    Marks seen;
    TRY(seen.init(k.formCount));
    int32_t form = k.freeForms;
    while (form != -1) {
        if (form < 0 || static_cast<uint32_t>(form) >= k.formCount || !seen.claim(uint32_t(form)))
            return Status::Bad;
        const FormRecord &f = k.formRecords[form];
        if (!vrd::isKilled(f) || vrd::entityCount(f) != 0) break;
        form = static_cast<int32_t>(f.data[0]);
    }
    return Status::Ok;
}

// Owners and property lists are followed as forms by the routines that use
// them, whatever their kind bits: one with a tag must resolve as a form.
bool linkResolves(VRDentity e, const KeyRecord *records, uint32_t count) {
    return !vrd::hasTag(e) || formResolves(VRDentity{e.first | vrd::kFormBit, e.second}, records, count);
}

// Every form's run lies inside slabUsed and overlaps no other run or free
// block; every form entity held by a record names an existing form.
Status checkKeyForms(const KeyStage &stage, const KeyRecord &k) {
    Marks slots;
    TRY(slots.init(static_cast<uint64_t>(k.slabUsed)));
    TRY(checkFreeBlocks(k, slots));
    for (uint32_t i = 0; i < k.formCount; ++i) {
        const FormRecord &f = k.formRecords[i];
        if (!linkResolves(f.owner, stage.records, stage.count) ||
            !linkResolves(f.propertyList, stage.records, stage.count))
            return Status::Bad;
        uint32_t n = vrd::entityCount(f);
        if (n == 1 && !formResolves(VRDentity{f.data[0], f.data[1]}, stage.records, stage.count))
            return Status::Bad;
        if (n < 2) continue;
        uint64_t first = f.data[0];
        if (first + n > static_cast<uint64_t>(k.slabUsed) || !slots.claimRun(first, n)) return Status::Bad;
        for (uint32_t j = 0; j < n; ++j)
            if (!formResolves(k.slabSlots[first + j], stage.records, stage.count)) return Status::Bad;
    }
    return checkFreeForms(k);
}

Status readKeySection(Source &src, KeyStage &stage) {
    uint32_t textUsed;
    TRY(src.word(&textUsed));
    if (textUsed >= INT32_MAX) return Status::Bad;
    if (!src.has(textUsed)) return Status::Cut;
    TRY(allocate(stage.text, uint64_t{textUsed} + 1));
    stage.textUsed = static_cast<int32_t>(textUsed);
    TRY(src.take(stage.text, textUsed));
    stage.text[textUsed] = '\0';

    uint32_t count;
    TRY(src.word(&count));
    if (count >= VRD_NO_KEY) return Status::Bad;
    uint64_t perKey = 2 * sizeof(uint32_t) + kKeyRecordWords * sizeof(uint32_t);
    if (!src.has(count * perKey + kKeywordIndexBytes)) return Status::Cut;
    TRY(allocate(stage.offsets, count));
    TRY(allocate(stage.next, count));
    TRY(allocate(stage.index, vrd::kKeywordBuckets));
    TRY(allocate(stage.records, count));
    std::memset(stage.records, 0, count * sizeof(KeyRecord));
    stage.count = count;
    TRY(src.take(stage.offsets, count * sizeof(uint32_t)));
    TRY(src.take(stage.next, count * sizeof(uint32_t)));
    {
        uint32_t *words = nullptr;
        TRY(allocate(words, uint64_t{count} * kKeyRecordWords));
        Status status = src.take(words, count * kKeyRecordWords * sizeof(uint32_t));
        if (status == Status::Ok) status = stage.withForms.init(count);
        for (uint32_t k = 0; status == Status::Ok && k < count; ++k) {
            status = unpackKeyRecord(words + k * kKeyRecordWords, &stage.records[k]);
            if (words[k * kKeyRecordWords] != 0) stage.withForms.claim(k);
        }
        freeMem(words);
        TRY(status);
    }
    TRY(src.take(stage.index, kKeywordIndexBytes));
    TRY(checkKeywords(stage));
    for (uint32_t k = 0; k < count; ++k)
        if (stage.withForms.test(k)) TRY(readFormData(src, stage.records[k]));
    for (uint32_t k = 0; k < count; ++k)
        if (stage.records[k].formRecords != nullptr) TRY(checkKeyForms(stage, stage.records[k]));
    return Status::Ok;
}

// ---- the point section ----

// A chain of 16-bit links over `count` entries: every head and link names an
// entry or ends, and no entry is met twice.
Status checkCoordChains(const CoordStage &c) {
    Marks seen;
    TRY(seen.init(c.count));
    for (int b = 0; b < vrd::kCoordBuckets; ++b) {
        for (uint16_t e = c.index[b]; e != vrd::kCoordEnd; e = c.next[e])
            if (e >= c.count || !seen.claim(e)) return Status::Bad;
    }
    return Status::Ok;
}

// The stored count is bounded by the table's capacity limit, which keeps
// every packed point's second word below the table-point range.
Status readCoordTable(Source &src, CoordStage &c, uint32_t limit) {
    uint32_t count;
    TRY(src.word(&count));
    if (count > limit) return Status::Bad;
    if (!src.has(uint64_t{count} * 6 + kCoordIndexBytes)) return Status::Cut;
    TRY(allocate(c.values, count));
    TRY(allocate(c.next, count));
    TRY(allocate(c.index, vrd::kCoordBuckets));
    c.count = static_cast<uint16_t>(count);
    TRY(src.take(c.values, count * sizeof(int32_t)));
    TRY(src.take(c.next, count * sizeof(uint16_t)));
    TRY(src.take(c.index, kCoordIndexBytes));
    return checkCoordChains(c);
}

Status checkPointChains(const PointStage &p) {
    Marks seen;
    TRY(seen.init(static_cast<uint64_t>(p.count)));
    for (int b = 0; b < vrd::kPointBuckets; ++b) {
        for (int32_t e = p.index[b]; e != -1; e = p.records[e].next)
            if (e < 0 || e >= p.count || !seen.claim(uint64_t(e))) return Status::Bad;
    }
    return Status::Ok;
}

Status readPointSection(Source &src, PointStage &stage) {
    TRY(readCoordTable(src, stage.x, kXcoordLimit));
    TRY(readCoordTable(src, stage.y, kYcoordLimit));
    uint32_t count;
    TRY(src.word(&count));
    if (count > kPointLimit) return Status::Bad;
    if (count == 0) return Status::Ok;  // no records and no index follow
    if (!src.has(uint64_t{count} * sizeof(PointRecord) + kPointIndexBytes)) return Status::Cut;
    TRY(allocate(stage.records, count));
    TRY(allocate(stage.index, vrd::kPointBuckets));
    stage.count = static_cast<int32_t>(count);
    TRY(src.take(stage.records, count * sizeof(PointRecord)));
    TRY(src.take(stage.index, kPointIndexBytes));
    return checkPointChains(stage);
}

// ---- the string section ----

// Entries tile the text block from offset 0: a four-byte link, at least the
// terminating zero of the text.  Marks each entry's start.
Status mapStringEntries(const char *text, int32_t used, Marks &starts) {
    TRY(starts.init(static_cast<uint64_t>(used)));
    int32_t at = 0;
    while (at < used) {
        if (used - at < 5) return Status::Bad;
        const void *end = std::memchr(text + at + 4, 0, static_cast<size_t>(used - at - 4));
        if (end == nullptr) return Status::Bad;
        starts.claim(uint64_t(at));
        at = static_cast<int32_t>(static_cast<const char *>(end) - text) + 1;
    }
    return Status::Ok;
}

int32_t linkAt(const char *text, int32_t offset) {
    int32_t link;
    std::memcpy(&link, text + offset, sizeof link);
    return link;
}

// Every chain head and link starts an entry or ends, no entry met twice.
Status checkStringChains(const StringStage &s) {
    Marks seen;
    TRY(seen.init(static_cast<uint64_t>(s.used)));
    for (int b = 0; b < vrd::kStringBuckets; ++b) {
        for (int32_t e = s.index[b]; e != -1; e = linkAt(s.text, e))
            if (e < 0 || !s.starts.test(uint64_t(e)) || !seen.claim(uint64_t(e))) return Status::Bad;
    }
    return Status::Ok;
}

Status readStringSection(Source &src, StringStage &stage) {
    uint32_t used;
    TRY(src.word(&used));
    if (used >= kPayloadLimit) return Status::Bad;  // no entry may start at 2^27 or beyond
    if (!src.has(uint64_t{used} + kStringIndexBytes)) return Status::Cut;
    TRY(allocate(stage.text, uint64_t{used} + 1));
    TRY(allocate(stage.index, vrd::kStringBuckets));
    stage.used = static_cast<int32_t>(used);
    TRY(src.take(stage.text, used));
    stage.text[used] = '\0';
    TRY(src.take(stage.index, kStringIndexBytes));
    TRY(mapStringEntries(stage.text, stage.used, stage.starts));
    return checkStringChains(stage);
}

// ---- the big-integer and real sections ----

template <typename T>
Status readValues(Source &src, T *&values, int32_t &count) {
    uint32_t n;
    TRY(src.word(&n));
    if (n >= kPayloadLimit) return Status::Bad;  // every index fits 27 bits
    if (!src.has(uint64_t{n} * sizeof(T))) return Status::Cut;
    TRY(allocate(values, n));
    count = static_cast<int32_t>(n);
    return src.take(values, n * sizeof(T));
}

// ---- installing sections in the store ----

void emptyKeys(VRDstore *s) {
    if (s->keyRecords != nullptr) releaseForms(s->keyRecords, s->keyCount);
    freeMem(s->keywordText);
    freeMem(s->keywordOffsets);
    freeMem(s->keywordNext);
    freeMem(s->keywordIndex);
    freeMem(s->keyRecords);
    s->keywordText = nullptr;
    s->keywordOffsets = s->keywordNext = s->keywordIndex = nullptr;
    s->keyRecords = nullptr;
    s->keywordTextUsed = s->keywordTextCapacity = 0;
    s->keyCapacity = s->keyCount = 0;
}

void emptyPoints(VRDstore *s) {
    freeMem(s->xcoordValues);
    freeMem(s->xcoordNext);
    freeMem(s->xcoordIndex);
    freeMem(s->ycoordValues);
    freeMem(s->ycoordNext);
    freeMem(s->ycoordIndex);
    freeMem(s->pointRecords);
    freeMem(s->pointIndex);
    s->xcoordValues = s->ycoordValues = nullptr;
    s->xcoordNext = s->xcoordIndex = s->ycoordNext = s->ycoordIndex = nullptr;
    s->xcoordCount = s->xcoordCapacity = s->ycoordCount = s->ycoordCapacity = 0;
    s->pointRecords = nullptr;
    s->pointIndex = nullptr;
    s->pointCount = s->pointCapacity = 0;
}

// The string lookup describes the chains it was built on: a replaced area
// starts without one and builds it again as its lookups need it.
void emptyStrings(VRDstore *s) {
    vrd::dropStringLookup(s);
    freeMem(s->stringText);
    freeMem(s->stringIndex);
    s->stringText = nullptr;
    s->stringIndex = nullptr;
    s->stringUsed = s->stringCapacity = 0;
}

// The lookup indexes of the bigint and real tables describe the entries
// they were built on: a replaced table gets them rebuilt from scratch.
void refreshNumberIndexes(VRDstore *s) {
    vrd::dropNumberIndexes(s);
    if (s->bigintCount > 0) vrd::prepareBigintIndex(s);
    if (s->realCount > 0) vrd::prepareRealIndex(s);
}

void emptyInts(VRDstore *s) {
    freeMem(s->bigintValues);
    s->bigintValues = nullptr;
    s->bigintCount = s->bigintCapacity = 0;
    refreshNumberIndexes(s);
}

void emptyReals(VRDstore *s) {
    freeMem(s->realValues);
    s->realValues = nullptr;
    s->realCount = s->realCapacity = 0;
    refreshNumberIndexes(s);
}

// Each commit hands the staged blocks to the store (the stage keeps none)
// and sets every capacity to its count.
void commit(VRDstore *s, KeyStage &k) {
    emptyKeys(s);
    s->keywordText = k.text;
    s->keywordOffsets = k.offsets;
    s->keywordNext = k.next;
    s->keywordIndex = k.index;
    s->keyRecords = k.records;
    s->keywordTextUsed = s->keywordTextCapacity = k.textUsed;
    s->keyCapacity = s->keyCount = k.count;
    k.text = nullptr;
    k.offsets = k.next = k.index = nullptr;
    k.records = nullptr;
    k.count = 0;
}

void commit(VRDstore *s, PointStage &p) {
    emptyPoints(s);
    s->xcoordValues = p.x.values;
    s->xcoordNext = p.x.next;
    s->xcoordIndex = p.x.index;
    s->xcoordCount = s->xcoordCapacity = p.x.count;
    s->ycoordValues = p.y.values;
    s->ycoordNext = p.y.next;
    s->ycoordIndex = p.y.index;
    s->ycoordCount = s->ycoordCapacity = p.y.count;
    s->pointRecords = p.records;
    s->pointIndex = p.index;
    s->pointCount = s->pointCapacity = p.count;
    p.x = CoordStage{};
    p.y = CoordStage{};
    p.records = nullptr;
    p.index = nullptr;
    p.count = 0;
}

void commit(VRDstore *s, StringStage &t) {
    emptyStrings(s);
    s->stringText = t.text;
    s->stringIndex = t.index;
    s->stringUsed = s->stringCapacity = t.used;
    t.text = nullptr;
    t.index = nullptr;
    t.used = 0;
}

void commit(VRDstore *s, IntStage &n) {
    emptyInts(s);
    s->bigintValues = n.values;
    s->bigintCount = s->bigintCapacity = n.count;
    refreshNumberIndexes(s);
    n.values = nullptr;
    n.count = 0;
}

void commit(VRDstore *s, RealStage &r) {
    emptyReals(s);
    s->realValues = r.values;
    s->realCount = s->realCapacity = r.count;
    refreshNumberIndexes(s);
    r.values = nullptr;
    r.count = 0;
}

// ---- the five sections as steps ----

struct Stages {
    KeyStage keys;
    PointStage points;
    StringStage strings;
    IntStage ints;
    RealStage reals;
    ~Stages() {
        release(keys);
        release(points);
        release(strings);
        release(ints);
        release(reals);
    }
};

enum Section { kKeys, kPoints, kStrings, kInts, kReals, kSectionCount };

constexpr const char *kReaderNames[kSectionCount] = {"VRDkeyReadBinary", "VRDpointReadBinary",
                                                      "VRDstringReadBinary", "VRDintReadBinary",
                                                      "VRDrealReadBinary"};

Status readSection(Source &src, Stages &st, int section) {
    switch (section) {
    case kKeys: return readKeySection(src, st.keys);
    case kPoints: return readPointSection(src, st.points);
    case kStrings: return readStringSection(src, st.strings);
    case kInts: return readValues(src, st.ints.values, st.ints.count);
    default: return readValues(src, st.reals.values, st.reals.count);
    }
}

void commitSection(VRDstore *s, Stages &st, int section) {
    switch (section) {
    case kKeys: commit(s, st.keys); break;
    case kPoints: commit(s, st.points); break;
    case kStrings: commit(s, st.strings); break;
    case kInts: commit(s, st.ints); break;
    default: commit(s, st.reals); break;
    }
}

void emptySection(VRDstore *s, int section) {
    switch (section) {
    case kKeys: emptyKeys(s); break;
    case kPoints: emptyPoints(s); break;
    case kStrings: emptyStrings(s); break;
    case kInts: emptyInts(s); break;
    default: emptyReals(s); break;
    }
}

// Reports a failed section: -12 belongs to the file routine, the end of the
// file and a lack of memory to the section's own reader.
void reportSection(Status status, int section) {
    if (status == Status::Bad)
        vrd::report("VRDfileReadBinary", VRD_E_INCOMPATIBLE);
    else
        vrd::report(kReaderNames[section], status == Status::Cut ? VRD_E_EOF : VRD_E_NOMEM);
}

// A section read on its own: replaces its pool when sound; a cut or a lack
// of memory leaves the pool empty, a malformed section leaves it untouched.
int32_t readOneSection(int fd, int section) {
    VRDstore *s = vrd::needStore(kReaderNames[section]);
    if (s == nullptr) return 1;
    Source src = sourceOf(fd);
    Stages st;
    Status status = readSection(src, st, section);
    if (status != Status::Ok) {
        if (status != Status::Bad) emptySection(s, section);
        reportSection(status, section);
        return 1;
    }
    commitSection(s, st, section);
    return 0;
}

// Reads the five sections after the version word.  Nothing reaches the
// store until every section has been read and checked, so a malformed file
// leaves it untouched; a file that ends early (or a lack of memory) replaces
// the sections before the failing one, empties that one and keeps the rest.
// Forms may then name values the store does not hold, and so may a whole
// file (a dump of such a store): value entities are not checked against the
// pools, because every routine that follows one bounds its index by the
// pool's count, so it reads as absent and nothing outside a block is touched.
int32_t readSections(VRDstore *s, int fd) {
    Source src = sourceOf(fd);
    Stages st;
    for (int section = 0; section < kSectionCount; ++section) {
        Status status = readSection(src, st, section);
        if (status == Status::Ok) continue;
        reportSection(status, section);
        if (status == Status::Bad) return 1;
        for (int done = 0; done < section; ++done) commitSection(s, st, done);
        emptySection(s, section);
        return 1;
    }
    for (int section = 0; section < kSectionCount; ++section) commitSection(s, st, section);
    return 0;
}

// Closes the descriptor whatever the outcome.
struct Closer {
    int fd;
    ~Closer() { vrd::rawClose(fd); }
};

}  // namespace

extern "C" {

int32_t VRD_CALL VRDkeyWriteBinary(int fd) {
    VRDstore *s = vrd::needStore("VRDkeyWriteBinary");
    if (s == nullptr) return 1;
    putWord(fd, static_cast<uint32_t>(s->keywordTextUsed));
    vrd::rawWrite(fd, s->keywordText, static_cast<size_t>(s->keywordTextUsed));
    putWord(fd, s->keyCount);
    vrd::rawWrite(fd, s->keywordOffsets, s->keyCount * sizeof(uint32_t));
    vrd::rawWrite(fd, s->keywordNext, s->keyCount * sizeof(uint32_t));
    putKeyRecords(fd, s->keyRecords, s->keyCount);
    putTable(fd, s->keywordIndex, kNoKeywords.heads, kKeywordIndexBytes);
    for (uint32_t k = 0; k < s->keyCount; ++k) {
        const KeyRecord &key = s->keyRecords[k];
        if (key.formRecords == nullptr) continue;
        vrd::rawWrite(fd, key.formRecords, key.formCount * sizeof(FormRecord));
        vrd::rawWrite(fd, key.slabSlots, static_cast<size_t>(key.slabUsed) * sizeof(VRDentity));
    }
    return 0;
}

int32_t VRD_CALL VRDpointWriteBinary(int fd) {
    VRDstore *s = vrd::needStore("VRDpointWriteBinary");
    if (s == nullptr) return 1;
    putCoordTable(fd, s->xcoordValues, s->xcoordNext, s->xcoordIndex, s->xcoordCount);
    putCoordTable(fd, s->ycoordValues, s->ycoordNext, s->ycoordIndex, s->ycoordCount);
    putWord(fd, static_cast<uint32_t>(s->pointCount));
    if (s->pointCount != 0) {
        vrd::rawWrite(fd, s->pointRecords, static_cast<size_t>(s->pointCount) * sizeof(PointRecord));
        putTable(fd, s->pointIndex, kNoPoints.heads, kPointIndexBytes);
    }
    return 0;
}

int32_t VRD_CALL VRDstringWriteBinary(int fd) {
    VRDstore *s = vrd::needStore("VRDstringWriteBinary");
    if (s == nullptr) return 1;
    putWord(fd, static_cast<uint32_t>(s->stringUsed));
    vrd::rawWrite(fd, s->stringText, static_cast<size_t>(s->stringUsed));
    putTable(fd, s->stringIndex, kNoStrings.heads, kStringIndexBytes);
    return 0;
}

int32_t VRD_CALL VRDintWriteBinary(int fd) {
    VRDstore *s = vrd::needStore("VRDintWriteBinary");
    if (s == nullptr) return 1;
    putWord(fd, static_cast<uint32_t>(s->bigintCount));
    vrd::rawWrite(fd, s->bigintValues, static_cast<size_t>(s->bigintCount) * sizeof(int32_t));
    return 0;
}

int32_t VRD_CALL VRDrealWriteBinary(int fd) {
    VRDstore *s = vrd::needStore("VRDrealWriteBinary");
    if (s == nullptr) return 1;
    putWord(fd, static_cast<uint32_t>(s->realCount));
    vrd::rawWrite(fd, s->realValues, static_cast<size_t>(s->realCount) * sizeof(double));
    return 0;
}

int32_t VRD_CALL VRDfileWriteBinary(const char *path) {
    if (vrd::needStore("VRDfileWriteBinary") == nullptr) return 1;
    int fd = vrd::rawOpenWrite(path);
    if (fd < 0) {
        vrd::report("VRDfileWriteBinary", VRD_E_OPEN);
        return 1;
    }
    putWord(fd, kVersion);
    VRDkeyWriteBinary(fd);
    VRDpointWriteBinary(fd);
    VRDstringWriteBinary(fd);
    VRDintWriteBinary(fd);
    VRDrealWriteBinary(fd);
    vrd::rawClose(fd);
    return 0;
}

// The same dump, with every write, the cut at its end and the close checked.
// errno is put back after each report, so the caller can give the system's
// reason even when the handler touched it.
int32_t VRD_CALL VRDfileWriteBinaryChecked(const char *path) {
    constexpr const char *kRoutine = "VRDfileWriteBinaryChecked";
    if (vrd::needStore(kRoutine) == nullptr) return 1;
    int fd = vrd::rawOpenWrite(path);
    if (fd < 0) {
        int error = errno;
        vrd::report(kRoutine, VRD_E_OPEN);
        errno = error;
        return 1;
    }
    vrd::rawWriteErrorClear();
    putWord(fd, kVersion);
    VRDkeyWriteBinary(fd);
    VRDpointWriteBinary(fd);
    VRDstringWriteBinary(fd);
    VRDintWriteBinary(fd);
    VRDrealWriteBinary(fd);
    if (vrd::rawFinish(fd)) return 0;
    int error = vrd::rawWriteError().error;
    vrd::report(kRoutine, VRD_E_WRITE);
    errno = error;
    return 1;
}

int32_t VRD_CALL VRDkeyReadBinary(int fd) { return readOneSection(fd, kKeys); }
int32_t VRD_CALL VRDpointReadBinary(int fd) { return readOneSection(fd, kPoints); }
int32_t VRD_CALL VRDstringReadBinary(int fd) { return readOneSection(fd, kStrings); }
int32_t VRD_CALL VRDintReadBinary(int fd) { return readOneSection(fd, kInts); }
int32_t VRD_CALL VRDrealReadBinary(int fd) { return readOneSection(fd, kReals); }

int32_t VRD_CALL VRDfileReadBinary(const char *path) {
    VRDstore *s = vrd::needStore("VRDfileReadBinary");
    if (s == nullptr) return 1;
    int fd = vrd::rawOpenRead(path);
    if (fd < 0) {
        vrd::report("VRDfileReadBinary", VRD_E_OPEN);
        return 1;
    }
    Closer closer{fd};
    uint32_t version;
    if (!vrd::rawRead(fd, &version, sizeof version)) {
        vrd::report("VRDfileReadBinary", VRD_E_EOF);
        return 1;
    }
    if (version != kVersion) {
        vrd::report("VRDfileReadBinary", VRD_E_INCOMPATIBLE);
        return 1;
    }
    return readSections(s, fd);
}

}  // extern "C"
