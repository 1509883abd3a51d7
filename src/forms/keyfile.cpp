// keyfile.cpp - the binary file's key section: keyword parts, key records, each key's form records and slab.
#include <algorithm>

#include "forms/forms.h"

namespace vrd {
namespace {

// A key record in its 32-bit layout: the pointer words become 1 or 0.
void packKeyRecord(const KeyRecord &k, uint32_t *w) {
    w[0] = k.formRecords != nullptr ? 1 : 0;
    w[1] = k.formCapacity;
    w[2] = k.formCount;
    w[3] = static_cast<uint32_t>(k.freeForms);
    w[4] = k.reuseFreedForms;
    w[5] = hasSlab(k) ? 1 : 0;
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
        rawWrite(fd, all, bytes);
        freeMem(all);
        return;
    }
    uint32_t batch[64 * kKeyRecordWords];
    for (uint32_t k = 0; k < count;) {
        uint32_t n = 0;
        for (; n < 64 && k < count; ++n, ++k) packKeyRecord(records[k], batch + n * kKeyRecordWords);
        rawWrite(fd, batch, n * kKeyRecordWords * sizeof(uint32_t));
    }
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
        *k = KeyRecord{nullptr, 0, 0, -1, w[4], nullptr, 0, 0, -1, 0};
        return Status::Ok;
    }
    if (static_cast<int32_t>(w[7]) < 0) return Status::Bad;
    *k = KeyRecord{nullptr, w[2], w[2], static_cast<int32_t>(w[3]), w[4], nullptr,
                   static_cast<int32_t>(w[7]), static_cast<int32_t>(w[7]), static_cast<int32_t>(w[8]), 0};
    return Status::Ok;
}

// Reads the key records' words and turns them into staged records.
Status readKeyRecords(Source &src, KeySectionStage &stage) {
    uint32_t count = stage.count;
    uint32_t *words = nullptr;
    VRD_TRY(allocate(words, uint64_t{count} * kKeyRecordWords));
    Status status = src.take(words, count * kKeyRecordWords * sizeof(uint32_t));
    if (status == Status::Ok) status = stage.withForms.init(count);
    for (uint32_t k = 0; status == Status::Ok && k < count; ++k) {
        status = unpackKeyRecord(words + k * kKeyRecordWords, &stage.records[k]);
        if (words[k * kKeyRecordWords] != 0) stage.withForms.claim(k);
    }
    freeMem(words);
    return status;
}

// Gives a staged record a slab block of slabUsed slots.
Status allocateSlab(KeyRecord &k) {
    VRDentity *slots = nullptr;
    VRD_TRY(allocate(slots, static_cast<uint64_t>(k.slabUsed)));
    adoptSlab(k, slots);
    return Status::Ok;
}

// A form entity must name a record of a key that has forms; entities of
// other kinds point into later sections and are checked once those are read.
// Used once every staged key with forms has its form array: a key without
// forms was staged with formCount 0, so the count alone decides.
bool formResolves(VRDentity e, const KeyRecord *records, uint32_t count) {
    if (!isForm(e)) return true;
    uint32_t key = formKey(e);
    return key < count && e.second < records[key].formCount;
}

// Owners and property lists are followed as forms by the routines that use
// them, whatever their kind bits: one with a tag must resolve as a form.
bool linkResolves(VRDentity e, const KeyRecord *records, uint32_t count) {
    return !hasTag(e) || formResolves(VRDentity{e.first | kFormBit, e.second}, records, count);
}

// The checks of one key's form data, made as its parts arrive.  Together
// they keep: every owner, property list and held form entity names an
// existing form; every run lies inside slabUsed and overlaps no other run
// or free block; the free list and the chain of killed records are sound.
// The order of the checks does not matter: any failure refuses the file.
struct FormDataCheck {
    const KeySectionStage &stage;
    const KeyRecord &k;
    Marks inRuns;  // slots inside a form's run or a free block

