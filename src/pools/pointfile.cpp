// pointfile.cpp - the points area seen whole: its binary-file section and its report figures.
#include "pools/pointindex.h"

namespace vrd {
namespace {

constexpr EndTable<uint16_t, kCoordBuckets> kNoCoords{kCoordEnd};
constexpr EndTable<int32_t, kPointBuckets> kNoPoints{-1};

void putCoordTable(int fd, const int32_t *values, const uint16_t *next, const uint16_t *index, uint16_t count) {
    putWord(fd, count);
    rawWrite(fd, values, count * sizeof(int32_t));
    rawWrite(fd, next, count * sizeof(uint16_t));
    putTable(fd, index, kNoCoords.heads, kCoordIndexBytes);
}

// A chain of 16-bit links over `count` entries: every head and link names an
// entry or ends, and no entry is met twice.
Status checkCoordChains(const CoordStage &c) {
    Marks seen;
    VRD_TRY(seen.init(c.count));
    for (int b = 0; b < kCoordBuckets; ++b) {
        for (uint16_t e = c.index[b]; e != kCoordEnd; e = c.next[e])
            if (e >= c.count || !seen.claim(e)) return Status::Bad;
    }
    return Status::Ok;
}

// The stored count is bounded by the table's capacity limit, which keeps
// every packed point's second word below the table-point range.
Status readCoordTable(Source &src, CoordStage &c, uint32_t limit) {
    uint32_t count;
    VRD_TRY(src.word(&count));
    if (count > limit) return Status::Bad;
    VRD_TRY(src.need(uint64_t{count} * kCoordEntryBytes + kCoordIndexBytes));
    VRD_TRY(allocate(c.values, count));
    VRD_TRY(allocate(c.next, count));
    VRD_TRY(allocate(c.index, kCoordBuckets));
    c.count = static_cast<uint16_t>(count);
    VRD_TRY(src.take(c.values, count * sizeof(int32_t)));
    VRD_TRY(src.take(c.next, count * sizeof(uint16_t)));
    VRD_TRY(src.take(c.index, kCoordIndexBytes));
    return checkCoordChains(c);
}

Status checkPointChains(const PointStage &p) {
    Marks seen;
    VRD_TRY(seen.init(static_cast<uint64_t>(p.count)));
    for (int b = 0; b < kPointBuckets; ++b) {
        for (int32_t e = p.index[b]; e != -1; e = p.records[e].next)
            if (e < 0 || e >= p.count || !seen.claim(uint64_t(e))) return Status::Bad;
    }
    return Status::Ok;
}

void release(CoordStage &c) {
    freeMem(c.values);
    freeMem(c.next);
    freeMem(c.index);
    c = CoordStage{};
}

}  // namespace

const PointArea &settledPoints(const VRDstore *store) {
    PointArea &s = points(const_cast<VRDstore *>(store));
    settlePoints(s);
    return s;
}

void writePointSection(int fd, const VRDstore *store) {
    const PointArea &s = settledPoints(store);
    putCoordTable(fd, s.xcoordValues, s.xcoordNext, s.xcoordIndex, s.xcoordCount);
    putCoordTable(fd, s.ycoordValues, s.ycoordNext, s.ycoordIndex, s.ycoordCount);
    putWord(fd, static_cast<uint32_t>(s.pointCount));
    if (s.pointCount != 0) {
        rawWrite(fd, s.pointRecords, static_cast<size_t>(s.pointCount) * sizeof(PointRecord));
        putTable(fd, s.pointIndex, kNoPoints.heads, kPointIndexBytes);
    }
}

Status readPointSection(Source &src, PointStage &stage) {
    VRD_TRY(readCoordTable(src, stage.x, kXcoordLimit));
    VRD_TRY(readCoordTable(src, stage.y, kYcoordLimit));
    uint32_t count;
    VRD_TRY(src.word(&count));
    if (count > static_cast<uint32_t>(kPointLimit)) return Status::Bad;
    if (count == 0) return Status::Ok;  // no records and no index follow
    VRD_TRY(src.need(uint64_t{count} * sizeof(PointRecord) + kPointIndexBytes));
    VRD_TRY(allocate(stage.records, count));
    VRD_TRY(allocate(stage.index, kPointBuckets));
    stage.count = static_cast<int32_t>(count);
    VRD_TRY(src.take(stage.records, count * sizeof(PointRecord)));
    VRD_TRY(src.take(stage.index, kPointIndexBytes));
    return checkPointChains(stage);
}

// Hands the staged tables to the store (the stage keeps nothing); every
// capacity becomes its count.
void installPoints(VRDstore *store, PointStage &p) {
    releasePoints(store);
    PointArea &s = points(store);
    s.xcoordValues = p.x.values;
    s.xcoordNext = p.x.next;
    s.xcoordIndex = p.x.index;
    s.xcoordCount = s.xcoordCapacity = p.x.count;
    s.ycoordValues = p.y.values;
    s.ycoordNext = p.y.next;
    s.ycoordIndex = p.y.index;
    s.ycoordCount = s.ycoordCapacity = p.y.count;
    s.pointRecords = p.records;
    s.pointIndex = p.index;
    s.pointCount = s.pointCapacity = p.count;
    p = PointStage{};
}

void release(PointStage &p) {
    release(p.x);
    release(p.y);
    freeMem(p.records);
    freeMem(p.index);
    p = PointStage{};
}

PointFigures pointFigures(const VRDstore *store) {
    const PointArea &s = points(store);
    return PointFigures{s.xcoordCount,          s.xcoordCapacity,           s.ycoordCount,
                        s.ycoordCapacity,       s.pointCount,               s.pointCapacity,
                        s.xcoordValues != nullptr, s.ycoordValues != nullptr, s.pointRecords != nullptr};
}

void tallyCoordChains(const VRDstore *store, Axis axis, ChainTally &tally) {
    const PointArea &s = points(store);
    const uint16_t *index = axis == Axis::X ? s.xcoordIndex : s.ycoordIndex;
    const uint16_t *next = axis == Axis::X ? s.xcoordNext : s.ycoordNext;
    uint16_t count = axis == Axis::X ? s.xcoordCount : s.ycoordCount;
    for (int b = 0; b < kCoordBuckets; ++b) {
        uint16_t head = index != nullptr ? index[b] : kCoordEnd;
        if (head == kCoordEnd) {
            tally.addEmpty();
            continue;
        }
        tally.walk(head, count, [next](uint32_t e, uint32_t *n) {
            *n = next[e];
            return *n != kCoordEnd;
        });
    }
}

void tallyPointChains(const VRDstore *store, ChainTally &tally) {
    const PointArea &s = settledPoints(store);
    for (int b = 0; b < kPointBuckets; ++b) {
        int32_t head = s.pointIndex != nullptr ? s.pointIndex[b] : -1;
        if (head == -1) {
            tally.addEmpty();
            continue;
        }
        tally.walk(static_cast<uint32_t>(head), static_cast<uint64_t>(s.pointCount), [&s](uint32_t e, uint32_t *n) {
            *n = static_cast<uint32_t>(s.pointRecords[e].next);
            return s.pointRecords[e].next != -1;
        });
    }
}

}  // namespace vrd
