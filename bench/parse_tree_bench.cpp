// Binding parameter strings of growing size: the time per value must stay
// flat, from a thousand values to a million.
#include "IBIS_AMI_tree.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <string>

namespace {

std::string taps_item(int values)
{
    std::string text = "(bench_model (gain 1.5) (taps";
    for (int i = 0; i < values; ++i)
        text += " " + std::to_string(0.001 * (i % 997) - 0.5);
    return text + "))";
}

void BindArrayValues(benchmark::State &state)
{
    const int values = static_cast<int>(state.range(0));
    const std::string text = taps_item(values);
    for (auto _ : state) {
        AmiArray taps = {AMI_DOUBLE_ARRAY, 0, nullptr};
        AmiEntry entries[2] = {{"gain", AMI_DOUBLE, {}}, {"taps", AMI_DOUBLE_ARRAY, {}}};
        entries[1].value.array = &taps;
        AmiTree tree = {"bench_model", 2, entries};
        char *message = nullptr;
        const int configured = ParseTree(text.c_str(), tree, &message);
        // The result is checked, not only timed.
        if (configured != values + 1 || message != nullptr || taps.count != values ||
            !std::isfinite(static_cast<double *>(taps.data)[values - 1]))
            state.SkipWithError("binding gave a wrong result");
        FreeTree(tree);
        std::free(message);
    }
    state.SetItemsProcessed(state.iterations() * values);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(text.size()));
    state.counters["string_bytes"] = static_cast<double>(text.size());
}

BENCHMARK(BindArrayValues)->RangeMultiplier(10)->Range(1000, 1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
