// numberfile.cpp - the big-integer and real sections of the binary file: write, read and install.
#include "pools/numindex.h"

namespace vrd {
namespace {

template <typename T>
Status readValues(Source &src, T *&values, int32_t &count) {
    uint32_t n;
    VRD_TRY(src.word(&n));
    if (n >= kPayloadLimit) return Status::Bad;  // every index fits 27 bits
    VRD_TRY(src.need(uint64_t{n} * sizeof(T)));
    VRD_TRY(allocate(values, n));
    count = static_cast<int32_t>(n);
    return src.take(values, n * sizeof(T));
}

}  // namespace

void writeIntSection(int fd, const VRDstore *s) {
    const NumberArea &n = numbers(s);
    putWord(fd, static_cast<uint32_t>(n.bigintCount));
    rawWrite(fd, n.bigintValues, static_cast<size_t>(n.bigintCount) * kBigintBytes);
}

void writeRealSection(int fd, const VRDstore *s) {
    const NumberArea &n = numbers(s);
    putWord(fd, static_cast<uint32_t>(n.realCount));
    rawWrite(fd, n.realValues, static_cast<size_t>(n.realCount) * kRealBytes);
}

Status readIntSection(Source &src, IntStage &stage) { return readValues(src, stage.values, stage.count); }

Status readRealSection(Source &src, RealStage &stage) { return readValues(src, stage.values, stage.count); }

void emptyInts(VRDstore *s) {
    NumberArea &n = numbers(s);
    freeMem(n.bigintValues);
    n.bigintValues = nullptr;
    n.bigintCount = n.bigintCapacity = 0;
    dropNumberIndexes(n);  // rebuilt from the new entries on the next lookup
}

void emptyReals(VRDstore *s) {
    NumberArea &n = numbers(s);
    freeMem(n.realValues);
    n.realValues = nullptr;
    n.realCount = n.realCapacity = 0;
    dropNumberIndexes(n);  // rebuilt from the new entries on the next lookup
}

void installInts(VRDstore *s, IntStage &stage) {
    emptyInts(s);
    NumberArea &n = numbers(s);
    n.bigintValues = stage.values;
    n.bigintCount = n.bigintCapacity = stage.count;
    stage = IntStage{};
}

void installReals(VRDstore *s, RealStage &stage) {
    emptyReals(s);
    NumberArea &n = numbers(s);
    n.realValues = stage.values;
    n.realCount = n.realCapacity = stage.count;
    stage = RealStage{};
}

void release(IntStage &stage) {
    freeMem(stage.values);
    stage = IntStage{};
}

void release(RealStage &stage) {
    freeMem(stage.values);
    stage = RealStage{};
}

}  // namespace vrd