    // Form records: links resolve, runs lie in the slab apart.
    Status records(const FormRecord *block, uint64_t, uint64_t n) {
        for (const FormRecord *f = block; f != block + n; ++f) {
            if (!linkResolves(f->owner, stage.records, stage.count) ||
                !linkResolves(f->propertyList, stage.records, stage.count))
                return Status::Bad;
            uint32_t count = entityCount(*f);
            if (count == 1 && !formResolves(VRDentity{f->entityData[0], f->entityData[1]}, stage.records, stage.count))
                return Status::Bad;
            if (count >= 2 && !inRuns.claimRun(f->entityData[0], count)) return Status::Bad;
        }
        return Status::Ok;
    }
    // Slab slots [first, first + n): a form entity inside a run names a form
    // (a free block's header may look like one).
    Status slots(const VRDentity *block, uint64_t first, uint64_t n) const {
        for (uint64_t i = 0; i < n; ++i)
            if (isForm(block[i]) && inRuns.test(first + i) && !formResolves(block[i], stage.records, stage.count))
                return Status::Bad;
        return Status::Ok;
    }
    // Free blocks lie inside slabUsed, at least two slots long, and overlap
    // neither each other (which also rules out cycles) nor a form's run.
    Status freeBlocks() {
        int32_t block = k.slabFree;
        while (block != -1) {
            if (block < 0 || block >= k.slabUsed) return Status::Bad;
            VRDentity header = slabOf(k)[block];
            auto length = static_cast<int32_t>(header.second);
            if (length < 2 || !inRuns.claimRun(uint64_t(block), uint64_t(length))) return Status::Bad;
            block = static_cast<int32_t>(header.first);
        }
        return Status::Ok;
    }
    // The chain of killed records: in range and acyclic while it runs over
    // killed, empty records.  It may end at any other record, as form
    // creation ends it there (entities added to a killed form overwrite its
    // link).
    Status freeForms() const {
        Marks seen;
        VRD_TRY(seen.init(k.formCount));
        int32_t form = k.freeForms;
        while (form != -1) {
            if (form < 0 || static_cast<uint32_t>(form) >= k.formCount || !seen.claim(uint32_t(form)))
                return Status::Bad;
            const FormRecord &f = k.formRecords[form];
            if (!isKilled(f) || entityCount(f) != 0) break;
            form = static_cast<int32_t>(f.entityData[0]);
        }
        return Status::Ok;
    }
    Status afterData() {
        VRD_TRY(freeBlocks());
        return freeForms();
    }
};

// Form data pass through a block of this size, checked there while the
// block is in the cache, then copied to their place: checking them in place
// after the read would fetch them from memory a second time.
constexpr size_t kBlockBytes = size_t{64} << 10;

// The block form data pass through, released with the read.
struct PassBlock {
    unsigned char *bytes = nullptr;
    PassBlock() = default;
    PassBlock(const PassBlock &) = delete;
    PassBlock &operator=(const PassBlock &) = delete;
    ~PassBlock() { freeMem(bytes); }
};

// Reads `count` elements into `to` through the block, each part checked by
// `check(part, first index, elements)` before it is copied.
template <typename T, typename Check>
Status takeChecked(Source &src, const PassBlock &pass, T *to, uint64_t count, Check check) {
    constexpr uint64_t kPerBlock = kBlockBytes / sizeof(T);
    T *block = reinterpret_cast<T *>(pass.bytes);
    for (uint64_t i = 0; i < count; i += kPerBlock) {
        uint64_t n = std::min(count - i, kPerBlock);
        VRD_TRY(src.take(block, n * sizeof(T)));
        VRD_TRY(check(block, i, n));
        std::memcpy(to + i, block, n * sizeof(T));
    }
    return Status::Ok;
}

// The bytes of form data that the key records announce, or kFormDataHuge
// when more than any file holds.
constexpr uint64_t kFormDataHuge = uint64_t{1} << 62;
uint64_t formDataBytes(const KeySectionStage &stage) {
    uint64_t total = 0;
    for (uint32_t key = 0; key < stage.count && total < kFormDataHuge; ++key)
        if (stage.withForms.test(key))
            total += uint64_t{stage.records[key].formCount} * sizeof(FormRecord) +
                     uint64_t(stage.records[key].slabUsed) * sizeof(VRDentity);
    return total;
}

