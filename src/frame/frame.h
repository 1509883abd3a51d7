// frame.h - the store record, the library-wide state and the report convention.
#ifndef VRD_FRAME_H
#define VRD_FRAME_H

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "frame/linknames.h"
#include "vrd/heapwrap.h"
#include "vrd/vrd_internal.h"

struct KeyRecord;    // src/forms/forms.h
struct PointRecord;  // src/pools/pools.h
namespace vrd {
struct NumberIndex;   // src/pools/numindex.h
struct StringLookup;  // src/pools/stringindex.h
}

// The store record.  On 64-bit the pointer words are 64-bit; every count and
// capacity keeps its 32-bit (or 16-bit) width, which the binary file and the
// statistics report rely on.  Allocated zero-filled: every pool starts empty.
struct VRDstore {
    char name[32];          // zero-terminated, at most 31 characters
    VRDstore *next;         // next store in creation order

    double *realValues;     // reals, in order of creation
    int32_t realCapacity;
    int32_t realCount;

    int32_t *bigintValues;  // integers of magnitude 2^27 or more
    int32_t bigintCapacity;
    int32_t bigintCount;

    int32_t *xcoordValues;  // interned x coordinates
    uint16_t *xcoordNext;   // chain links, 0xFFFF ends a chain
    uint16_t *xcoordIndex;  // 1024 bucket heads
    uint16_t xcoordCount;
    uint16_t xcoordCapacity;

    int32_t *ycoordValues;
    uint16_t *ycoordNext;
    uint16_t *ycoordIndex;
    uint16_t ycoordCount;
    uint16_t ycoordCapacity;

    PointRecord *pointRecords;  // points kept whole
    int32_t *pointIndex;        // 1019 bucket heads, -1 empty
    int32_t pointCount;
    int32_t pointCapacity;

    char *stringText;       // string entries; stringCapacity + 1 bytes
    int32_t *stringIndex;   // 1024 chain heads (entry offsets), -1 empty
    int32_t stringUsed;
    int32_t stringCapacity;

    char *keywordText;         // keyword texts back to back
    uint32_t *keywordOffsets;  // per key, offset of its text
    uint32_t *keywordNext;     // per key, next key of its bucket
    uint32_t *keywordIndex;    // 128 bucket heads, VRD_NO_KEY empty
    KeyRecord *keyRecords;     // per key, its forms and slab
    int32_t keywordTextUsed;
    int32_t keywordTextCapacity;
    uint32_t keyCapacity;
    uint32_t keyCount;

    // Lookup accelerators for the bigint and real tables; no file format
    // holds them (src/pools/numindex.h).
    vrd::NumberIndex *bigintLookup;
    vrd::NumberIndex *realLookup;
    // Sorted arrays over the string chains; no file format holds them
    // (src/pools/stringindex.h).
    vrd::StringLookup *stringLookup;
};

namespace vrd {

extern VRDstore *firstStore;    // list head, in order of creation
extern VRDstore *currentStore;  // a member of the list, or null
extern int checkMode;           // non-zero: argument and range tests on

// Sets the last error and calls the handler: the one report convention.
void report(const char *routine, int code);

// The current store, or null after reporting -3 under `routine`: no pool or
// form routine ever runs without a store.
inline VRDstore *needStore(const char *routine) {
    if (currentStore == nullptr) report(routine, VRD_E_NOSTORE);
    return currentStore;
}

// Kind tests on the first word of an entity.
constexpr uint32_t kTagMask = 0xF8000000u;
constexpr uint32_t kPayloadMask = 0x07FFFFFFu;
constexpr uint32_t kTagBigint = 0x08000000u;
constexpr uint32_t kTagSmallNeg = 0x10000000u;
constexpr uint32_t kTagSmallPos = 0x18000000u;
constexpr uint32_t kTagString = 0x20000000u;
constexpr uint32_t kTagId = 0x28000000u;
constexpr uint32_t kTagReal = 0x30000000u;
constexpr uint32_t kPointWord = 0x40000000u;
constexpr uint32_t kFormBit = 0x80000000u;

constexpr bool isForm(VRDentity e) { return (e.first & kFormBit) != 0; }
constexpr bool isPoint(VRDentity e) { return (e.first & 0xC0000000u) == kPointWord; }
constexpr bool hasTag(VRDentity e) { return (e.first & kTagMask) != 0; }
constexpr uint32_t tagOf(VRDentity e) { return e.first & kTagMask; }
constexpr uint32_t payloadOf(VRDentity e) { return e.first & kPayloadMask; }
constexpr uint32_t formKey(VRDentity e) { return e.first & 0x7FFFFFFFu; }
constexpr VRDentity makeEntity(uint32_t first, uint32_t second) { return VRDentity{first, second}; }
constexpr VRDentity nullEntity() { return VRDentity{0, 0}; }
constexpr VRDentity formEntity(uint32_t key, uint32_t index) { return VRDentity{kFormBit | key, index}; }
constexpr bool sameEntity(VRDentity a, VRDentity b) { return a.first == b.first && a.second == b.second; }

// The one growth pattern of every array: allocate when null, else reallocate;
// the pointer changes only on success, so a failed growth loses nothing.
template <typename T>
bool growBlock(T *&block, size_t bytes) {
    void *p = block == nullptr ? mallocMem(bytes) : reallocMem(block, bytes);
    if (p == nullptr) return false;
    block = static_cast<T *>(p);
    return true;
}

// A growable stack of plain records on the memory layer, released when it
// goes out of scope.  Deep walks (kill, copy, write, search) keep their
// path here instead of on the machine stack; push reports failure by
// returning false, so callers can report -2 and stop cleanly.
template <typename T>
class ScratchStack {
public:
    ScratchStack() = default;
    ScratchStack(const ScratchStack &) = delete;
    ScratchStack &operator=(const ScratchStack &) = delete;
    ~ScratchStack() { freeMem(items_); }

    bool push(const T &item) {
        if (count_ == capacity_ && !grow()) return false;
        items_[count_++] = item;
        return true;
    }
    T &top() { return items_[count_ - 1]; }
    void pop() { --count_; }
    bool empty() const { return count_ == 0; }
    size_t size() const { return count_; }
    T &operator[](size_t i) { return items_[i]; }

private:
    // Doubles from 64 entries; the old items survive a failed growth.
    bool grow() {
        size_t capacity = capacity_ == 0 ? 64 : capacity_ * 2;
        if (!growBlock(items_, capacity * sizeof(T))) return false;
        capacity_ = capacity;
        return true;
    }
    T *items_ = nullptr;
    size_t count_ = 0;
    size_t capacity_ = 0;
};

}  // namespace vrd

#endif  // VRD_FRAME_H
