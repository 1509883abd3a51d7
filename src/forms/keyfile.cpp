// keyfile.cpp - the binary file's key section: keyword parts, key records, each key's form records and slab.
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

// Reads the form records and slab of one key that has forms; the capacities
// become the counts.
Status readFormData(Source &src, KeyRecord &k) {
    uint64_t bytes = uint64_t{k.formCount} * sizeof(FormRecord) + uint64_t(k.slabUsed) * sizeof(VRDentity);
    if (!src.has(bytes)) return Status::Cut;
    VRD_TRY(allocate(k.formRecords, k.formCount));
    VRDentity *slots = nullptr;
    VRD_TRY(allocate(slots, static_cast<uint64_t>(k.slabUsed)));
    adoptSlab(k, slots);
    VRD_TRY(src.take(k.formRecords, k.formCount * sizeof(FormRecord)));
    return src.take(slots, static_cast<size_t>(k.slabUsed) * sizeof(VRDentity));
}

// A form entity must name a record of a key that has forms; entities of
// other kinds point into later sections and are checked once those are read.
bool formResolves(VRDentity e, const KeyRecord *records, uint32_t count) {
    if (!isForm(e)) return true;
    uint32_t key = formKey(e);
    return key < count && records[key].formRecords != nullptr && e.second < records[key].formCount;
}

// Free blocks lie inside slabUsed, at least two slots long, and neither
// overlap each other (which also rules out cycles) nor a form's run.
Status checkFreeBlocks(const KeyRecord &k, Marks &slots) {
    int32_t block = k.slabFree;
    while (block != -1) {
        if (block < 0 || block >= k.slabUsed) return Status::Bad;
        VRDentity header = slabOf(k)[block];
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

// Owners and property lists are followed as forms by the routines that use
// them, whatever their kind bits: one with a tag must resolve as a form.
bool linkResolves(VRDentity e, const KeyRecord *records, uint32_t count) {
    return !hasTag(e) || formResolves(VRDentity{e.first | kFormBit, e.second}, records, count);
}

// Every form's run lies inside slabUsed and overlaps no other run or free
// block; every form entity held by a record names an existing form.
Status checkKeyForms(const KeySectionStage &stage, const KeyRecord &k) {
    Marks slots;
    VRD_TRY(slots.init(static_cast<uint64_t>(k.slabUsed)));
    VRD_TRY(checkFreeBlocks(k, slots));
    for (uint32_t i = 0; i < k.formCount; ++i) {
        const FormRecord &f = k.formRecords[i];
        if (!linkResolves(f.owner, stage.records, stage.count) ||
            !linkResolves(f.propertyList, stage.records, stage.count))
            return Status::Bad;
        uint32_t n = entityCount(f);
        if (n == 1 && !formResolves(VRDentity{f.entityData[0], f.entityData[1]}, stage.records, stage.count))
            return Status::Bad;
        if (n < 2) continue;
        uint64_t first = f.entityData[0];
        if (first + n > static_cast<uint64_t>(k.slabUsed) || !slots.claimRun(first, n)) return Status::Bad;
        for (uint32_t j = 0; j < n; ++j)
            if (!formResolves(slabOf(k)[first + j], stage.records, stage.count)) return Status::Bad;
    }
    return checkFreeForms(k);
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
    for (uint32_t k = 0; k < count; ++k)
        if (stage.withForms.test(k)) VRD_TRY(readFormData(src, stage.records[k]));
    for (uint32_t k = 0; k < count; ++k)
        if (stage.records[k].formRecords != nullptr) VRD_TRY(checkKeyForms(stage, stage.records[k]));
    return Status::Ok;
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