// Reads one key's form records and slab, checking each block as it comes.
Status readCheckedFormData(Source &src, const PassBlock &pass, const KeySectionStage &stage, KeyRecord &k) {
    FormDataCheck check{stage, k, {}};
    VRD_TRY(check.inRuns.init(static_cast<uint64_t>(k.slabUsed)));
    VRD_TRY(takeChecked(src, pass, k.formRecords, k.formCount, [&check](const FormRecord *b, uint64_t i, uint64_t n) {
        return check.records(b, i, n);
    }));
    VRD_TRY(takeChecked(src, pass, slabOf(k), static_cast<uint64_t>(k.slabUsed),
                        [&check](const VRDentity *b, uint64_t i, uint64_t n) { return check.slots(b, i, n); }));
    return check.afterData();
}

// The form data, when the file holds all of it: every block is allocated
// first (so a lack of memory is met before any damage, as when nothing is
// checked before everything is read), then each key is read and checked.
Status readWholeFormData(Source &src, KeySectionStage &stage) {
    PassBlock pass;
    VRD_TRY(allocate(pass.bytes, kBlockBytes));
    for (uint32_t key = 0; key < stage.count; ++key) {
        if (!stage.withForms.test(key)) continue;
        KeyRecord &k = stage.records[key];
        VRD_TRY(allocate(k.formRecords, k.formCount));
        VRD_TRY(allocateSlab(k));
    }
    for (uint32_t key = 0; key < stage.count; ++key)
        if (stage.withForms.test(key)) VRD_TRY(readCheckedFormData(src, pass, stage, stage.records[key]));
    return Status::Ok;
}

// The form data of a file that ends inside them: read key by key, as far as
// the file goes, so that the early end is met where a plain read meets it
// (or memory runs out first).  Nothing is left to check.
Status readCutFormData(Source &src, KeySectionStage &stage) {
    for (uint32_t key = 0; key < stage.count; ++key) {
        if (!stage.withForms.test(key)) continue;
        KeyRecord &k = stage.records[key];
        uint64_t bytes = uint64_t{k.formCount} * sizeof(FormRecord) + uint64_t(k.slabUsed) * sizeof(VRDentity);
        VRD_TRY(src.need(bytes));
        VRD_TRY(allocate(k.formRecords, k.formCount));
        VRD_TRY(allocateSlab(k));
        VRD_TRY(src.take(k.formRecords, k.formCount * sizeof(FormRecord)));
        VRD_TRY(src.take(slabOf(k), static_cast<size_t>(k.slabUsed) * sizeof(VRDentity)));
    }
    return Status::Cut;
}

}  // namespace

void writeKeySection(int fd, const VRDstore *s) {
    writeKeywordHead(fd, s);
    uint32_t count = keyCount(s);
    putKeyRecords(fd, forms(s).keyRecords, count);
    writeKeywordIndex(fd, s);
    for (uint32_t k = 0; k < count; ++k) {
        const KeyRecord *key = formsOfKey(s, k);
        if (key == nullptr) continue;
        rawWrite(fd, key->formRecords, key->formCount * sizeof(FormRecord));
        rawWrite(fd, slabOf(*key), static_cast<size_t>(key->slabUsed) * sizeof(VRDentity));
    }
}

Status readKeySection(Source &src, KeySectionStage &stage) {
    VRD_TRY(readKeywordText(src, stage.keywords));
    VRD_TRY(readKeyCount(src, stage.keywords, kKeyRecordWords * sizeof(uint32_t)));
    uint32_t count = stage.keywords.count;
    VRD_TRY(allocate(stage.records, count));
    std::memset(stage.records, 0, count * sizeof(KeyRecord));
    stage.count = count;
    VRD_TRY(readKeywordLinks(src, stage.keywords));
    VRD_TRY(readKeyRecords(src, stage));
    VRD_TRY(readKeywordIndex(src, stage.keywords));
    Status whole = src.need(formDataBytes(stage));
    if (whole == Status::Cut) return readCutFormData(src, stage);
    VRD_TRY(whole);
    return readWholeFormData(src, stage);
}

void emptyKeys(VRDstore *s) {
    releaseForms(s);
    releaseKeywords(s);
}

void installKeys(VRDstore *s, KeySectionStage &stage) {
    emptyKeys(s);
    installKeywords(s, stage.keywords);
    forms(s).keyRecords = stage.records;
    stage.records = nullptr;
    stage.count = 0;
}

void release(KeySectionStage &stage) {
    if (stage.records != nullptr) releaseFormData(stage.records, stage.count);
    release(stage.keywords);
    freeMem(stage.records);
    stage.records = nullptr;
    stage.count = 0;
}

}  // namespace vrd
