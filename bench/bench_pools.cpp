// bench_pools.cpp - each pool's cost per value created and looked up, from small to millions: it must stay flat.
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

#include "vrd/vrd_internal.h"

namespace {

struct FreshStore {
    FreshStore() {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        VRDnew("pools");
    }
    ~FreshStore() { VRDkill(VRDget(nullptr), nullptr); }
};

enum Kind { kStrings, kIdentifiers, kReals, kBigints, kKeywords, kPoints };

// The j-th of n distinct values, made in a scrambled order (j = i * 7919
// mod n), in the style of design data: names sharing prefixes, integers
// beyond the inline range, points in columns of 16 (past 30,600 distinct x
// values they go whole to the point table).
struct Values {
    std::vector<std::string> texts;
    std::vector<int32_t> a, b;
    Values(Kind kind, size_t n) {
        static const char *const words[] = {"alpha", "bravo", "charlie", "delta", "echo", "golf", "kilo", "lima"};
        static const char *const keys[] = {"CELL", "CUT", "INST", "LABEL", "NET", "PATH", "PIN", "PORT", "RECT", "VIA"};
        for (size_t i = 0; i < n; ++i) {
            auto j = static_cast<int32_t>((i * 7919) % n);
            switch (kind) {
            case kStrings: texts.push_back(std::string(words[j % 8]) + " " + std::to_string(j) + std::string(j % 13, 'x')); break;
            case kIdentifiers: texts.push_back("net_" + std::to_string(j)); break;
            case kKeywords: texts.push_back(std::string(keys[j % 10]) + "_" + std::to_string(j)); break;
            case kReals:
            case kBigints: a.push_back(j); break;
            case kPoints: a.push_back(5 * (j / 16) - 150000), b.push_back(20 * (j % 16) - 160); break;
            }
        }
    }
    void make(Kind kind, size_t i) const {
        VRDentity e;
        uint32_t key;
        switch (kind) {
        case kStrings: VRDstringCreate(texts[i].c_str(), &e); break;
        case kIdentifiers: VRDidCreate(texts[i].c_str(), &e); break;
        case kKeywords: VRDkeyCreate(texts[i].c_str(), &key); break;
        case kReals: VRDrealCreate(1.5 + a[i], &e); break;
        case kBigints: VRDintCreate(1500000000 + 97 * a[i], &e); break;
        case kPoints: VRDpointCreate(a[i], b[i], &e); break;
        }
    }
};

double seconds() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

// range(0) values made once in a fresh store, then made again: each is
// found.  The time is the first pass's (create) or the second's (lookup);
// making the store and releasing it are not the pool's cost.
template <Kind kind, bool lookup>
void BM_Pool(benchmark::State &state) {
    const auto n = static_cast<size_t>(state.range(0));
    Values values(kind, n);
    for (auto _ : state) {
        FreshStore store;
        double start = seconds();
        for (size_t i = 0; i < n; ++i) values.make(kind, i);
        double made = seconds();
        if (lookup)
            for (size_t i = 0; i < n; ++i) values.make(kind, i);
        state.SetIterationTime(lookup ? seconds() - made : made - start);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

#define VRD_POOL_BENCH(kind, small, large)                                                                     \
    BENCHMARK(BM_Pool<kind, false>)->Arg(small)->Arg(large)->UseManualTime()->Unit(benchmark::kMillisecond); \
    BENCHMARK(BM_Pool<kind, true>)->Arg(small)->Arg(large)->UseManualTime()->Unit(benchmark::kMillisecond)

// The floor under every lookup above: a bare table of n 32-bit values in
// the pools' slot layout (entry number and fingerprint, at most half full)
// with nothing else around it, probed for each value in the order the
// values were made, as BM_Pool's second pass does.  Its time per lookup at
// 10^6 over 10^4 is what one random access into a table larger than the
// caches costs on this machine, whatever the pool does besides.
void BM_BareProbe(benchmark::State &state) {
    const auto n = static_cast<uint32_t>(state.range(0));
    constexpr uint32_t kLow = (1u << 27) - 1, kFree = 0xFFFFFFFFu;
    auto hash = [](uint32_t v) {
        uint64_t x = v;
        x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
        x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
        return x ^ (x >> 31);
    };
    uint32_t size = 16;
    while (uint64_t{n + 1} * 2 > size) size *= 2;
    std::vector<uint32_t> slots(size, kFree), values(n);
    for (uint32_t i = 0; i < n; ++i) {
        values[i] = 1500000000u + 97u * static_cast<uint32_t>((uint64_t{i} * 7919) % n);
        uint64_t h = hash(values[i]);
        uint32_t at = static_cast<uint32_t>(h) & (size - 1);
        while (slots[at] != kFree) at = (at + 1) & (size - 1);
        slots[at] = i | (static_cast<uint32_t>(h >> 32) & ~kLow);
    }
    for (auto _ : state) {
        for (uint32_t i = 0; i < n; ++i) {
            uint64_t h = hash(values[i]);
            uint32_t tag = static_cast<uint32_t>(h >> 32) & ~kLow, found = kFree;
            for (uint32_t at = static_cast<uint32_t>(h) & (size - 1); slots[at] != kFree; at = (at + 1) & (size - 1))
                if ((slots[at] & ~kLow) == tag && values[slots[at] & kLow] == values[i]) {
                    found = slots[at] & kLow;
                    break;
                }
            benchmark::DoNotOptimize(found);
        }
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_BareProbe)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

VRD_POOL_BENCH(kStrings, 10000, 1000000);
VRD_POOL_BENCH(kIdentifiers, 10000, 1000000);
VRD_POOL_BENCH(kReals, 10000, 1000000);
VRD_POOL_BENCH(kBigints, 10000, 1000000);
VRD_POOL_BENCH(kKeywords, 1000, 100000);
VRD_POOL_BENCH(kPoints, 10000, 1000000);

}  // namespace
