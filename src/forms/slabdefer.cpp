// slabdefer.cpp - appends whose copy into the slab waits: a log of the eager writes, played once, last writer first.
#include <algorithm>

#include "forms/slab.h"

namespace vrd {
namespace {

// Lists shorter than this are copied at once: the eager copy costs less.
constexpr uint32_t kDeferFrom = 64;
// Writes one append logs at most: its run, one header for takeRun (a split
// block or a relinked neighbour) and two for giveRun (a new or joined block
// and the link to it).
constexpr uint32_t kEventsPerAppend = 4;

// One write of the eager order: a run of `length` slots from `slot` that
// received the first `length` entities of the list (appends only ever add
// at the end, so every run holds a prefix of the final list), or, with
// `length` 0, the free-list header `header` written at `slot`.
struct SlabEvent {
    int32_t slot;
    int32_t length;
    VRDentity header;
};

// The appends waiting in one key's slab: the form they go to, its whole
// list, and the log.  Both arrays grow by half when full (reserve), so the
// list costs at most 12 bytes an entity and the log 16 bytes an append.
struct Deferral {
    uint32_t form;
    VRDentity *list;
    uint32_t count, capacity;
    SlabEvent *events;
    uint32_t eventCount, eventCapacity;
};

// Every store's deferrals, named by the 1-based number a key record holds
// (KeyRecord::slabDeferral); free entries are null.  Grows from 16 entries.
Deferral **deferrals = nullptr;
uint32_t deferralSlots = 0;
uint32_t freeFrom = 0;  // no free entry below this one

Deferral *deferralOf(const KeyRecord &k) { return deferrals[k.slabDeferral - 1]; }

// Makes room for `need` items in an index-memory array: the growth rule of
// every array here, by half again, so each item is copied a bounded number
// of times.
template <typename T>
bool reserve(T *&items, uint32_t &capacity, uint64_t need) {
    if (need <= capacity) return true;
    uint64_t grown = std::max<uint64_t>(need, uint64_t{capacity} + capacity / 2);
    if (grown > UINT32_MAX / sizeof(T)) return false;
    auto *more = static_cast<T *>(mallocIndexMem(grown * sizeof(T)));
    if (more == nullptr) return false;
    if (capacity != 0) std::memcpy(more, items, capacity * sizeof(T));
    freeIndexMem(items);
    items = more;
    capacity = static_cast<uint32_t>(grown);
    return true;
}

// A free entry of the table, growing it; false when the index memory refuses.
bool freeEntry(uint32_t *slot) {
    while (freeFrom < deferralSlots && deferrals[freeFrom] != nullptr) ++freeFrom;
    if (freeFrom == deferralSlots) {
        uint32_t old = deferralSlots;
        if (!reserve(deferrals, deferralSlots, std::max<uint32_t>(16, old + 1))) return false;
        std::fill(deferrals + old, deferrals + deferralSlots, nullptr);
    }
    *slot = freeFrom;
    return true;
}

void closeDeferral(KeyRecord &k) {
    uint32_t slot = k.slabDeferral - 1;
    Deferral *d = deferrals[slot];
    freeIndexMem(d->list);
    freeIndexMem(d->events);
    freeIndexMem(d);
    deferrals[slot] = nullptr;
    freeFrom = std::min(freeFrom, slot);
    k.slabDeferral = 0;
}

// Starts deferring appends to form `form`, whose list of `count` entities
// is in place at slot `first`; null when the index memory refuses.
Deferral *open(KeyRecord &k, uint32_t form, uint32_t first, uint32_t count) {
    uint32_t slot;
    if (!freeEntry(&slot)) return nullptr;
    auto *d = static_cast<Deferral *>(mallocIndexMem(sizeof(Deferral)));
    if (d == nullptr) return nullptr;
    *d = Deferral{form, nullptr, 0, 0, nullptr, 0, 0};
    if (!reserve(d->list, d->capacity, uint64_t{count} + count / 2)) {
        freeIndexMem(d);
        return nullptr;
    }
    std::memcpy(d->list, k.slabSlots + first, size_t{count} * sizeof(VRDentity));
    d->count = count;
    deferrals[slot] = d;
    k.slabDeferral = slot + 1;
    return d;
}

// Plays the log from the last write back: each slot takes the value of the
// last write that reached it, and is written once.  The slots the writes
// reach are cut into segments at every write's ends, and a union-find over
// the segments skips those a later write has claimed.  False, with nothing
// written, when the index memory has no room for the segments.
bool playBackwards(VRDentity *slots, const Deferral &d) {
    uint32_t ends = d.eventCount * 2;
    auto *bounds = static_cast<int32_t *>(mallocIndexMem(size_t{ends} * sizeof(int32_t)));
    auto *next = static_cast<uint32_t *>(mallocIndexMem(size_t{ends} * sizeof(uint32_t)));
    if (bounds == nullptr || next == nullptr) {
        freeIndexMem(bounds);
        freeIndexMem(next);
        return false;
    }
    auto endOf = [](const SlabEvent &e) { return e.slot + (e.length == 0 ? 1 : e.length); };
    for (uint32_t i = 0; i < d.eventCount; ++i) bounds[2 * i] = d.events[i].slot, bounds[2 * i + 1] = endOf(d.events[i]);
    std::sort(bounds, bounds + ends);
    uint32_t segments = static_cast<uint32_t>(std::unique(bounds, bounds + ends) - bounds);  // the last bound ends the last segment
    for (uint32_t i = 0; i < segments; ++i) next[i] = i;
    auto unclaimed = [next](uint32_t i) {  // the first unclaimed segment from i on (path halving)
        while (next[i] != i) i = next[i] = next[next[i]];
        return i;
    };
    auto segmentAt = [&](int32_t slot) { return static_cast<uint32_t>(std::lower_bound(bounds, bounds + segments, slot) - bounds); };
    for (uint32_t i = d.eventCount; i-- > 0;) {
        const SlabEvent &e = d.events[i];
        uint32_t last = segmentAt(endOf(e));
        for (uint32_t g = unclaimed(segmentAt(e.slot)); g < last; g = unclaimed(g + 1)) {
            if (e.length == 0)
                slots[e.slot] = e.header;
            else
                std::memcpy(slots + bounds[g], d.list + (bounds[g] - e.slot), size_t(bounds[g + 1] - bounds[g]) * sizeof(VRDentity));
            next[g] = g + 1;
        }
    }
    freeIndexMem(bounds);
    freeIndexMem(next);
    return true;
}

// Plays the log forwards, every write as the eager order made it: the same
// result with no memory, in the time the eager copies would have taken.
void playForwards(VRDentity *slots, const Deferral &d) {
    for (uint32_t i = 0; i < d.eventCount; ++i) {
        const SlabEvent &e = d.events[i];
        if (e.length == 0)
            slots[e.slot] = e.header;
        else
            std::memcpy(slots + e.slot, d.list, size_t(e.length) * sizeof(VRDentity));
    }
}

bool anyForm(const VRDentity *list, uint32_t n) {
    for (uint32_t i = 0; i < n; ++i)
        if (isForm(list[i])) return true;
    return false;
}

}  // namespace

void settleSlab(KeyRecord &k) {
    const Deferral &d = *deferralOf(k);
    if (!playBackwards(k.slabSlots, d)) playForwards(k.slabSlots, d);
    closeDeferral(k);
}

void discardDeferral(KeyRecord &k) {
    if (k.slabDeferral != 0) closeDeferral(k);
}

void noteHeader(KeyRecord &k, int32_t slot, VRDentity header) {
    Deferral &d = *deferralOf(k);
    d.events[d.eventCount++] = SlabEvent{slot, 0, header};  // room reserved by appendDeferred
}

int appendDeferred(KeyRecord &k, FormRecord &f, uint32_t formIndex, uint32_t position, const VRDentity *entities,
                   uint32_t n) {
    uint32_t c = entityCount(f);
    if (usePlainPaths || position != c || c < 2 || uint64_t{c} + n < kDeferFrom) return -1;
    Deferral *d = k.slabDeferral != 0 ? deferralOf(k) : nullptr;
    if (d != nullptr && (d->form != formIndex || d->count != c)) {
        settleSlab(k);  // another form's appends wait: they are written first
        d = nullptr;
    }
    if (d == nullptr && (d = open(k, formIndex, f.entityData[0], c)) == nullptr) return -1;
    if (!reserve(d->list, d->capacity, uint64_t{c} + n) ||
        !reserve(d->events, d->eventCapacity, uint64_t{d->eventCount} + kEventsPerAppend)) {
        settleSlab(k);
        return -1;
    }
    // Copied before the slab's bookkeeping, which may move the slab the
    // entities were read from.  Counted only once the run is had.
    std::memcpy(d->list + c, entities, size_t{n} * sizeof(VRDentity));
    int32_t r = takeRun(k, c + n);
    if (r == -1) return 1;
    d->events[d->eventCount++] = SlabEvent{r, static_cast<int32_t>(c + n), VRDentity{0, 0}};
    d->count = c + n;
    uint32_t oldStart = f.entityData[0];
    f.entityData[0] = static_cast<uint32_t>(r);
    setEntityCount(f, c + n);
    if (!holdsForms(f) && anyForm(d->list + c, n)) f.flagsCount |= kFlagHoldsForms;
    return giveRun(k, static_cast<int>(oldStart), static_cast<int>(c)) != 0 ? 1 : 0;
}

}  // namespace vrd
