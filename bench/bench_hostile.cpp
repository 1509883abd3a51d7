// bench_hostile.cpp - the binary reader on hostile files: time linear in the size, memory bounded by what arrives.
//
// Each shape is built as bytes, the way a hostile producer would write them,
// and read from a regular file and from a FIFO fed by a thread.  Times are
// per read; the "peak_MB" counters are the most heap one read held at once
// beyond what was in use before it, so a read that asks for memory the
// bytes do not justify shows there, touched or not.  Shapes with a size argument report
// their complexity: a linear reader shows O(N) with a flat time per element.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "generate.h"
#include "vrd/vrd_internal.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr uint32_t kNone = 0xFFFFFFFFu;

// The file is little-endian.
void put(Bytes &b, uint32_t w) {
    for (int shift = 0; shift < 32; shift += 8) b.push_back(static_cast<uint8_t>(w >> shift));
}
void putMany(Bytes &b, uint32_t w, size_t n) {
    for (size_t i = 0; i < n; ++i) put(b, w);
}
void putHalves(Bytes &b, uint16_t h, size_t n) {
    for (size_t i = 0; i < n; ++i) b.insert(b.end(), {uint8_t(h), uint8_t(h >> 8)});
}

// Everything after the key section of a store without points, strings or numbers.
void putEmptyPools(Bytes &b) {
    for (int axis = 0; axis < 2; ++axis) {
        put(b, 0);
        putHalves(b, 0xFFFF, 1024);
    }
    put(b, 0);  // no table points: no records, no index
    put(b, 0);
    putMany(b, kNone, 1024);  // the string index
    put(b, 0);
    put(b, 0);
}

// `keys` keys all starting with 'A', chained in one bucket, each key record
// as `record` gives it; `text` keyword bytes (offsets from `offsetOf`).
template <typename Record, typename Offset>
Bytes keySection(uint32_t keys, const std::string &text, Offset offsetOf, Record record) {
    Bytes b = {6, 0, 0, 0};
    put(b, static_cast<uint32_t>(text.size()));
    b.insert(b.end(), text.begin(), text.end());
    put(b, keys);
    for (uint32_t k = 0; k < keys; ++k) put(b, offsetOf(k));
    for (uint32_t k = 0; k < keys; ++k) put(b, k + 1 < keys ? k + 1 : VRD_NO_KEY);
    for (uint32_t k = 0; k < keys; ++k) record(b, k);
    for (uint32_t bucket = 0; bucket < 128; ++bucket) put(b, bucket == 'A' && keys > 0 ? 0 : VRD_NO_KEY);
    return b;
}

void noForms(Bytes &b, uint32_t) {
    for (uint32_t w : {0u, 0u, 0u, kNone, 0u, 0u, 0u, 0u, kNone}) put(b, w);
}

// N keys whose offsets all name offset 0 of one 1 MB keyword, in one chain.
Bytes sharedOffsets(uint32_t keys) {
    std::string text(1 << 20, 'A');
    text.back() = '\0';
    Bytes b = keySection(keys, text, [](uint32_t) { return 0u; }, noForms);
    putEmptyPools(b);
    return b;
}

// One key "A" with N form records: `killed` chains them all on the freeForms
// chain, otherwise each holds a run of 2 slots and N free blocks of 2 slots
// lie between the runs, chained in order.
Bytes longChains(uint32_t n, bool killed) {
    uint32_t slots = killed ? 0 : 4 * n;
    Bytes b = keySection(1, std::string("A\0", 2), [](uint32_t) { return 0u; }, [&](Bytes &r, uint32_t) {
        for (uint32_t w : {1u, n, n, killed ? 0u : kNone, 1u, 1u, slots, slots, killed ? kNone : 2u}) put(r, w);
    });
    for (uint32_t i = 0; i < n; ++i) {
        putMany(b, 0, 4);  // no owner, no property list
        if (killed) {
            put(b, 1);  // killed, no entities, next killed form
            put(b, i + 1 < n ? i + 1 : kNone);
        } else {
            put(b, (2u << 8) | 0);
            put(b, 4 * i);  // run at 4i; the free block at 4i + 2
        }
        put(b, 0);
    }
    for (uint32_t i = 0; !killed && i < n; ++i) {
        for (uint32_t w : {0x18000000u | i, 0u, 0x18000001u, 0u}) put(b, w);  // the run
        put(b, i + 1 < n ? 4 * (i + 1) + 2 : kNone);                           // the free block's header
        put(b, 2);
        putMany(b, 0, 2);
    }
    putEmptyPools(b);
    return b;
}

