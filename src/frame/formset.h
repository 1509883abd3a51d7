// formset.h - a set of form entities on the memory layer, for walks that must never enter a form twice.
#ifndef VRD_FORMSET_H
#define VRD_FORMSET_H

#include "frame/frame.h"

namespace vrd {

// Open addressing with linear probing over the two words of a form entity.
// 0 marks an empty slot, which no form entity can be (bit 31 of its first
// word is set).  The load stays at most one half, so a probe always meets
// an empty slot; erasing shifts the rest of the probe run back, so no
// tombstones are needed.
class FormSet {
public:
    FormSet() = default;
    FormSet(const FormSet &) = delete;
    FormSet &operator=(const FormSet &) = delete;
    ~FormSet() { freeMem(slots_); }

    bool contains(VRDentity form) const { return slots_ != nullptr && slots_[find(wordOf(form))] != 0; }

    // Adds a form; false only when memory is short (the set is unchanged).
    bool insert(VRDentity form) {
        if ((count_ + 1) * 2 > capacity_ && !grow()) return false;
        size_t i = find(wordOf(form));
        if (slots_[i] == 0) {
            slots_[i] = wordOf(form);
            ++count_;
        }
        return true;
    }

    void erase(VRDentity form) {
        if (slots_ == nullptr) return;
        size_t hole = find(wordOf(form));
        if (slots_[hole] == 0) return;
        slots_[hole] = 0;
        --count_;
        // Move back every later word of the run whose home does not lie
        // cyclically in (hole, i], so that each stays reachable from its home.
        for (size_t i = next(hole); slots_[i] != 0; i = next(i)) {
            size_t home = homeOf(slots_[i]);
            bool reachable = hole < i ? (home > hole && home <= i) : (home > hole || home <= i);
            if (reachable) continue;
            slots_[hole] = slots_[i];
            slots_[i] = 0;
            hole = i;
        }
    }

    void clear() {
        if (slots_ != nullptr) std::memset(slots_, 0, capacity_ * sizeof(uint64_t));
        count_ = 0;
    }

private:
    static uint64_t wordOf(VRDentity e) { return static_cast<uint64_t>(e.first) << 32 | e.second; }
    size_t homeOf(uint64_t word) const {
        return static_cast<size_t>((word * 0x9E3779B97F4A7C15ull) >> 20) & (capacity_ - 1);
    }
    size_t next(size_t i) const { return (i + 1) & (capacity_ - 1); }
    // The slot holding `word`, or the empty slot where it would go.
    size_t find(uint64_t word) const {
        size_t i = homeOf(word);
        while (slots_[i] != 0 && slots_[i] != word) i = next(i);
        return i;
    }
    bool grow() {
        size_t capacity = capacity_ == 0 ? 64 : capacity_ * 2;
        auto *slots = static_cast<uint64_t *>(callocMem(capacity, sizeof(uint64_t)));
        if (slots == nullptr) return false;
        uint64_t *old = slots_;
        size_t oldCapacity = capacity_;
        slots_ = slots;
        capacity_ = capacity;
        for (size_t i = 0; i < oldCapacity; ++i)
            if (old[i] != 0) slots_[find(old[i])] = old[i];
        freeMem(old);
        return true;
    }
    uint64_t *slots_ = nullptr;
    size_t capacity_ = 0;
    size_t count_ = 0;
};

}  // namespace vrd

#endif  // VRD_FORMSET_H
