// frame.h - the store record with its area slots, the library-wide state and the report convention.
#ifndef VRD_FRAME_H
#define VRD_FRAME_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <new>
#include <type_traits>

#include "frame/linknames.h"
#include "vrd/heapwrap.h"
#include "vrd/vrd_internal.h"

namespace vrd {

// The areas that keep state in a store, bottom layer first.  Frame knows
// each area only by its slot: the slot's size is reserved here, the record
// that fills it is the area's own type, declared in the area's header.
enum AreaId : int { kNumbersArea, kPointsArea, kStringsArea, kKeywordsArea, kFormsArea, kAreaCount };

// Bytes reserved per area.  Each area static_asserts that its record fits;
// the spare room is where an area adds an accelerator beside its arrays.
constexpr size_t kAreaSlotBytes[kAreaCount] = {96, 128, 64, 64, 32};
constexpr size_t kAreaSlotAlign = alignof(std::max_align_t);

constexpr size_t areaOffset(int id) {
    size_t offset = 0;
    for (int i = 0; i < id; ++i) offset += (kAreaSlotBytes[i] + kAreaSlotAlign - 1) / kAreaSlotAlign * kAreaSlotAlign;
    return offset;
}

}  // namespace vrd

// The store record: its name, its link in the list, and one slot per area.
// It is one callocMem block, so every slot starts all-zero, and all-zero is
// every area's initial state: null arrays, zero counts and capacities.
struct VRDstore {
    char name[32];    // zero-terminated, at most 31 characters
    VRDstore *next;   // next store in creation order
    alignas(vrd::kAreaSlotAlign) unsigned char areas[vrd::areaOffset(vrd::kAreaCount)];
};

namespace vrd {

extern VRDstore *firstStore;    // list head, in order of creation
extern VRDstore *currentStore;  // a member of the list, or null
extern int checkMode;           // non-zero: argument and range tests on
// True: every pool and slab answers by its plain walk and copies every list
// at once, with no index or deferred copy beside it.  A test hook: the
// suites run the same work both ways and compare everything observable.
// An index that exists when it is set is settled and dropped at its next use.
extern bool usePlainPaths;

// Sets the last error and calls the handler: the one report convention.
void report(const char *routine, int code);

// Reports made so far (it wraps).  The handler may do anything, switch or
// kill stores included, so a routine that keeps what it learnt about the
// store across calls of others (the text reader's recent tokens) forgets it
// when this has moved.
extern uint32_t reportCount;

// The current store, or null after reporting -3 under `routine`: no pool or
// form routine ever runs without a store.
inline VRDstore *needStore(const char *routine) {
    if (currentStore == nullptr) report(routine, VRD_E_NOSTORE);
    return currentStore;
}

// An area's record inside a store.  Record must fit its slot and be an
// aggregate with a trivial destructor, so the zero-filled block of callocMem
// holds one implicitly: no constructor ever runs, and zero is its start.
template <typename Record, int Id>
Record &areaRecord(VRDstore *s) {
    static_assert(sizeof(Record) <= kAreaSlotBytes[Id] && alignof(Record) <= kAreaSlotAlign, "record fits its slot");
    static_assert(std::is_aggregate_v<Record> && std::is_trivially_destructible_v<Record>, "implicit-lifetime record");
    return *std::launder(reinterpret_cast<Record *>(s->areas + areaOffset(Id)));
}
template <typename Record, int Id>
const Record &areaRecord(const VRDstore *s) {
    return areaRecord<Record, Id>(const_cast<VRDstore *>(s));
}

// Releases every block an area holds in store s and leaves its record
// all-zero again (its initial state).
using AreaRelease = void (*)(VRDstore *s);

// Registers an area's release routine with the store frame; true, so that a
// variable can hold the call.  Each area's header holds that call in an
// inline variable: every file that reaches an area's records includes its
// header, so an area linked into a program (the static library links only
// what is used) is registered before main, before any store exists.
bool attachArea(AreaId id, AreaRelease release);

// Kind tests on the first word of an entity.
constexpr uint32_t kTagMask = 0xF8000000u;
constexpr uint32_t kPayloadMask = 0x07FFFFFFu;
constexpr uint32_t kPayloadLimit = kPayloadMask + 1;  // every pool index and offset stays below
constexpr uint32_t kTagBigint = 0x08000000u;
constexpr uint32_t kTagSmallNeg = 0x10000000u;
constexpr uint32_t kTagSmallPos = 0x18000000u;
constexpr uint32_t kTagString = 0x20000000u;
constexpr uint32_t kTagId = 0x28000000u;
constexpr uint32_t kTagReal = 0x30000000u;
constexpr uint32_t kPointWord = 0x40000000u;
constexpr uint32_t kFormBit = 0x80000000u;
constexpr uint32_t kFormOrPointBits = 0xC0000000u;  // bit 31 or 30: neither a number nor a string
constexpr uint32_t kKeyMask = 0x7FFFFFFFu;          // a form entity's key: its first word without bit 31

constexpr bool isForm(VRDentity e) { return (e.first & kFormBit) != 0; }
constexpr bool isPoint(VRDentity e) { return (e.first & kFormOrPointBits) == kPointWord; }
constexpr bool hasTag(VRDentity e) { return (e.first & kTagMask) != 0; }
constexpr uint32_t tagOf(VRDentity e) { return e.first & kTagMask; }
constexpr uint32_t payloadOf(VRDentity e) { return e.first & kPayloadMask; }
constexpr uint32_t formKey(VRDentity e) { return e.first & kKeyMask; }
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
