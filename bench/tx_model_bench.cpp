// Transmitter model throughput: AMI_GetWave at 32 samples per bit in blocks of
// 1024 and 65536 samples, and AMI_Init on a 16384-sample, 3-column matrix.
#include "dorvex8_tx.h"
#include "test_signals.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

constexpr double kSampleInterval = 1e-11;
constexpr double kBitTime = 3.2e-10; // 32 samples per bit

void GetWave(benchmark::State &state)
{
    const long block = state.range(0);
    std::vector<double> impulse = unit_impulse(256);
    char *parameters = nullptr;
    char *message = nullptr;
    void *instance = nullptr;
    char settings[] = "(dorvex8_tx (TX_Deemph 4))";
    AMI_Init(impulse.data(), 256, 0, kSampleInterval, kBitTime, settings, &parameters, &instance, &message);
    // The waveform stays bounded: the filters' gain is below 2, and each pass
    // starts again from the same noise.
    const std::vector<double> source = noise(static_cast<size_t>(block), 1);
    std::vector<double> wave = source;
    for (auto _ : state) {
        state.PauseTiming();
        wave = source;
        state.ResumeTiming();
        AMI_GetWave(wave.data(), block, nullptr, &parameters, instance);
        benchmark::DoNotOptimize(wave.data());
    }
    if (wave.size() != static_cast<size_t>(block) || !all_finite(wave))
        state.SkipWithError("output is not finite");
    AMI_Close(instance);
    state.SetItemsProcessed(state.iterations() * block);
}
BENCHMARK(GetWave)->Arg(1024)->Arg(65536);

void Init(benchmark::State &state)
{
    const long rows = 16384;
    const std::vector<double> source = noise(3 * rows, 1);
    std::vector<double> matrix;
    for (auto _ : state) {
        state.PauseTiming();
        matrix = source;
        state.ResumeTiming();
        char *parameters = nullptr;
        char *message = nullptr;
        void *instance = nullptr;
        char settings[] = "(dorvex8_tx (TX_Deemph 4))";
        if (AMI_Init(matrix.data(), rows, 2, kSampleInterval, kBitTime, settings, &parameters, &instance,
                     &message) != 1)
            state.SkipWithError("AMI_Init failed");
        AMI_Close(instance);
    }
    if (!all_finite(matrix))
        state.SkipWithError("output is not finite");
    state.SetItemsProcessed(state.iterations() * 3 * rows);
}
BENCHMARK(Init)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
