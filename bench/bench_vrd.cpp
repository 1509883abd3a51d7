// bench_vrd.cpp - throughput of the pools, list operations, text files, binary files and search.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "generate.h"
#include "vrd/vrd_internal.h"

namespace {

// A fresh current store for one benchmark run.
struct FreshStore {
    FreshStore() {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        VRDnew("bench");
    }
    ~FreshStore() { VRDkill(VRDget(nullptr), nullptr); }
};

void BM_IntCreateSmall(benchmark::State &state) {
    FreshStore store;
    VRDentity e;
    int32_t v = 0;
    for (auto _ : state) benchmark::DoNotOptimize(VRDintCreate(v++ & 0xFFFFF, &e));
}
BENCHMARK(BM_IntCreateSmall);

// Distinct values: a small table is scanned, a larger one found through its hash index.
void BM_IntCreateBig(benchmark::State &state) {
    for (auto _ : state) {
        FreshStore store;
        VRDentity e;
        for (int32_t i = 0; i < state.range(0); ++i) VRDintCreate(200000000 + i, &e);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_IntCreateBig)->Arg(1000)->Arg(10000);

void BM_RealCreate(benchmark::State &state) {
    for (auto _ : state) {
        FreshStore store;
        VRDentity e;
        for (int32_t i = 0; i < state.range(0); ++i) VRDrealCreate(i * 1.5 + 0.25, &e);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RealCreate)->Arg(1000)->Arg(10000);

void BM_StringCreate(benchmark::State &state) {
    std::vector<std::string> texts;
    for (int i = 0; i < state.range(0); ++i) texts.push_back("text number " + std::to_string(i * 7919));
    for (auto _ : state) {
        FreshStore store;
        VRDentity e;
        for (const std::string &t : texts) VRDstringCreate(t.c_str(), &e);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_StringCreate)->Arg(10000)->Arg(100000);

void BM_FormCreate(benchmark::State &state) {
    for (auto _ : state) {
        FreshStore store;
        VRDentity root, f;
        VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "root", &root);
        for (int32_t i = 0; i < state.range(0); ++i) VRDformAddForm(root, UINT32_MAX, VRD_NO_KEY, "item", &f);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_FormCreate)->Arg(10000);

// One call per batch of 50, as the reader does it.
void BM_AddEntitiesInBatches(benchmark::State &state) {
    std::vector<VRDentity> batch(50);
    for (auto _ : state) {
        FreshStore store;
        VRDentity form;
        VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "list", &form);
        for (size_t i = 0; i < batch.size(); ++i) VRDintCreate(static_cast<int32_t>(i), &batch[i]);
        for (int32_t n = 0; n < state.range(0); n += 50) VRDformAddEntities(form, UINT32_MAX, 50, batch.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AddEntitiesInBatches)->Arg(10000);

const std::string &sampleText() {
    static const std::string text = vrdbench::generateText(20000, 6, 42);
    return text;
}

// Reads the sample text into the current store; its root form.
VRDentity readSample() {
    const std::string &text = sampleText();
    TextChannel *in = openTextString(text.data(), text.size());
    VRDentity root = VRDnullEntity();
    VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &root);
    closeTextFile(in);
    return root;
}

void BM_ReadText(benchmark::State &state) {
    const std::string &text = sampleText();
    for (auto _ : state) {
        FreshStore store;
        benchmark::DoNotOptimize(readSample());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadText)->Unit(benchmark::kMillisecond);

// A text of a million forms (about 55 MB): each keyword's form array and
// slab passes the memory layer's mapping threshold, so fresh memory, its
// page faults and the large blocks' growth weigh as in a full design.
void BM_ReadTextLarge(benchmark::State &state) {
    static const std::string text = vrdbench::generateText(1000000, 6, 42);
    for (auto _ : state) {
        FreshStore store;
        TextChannel *in = openTextString(text.data(), text.size());
        VRDentity root = VRDnullEntity();
        if (VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &root) != 0) state.SkipWithError("the read failed");
        closeTextFile(in);
        benchmark::DoNotOptimize(root);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadTextLarge)->Unit(benchmark::kMillisecond)->Iterations(3);

// The same text from a file: the channel's blocks, refills and line count.
void BM_ReadTextFile(benchmark::State &state) {
    const std::string &text = sampleText();
    std::string path = "/tmp/vrd-bench-" + std::to_string(reinterpret_cast<uintptr_t>(&state)) + ".txt";
    FILE *f = std::fopen(path.c_str(), "wb");
    if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
        state.SkipWithError("cannot write the sample file");
        return;
    }
    for (auto _ : state) {
        FreshStore store;
        TextChannel *in = openTextFile(path.c_str(), "r");
        VRDentity root = VRDnullEntity();
        VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &root);
        closeTextFile(in);
        benchmark::DoNotOptimize(root);
    }
    std::remove(path.c_str());
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
}
BENCHMARK(BM_ReadTextFile)->Unit(benchmark::kMillisecond);

// Writes the sample tree with each real as "%g" gives it (range 0) or as
// the exact writer gives it (range 1).
void BM_WriteText(benchmark::State &state) {
    FreshStore store;
    VRDentity root = readSample();
    size_t written = 0;
    for (auto _ : state) {
        TextChannel *out = openTextBuffer();
        if (state.range(0) == 0)
            VRDfileWriteEntity(out, 0, root, 1);
        else
            VRDfileWriteEntityExact(out, 0, root, 1);
        textBufferData(out, &written);
        closeTextFile(out);
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(written));
}
BENCHMARK(BM_WriteText)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A flat form of 50,000 distinct reals written and read back: the cost of
// the real conversions themselves.
const std::string &realsText() {
    static const std::string text = [] {
        std::string t = "(reals";
        char number[32];
        for (int i = 0; i < 50000; ++i) {
            std::snprintf(number, sizeof number, " %g", 0.001 * (i * 7919 % 1000003) + 0.5);
            t += number;
        }
        return t + ")";
    }();
    return text;
}

void BM_ReadReals(benchmark::State &state) {
    const std::string &text = realsText();
    for (auto _ : state) {
        FreshStore store;
        TextChannel *in = openTextString(text.data(), text.size());
        VRDentity root = VRDnullEntity();
        VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &root);
        closeTextFile(in);
        benchmark::DoNotOptimize(root);
    }
    state.SetItemsProcessed(state.iterations() * 50000);
}
BENCHMARK(BM_ReadReals)->Unit(benchmark::kMillisecond);

void BM_WriteReals(benchmark::State &state) {
    FreshStore store;
    const std::string &text = realsText();
    TextChannel *in = openTextString(text.data(), text.size());
    VRDentity root = VRDnullEntity();
    VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &root);
    closeTextFile(in);
    for (auto _ : state) {
        TextChannel *out = openTextBuffer();
        VRDfileWriteEntity(out, 0, root, 1);
        closeTextFile(out);
    }
    state.SetItemsProcessed(state.iterations() * 50000);
}
BENCHMARK(BM_WriteReals)->Unit(benchmark::kMillisecond);

void BM_BinaryRoundTrip(benchmark::State &state) {
    FreshStore store;
    readSample();
    std::string path = "/tmp/vrd-bench-" + std::to_string(reinterpret_cast<uintptr_t>(&state)) + ".bin";
    for (auto _ : state) {
        VRDfileWriteBinary(path.c_str());
        VRDfileReadBinary(path.c_str());
    }
    std::remove(path.c_str());
}
BENCHMARK(BM_BinaryRoundTrip)->Unit(benchmark::kMillisecond);

void BM_FindUnder(benchmark::State &state) {
    FreshStore store;
    VRDentity root = readSample();
    uint32_t key = VRDkeyFind("sensor");
    int64_t found = 0;
    for (auto _ : state) {
        VRDentity current = VRDnullEntity();
        uint32_t position = 0;
        while (VRDformFindUnder(root, key, 0, nullptr, &current, &position).first != 0) ++found;
    }
    state.SetItemsProcessed(found);
}
BENCHMARK(BM_FindUnder)->Unit(benchmark::kMillisecond);

}  // namespace