// A string area of N entries "sNNNNNNN", all chained from bucket 0.
Bytes longStringChain(uint32_t n) {
    Bytes b = keySection(0, "", [](uint32_t) { return 0u; }, noForms);
    for (int axis = 0; axis < 2; ++axis) {
        put(b, 0);
        putHalves(b, 0xFFFF, 1024);
    }
    put(b, 0);
    constexpr uint32_t kEntry = 4 + 9;
    put(b, n * kEntry);
    for (uint32_t i = 0; i < n; ++i) {
        put(b, i + 1 < n ? (i + 1) * kEntry : kNone);
        char text[16];  // "s" and seven digits (n stays below 10^7), then the zero
        std::snprintf(text, sizeof text, "s%07u", i % 10000000);
        b.insert(b.end(), text, text + 9);
    }
    put(b, n > 0 ? 0 : kNone);
    putMany(b, kNone, 1023);
    put(b, 0);
    put(b, 0);
    return b;
}

// The first bytes of a file whose counts ask for gigabytes that never come.
Bytes hugeCount(int section) {
    Bytes b = {6, 0, 0, 0};
    if (section == 0) {  // 50,000,000 keys
        put(b, 0);
        put(b, 50000000);
        return b;
    }
    b = keySection(0, "", [](uint32_t) { return 0u; }, noForms);
    for (int axis = 0; axis < 2; ++axis) {
        put(b, 0);
        putHalves(b, 0xFFFF, 1024);
    }
    if (section == 1) {  // 64M table points
        put(b, 0x3FFFFFE);
        return b;
    }
    put(b, 0);
    put(b, 0x7FFFFFF);  // 128 MB of strings
    return b;
}

// Scratch files of this process, named once.
const std::string &scratch(bool fifo) {
    static const std::string file = "/tmp/vrd-hostile-file-" + std::to_string(getpid()),
                             pipe = "/tmp/vrd-hostile-fifo-" + std::to_string(getpid());
    return fifo ? pipe : file;
}

// A real store: the benchmarks' generated tree, dumped.
Bytes realDump(int forms) {
    VRDstore *s = VRDnew("dump");
    std::string text = vrdbench::generateText(forms, 6, 7);
    TextChannel *in = openTextString(text.data(), text.size());
    VRDentity root;
    VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &root);
    closeTextFile(in);
    std::string path = scratch(false) + ".dump";
    VRDfileWriteBinary(path.c_str());
    VRDkill(s, nullptr);
    std::ifstream f(path, std::ios::binary);
    Bytes bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
    std::remove(path.c_str());
    return bytes;
}

// Reads `bytes` into a fresh store from a regular file or through a FIFO fed
// by a thread; the read's result.
int32_t readOnce(const Bytes &bytes, bool piped) {
    VRDstore *s = VRDnew("hostile");
    int32_t result;
    if (piped) {
        const std::string &fifo = scratch(true);
        std::thread feeder([&] {
            int fd = open(fifo.c_str(), O_WRONLY);
            for (size_t at = 0; fd >= 0 && at < bytes.size();) {
                ssize_t n = write(fd, bytes.data() + at, bytes.size() - at);
                if (n <= 0) break;
                at += static_cast<size_t>(n);
            }
            if (fd >= 0) close(fd);
        });
        result = VRDfileReadBinary(fifo.c_str());
        feeder.join();
    } else {
        result = VRDfileReadBinary(scratch(false).c_str());
    }
    VRDkill(s, nullptr);
    return result;
}

}  // namespace

// The heap in use and its high-water mark, kept by this program's own entry
// points of the C allocator (the library's memory layer calls them), so a
// block asked for counts whether or not its pages are ever touched.
namespace heapwatch {
std::atomic<int64_t> inUse{0}, peak{0};
void note(int64_t delta) {
    int64_t now = inUse += delta;
    for (int64_t high = peak.load(); now > high && !peak.compare_exchange_weak(high, now);) {
    }
}
}  // namespace heapwatch

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);
void __libc_free(void *);

void *malloc(size_t n) {
    void *p = __libc_malloc(n);
    if (p != nullptr) heapwatch::note(static_cast<int64_t>(malloc_usable_size(p)));
    return p;
}
void *calloc(size_t n, size_t size) {
    void *p = __libc_calloc(n, size);
    if (p != nullptr) heapwatch::note(static_cast<int64_t>(malloc_usable_size(p)));
    return p;
}
void *realloc(void *old, size_t n) {
    int64_t before = old != nullptr ? static_cast<int64_t>(malloc_usable_size(old)) : 0;
    void *p = __libc_realloc(old, n);
    if (p != nullptr) heapwatch::note(static_cast<int64_t>(malloc_usable_size(p)) - before);
    else if (n == 0) heapwatch::note(-before);
    return p;
}
void free(void *p) {
    if (p != nullptr) heapwatch::note(-static_cast<int64_t>(malloc_usable_size(p)));
    __libc_free(p);
}
void *memalign(size_t alignment, size_t n) {
    void *p = __libc_memalign(alignment, n);
    if (p != nullptr) heapwatch::note(static_cast<int64_t>(malloc_usable_size(p)));
    return p;
}
void *aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }
int posix_memalign(void **out, size_t alignment, size_t n) {
    *out = memalign(alignment, n);
    return *out != nullptr ? 0 : ENOMEM;
}
}

