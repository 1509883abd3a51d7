// bench_wide.cpp - one wide form read from text or built by batched appends: the cost must stay linear in its length.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "vrd/vrd_internal.h"

namespace {

// A fresh current store for one benchmark run.
struct FreshStore {
    FreshStore() {
        while (VRDnext(nullptr) != nullptr) VRDkill(VRDget(nullptr), nullptr);
        VRDnew("wide");
    }
    ~FreshStore() { VRDkill(VRDget(nullptr), nullptr); }
};

// "(WIDE v0 v1 ...)" with n values: mostly integers, every eighth an
// identifier out of a few hundred names, as a long net or path list has.
const std::string &wideText(size_t n) {
    static std::string text;
    static size_t made = 0;
    if (made != n) {
        text = "(WIDE";
        for (size_t i = 0; i < n; ++i) {
            text += ' ';
            text += i % 8 == 7 ? "n" + std::to_string(i % 331) : std::to_string((i * 7919) % 100000);
        }
        text += ")";
        made = n;
    }
    return text;
}

// The reader hands the form its entities 50 at a time.
void BM_ReadWideForm(benchmark::State &state) {
    const std::string &text = wideText(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        FreshStore store;
        TextChannel *in = openTextString(text.data(), text.size());
        VRDentity root = VRDnullEntity();
        if (VRDfileReadEntity(in, VRDnullEntity(), -1, 0, &root) != 0 || VRDformEntityCount(root) != state.range(0))
            state.SkipWithError("the form was not read whole");
        closeTextFile(in);
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ReadWideForm)->Arg(100000)->Arg(1000000)->Arg(5000000)->Unit(benchmark::kMillisecond);

// Appends of range(1) entities at a time until the form holds range(0);
// then one read of the whole list, which writes the slab out.
void BM_AppendBatches(benchmark::State &state) {
    const auto n = static_cast<uint32_t>(state.range(0)), batch = static_cast<uint32_t>(state.range(1));
    std::vector<VRDentity> entities(batch);
    for (uint32_t i = 0; i < batch; ++i) entities[i] = VRDentity{0x18000000u | i, 0};
    for (auto _ : state) {
        FreshStore store;
        VRDentity form{};
        VRDformCreate(VRDnullEntity(), VRD_NO_KEY, "LIST", &form);
        for (uint32_t done = 0; done < n; done += batch) VRDformAddEntities(form, UINT32_MAX, batch, entities.data());
        uint32_t count = 0;
        benchmark::DoNotOptimize(VRDformGetPtrEntities(form, &count));
        if (count != n) state.SkipWithError("the form was not built whole");
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_AppendBatches)
    ->Args({100000, 50})
    ->Args({1000000, 50})
    ->Args({5000000, 50})
    ->Args({5000000, 1000})
    ->Unit(benchmark::kMillisecond);

}  // namespace
