// tally.h - chain-length counts of a bucket table, as the areas hand them to the statistics report.
#ifndef VRD_FRAME_TALLY_H
#define VRD_FRAME_TALLY_H

#include <cstdint>

namespace vrd {

// Counter n counts buckets with exactly n entries.  A chain of 100 or more
// entries is counted in no counter (there is none for it) but still raises
// the longest length; the report stops at 99 either way.
struct ChainTally {
    static constexpr int kCounters = 100;
    int32_t counters[kCounters] = {};
    uint64_t longest = 0;

    void addEmpty() { ++counters[0]; }
    void addChain(uint64_t length) {
        if (length < kCounters) ++counters[length];
        if (length > longest) longest = length;
    }
    // Walks one non-empty chain from `first`: `next(e, &n)` gives the entry
    // after e and whether there is one.  The walk stops after `limit` steps,
    // so even a damaged chain cannot keep it going.
    template <typename Next>
    void walk(uint32_t first, uint64_t limit, Next next) {
        uint64_t length = 1;
        for (uint32_t e = first; length < limit; ++length)
            if (!next(e, &e)) break;
        addChain(length);
    }
};

}  // namespace vrd

#endif  // VRD_FRAME_TALLY_H
