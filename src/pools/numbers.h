// numbers.h - the numbers area: the bigint and real tables, their figures and their binary-file sections.
#ifndef VRD_POOLS_NUMBERS_H
#define VRD_POOLS_NUMBERS_H

#include "frame/section.h"
#include "pools/indextable.h"

namespace vrd {

// The numbers area's record in a store; all-zero is two empty tables.
// Both tables grow by fixed steps (numbers.cpp) and never shrink.
struct NumberArea {
    double *realValues;     // reals, in order of creation
    int32_t realCapacity;
    int32_t realCount;
    int32_t *bigintValues;  // integers of magnitude 2^27 or more
    int32_t bigintCapacity;
    int32_t bigintCount;
    // Hash indexes over the two tables (numindex.h); no file holds them.
    IndexTable bigintLookup;
    IndexTable realLookup;
    int32_t bigintRefusedAt;  // entries when the index memory last refused, 0 none
    int32_t realRefusedAt;
};

inline NumberArea &numbers(VRDstore *s) { return areaRecord<NumberArea, kNumbersArea>(s); }
inline const NumberArea &numbers(const VRDstore *s) { return areaRecord<NumberArea, kNumbersArea>(s); }

void releaseNumbers(VRDstore *s);
inline const bool numbersAttached = attachArea(kNumbersArea, releaseNumbers);

constexpr int32_t kBigintBytes = 4;  // one table entry, in the file and the report
constexpr int32_t kRealBytes = 8;

// The stored value at `index`, false when the index lies past the table; no report.
bool bigintAt(const VRDstore *s, uint32_t index, int32_t *value);
bool realAt(const VRDstore *s, uint32_t index, double *value);

// The figures of the statistics report.
struct NumberFigures {
    int32_t bigintsUsed, bigintsAllocated;
    int32_t realsUsed, realsAllocated;
};
NumberFigures numberFigures(const VRDstore *s);

// ---- binary-file sections: a count, then the values ----
struct IntStage {
    int32_t count = 0;
    int32_t *values = nullptr;
};
struct RealStage {
    int32_t count = 0;
    double *values = nullptr;
};

void writeIntSection(int fd, const VRDstore *s);
void writeRealSection(int fd, const VRDstore *s);
Status readIntSection(Source &src, IntStage &stage);
Status readRealSection(Source &src, RealStage &stage);
// Hands the staged table to the store (the stage keeps nothing); the
// capacity becomes the count.
void installInts(VRDstore *s, IntStage &stage);
void installReals(VRDstore *s, RealStage &stage);
// Leaves the table empty, as a section cut short does.
void emptyInts(VRDstore *s);
void emptyReals(VRDstore *s);
void release(IntStage &stage);
void release(RealStage &stage);

}  // namespace vrd

#endif  // VRD_POOLS_NUMBERS_H