namespace {

// The most memory one read held at once beyond what was in use before it.
double peakMB(const Bytes &bytes, bool piped) {
    heapwatch::peak = heapwatch::inUse.load();
    int64_t before = heapwatch::inUse;
    readOnce(bytes, piped);
    return static_cast<double>(heapwatch::peak - before) / (1 << 20);
}

// Times reads of `bytes`, reports the file's size, the result and the peak.
void timeReads(benchmark::State &state, const Bytes &bytes, bool piped) {
    signal(SIGPIPE, SIG_IGN);
    while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
    const std::string &fifo = scratch(true), &file = scratch(false);
    std::remove(fifo.c_str());
    if (piped && mkfifo(fifo.c_str(), 0600) != 0) state.SkipWithError("no FIFO");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char *>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    int32_t result = 0;
    for (auto _ : state) result = readOnce(bytes, piped);
    state.counters["file_MB"] = static_cast<double>(bytes.size()) / (1 << 20);
    state.counters["result"] = result;
    state.counters["peak_MB"] = peakMB(bytes, piped);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
    std::remove(fifo.c_str());
    std::remove(file.c_str());
}

// Arg: which count (0 keys, 1 table points, 2 strings); a few bytes claim gigabytes.
void BM_HugeCountFile(benchmark::State &state) { timeReads(state, hugeCount(int(state.range(0))), false); }
void BM_HugeCountPipe(benchmark::State &state) { timeReads(state, hugeCount(int(state.range(0))), true); }
BENCHMARK(BM_HugeCountFile)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HugeCountPipe)->DenseRange(0, 2)->Unit(benchmark::kMicrosecond);

template <Bytes (*Shape)(uint32_t)>
void linearShape(benchmark::State &state) {
    Bytes bytes = Shape(static_cast<uint32_t>(state.range(0)));
    timeReads(state, bytes, false);
    state.SetComplexityN(state.range(0));
}

// Arg: keys sharing offset 0 of a 1 MB keyword (also one chain of all keys).
void BM_SharedKeywordOffsets(benchmark::State &state) { linearShape<sharedOffsets>(state); }
BENCHMARK(BM_SharedKeywordOffsets)->RangeMultiplier(4)->Range(1 << 12, 1 << 18)->Complexity(benchmark::oN)->MinWarmUpTime(0.1)
    ->Unit(benchmark::kMillisecond);

Bytes killedChain(uint32_t n) { return longChains(n, true); }
Bytes runsAndFreeBlocks(uint32_t n) { return longChains(n, false); }

// Arg: killed forms on one freeForms chain.
void BM_LongKilledChain(benchmark::State &state) { linearShape<killedChain>(state); }
BENCHMARK(BM_LongKilledChain)->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity(benchmark::oN)->MinWarmUpTime(0.1)
    ->Unit(benchmark::kMillisecond);

// Arg: forms with a run each and as many free blocks between them, on one
// free list.  Beyond 2^19 the slab passes 32 MB, which the C allocator always
// maps afresh, and the time measures the system's page faults.
void BM_LongFreeList(benchmark::State &state) { linearShape<runsAndFreeBlocks>(state); }
BENCHMARK(BM_LongFreeList)->RangeMultiplier(4)->Range(1 << 11, 1 << 19)->Complexity(benchmark::oN)->MinWarmUpTime(0.1)
    ->Unit(benchmark::kMillisecond);

// Arg: strings on one chain.
void BM_LongStringChain(benchmark::State &state) { linearShape<longStringChain>(state); }
BENCHMARK(BM_LongStringChain)->RangeMultiplier(4)->Range(1 << 12, 1 << 20)->Complexity(benchmark::oN)->MinWarmUpTime(0.1)
    ->Unit(benchmark::kMillisecond);

// A sound dump of a generated tree (Arg: forms) from a file and through a pipe.
const Bytes &sound(int forms) {
    static Bytes bytes;
    static int made = -1;
    if (made != forms) bytes = realDump(forms), made = forms;
    return bytes;
}
void BM_SoundDumpFile(benchmark::State &state) { timeReads(state, sound(int(state.range(0))), false); }
void BM_SoundDumpPipe(benchmark::State &state) { timeReads(state, sound(int(state.range(0))), true); }
BENCHMARK(BM_SoundDumpFile)->Arg(200000)->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoundDumpPipe)->Arg(200000)->MinWarmUpTime(0.2)->Unit(benchmark::kMillisecond);

}  // namespace
