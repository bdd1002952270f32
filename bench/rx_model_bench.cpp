// Receiver model throughput: AMI_GetWave at 32 samples per bit in blocks of
// 1024 and 65536 samples (CTLE, limiting amplifier, edge-rate filter and clock
// recovery), and AMI_Init on one column of 4096, 16384 and 65536 samples.
#include "Quorvane_pelisk4.h"
#include "model_bench.h"

#include <cmath>
#include <vector>

namespace {

constexpr double kSampleInterval = 1e-12;
constexpr double kBitTime = 3.2e-11; // 32 samples per bit

// A ±0.4 data waveform of random bits, 32 samples each.
std::vector<double> data_wave(size_t samples)
{
    const std::vector<double> bits = noise(samples / 32 + 1, 7);
    std::vector<double> wave(samples);
    for (size_t i = 0; i < samples; ++i)
        wave[i] = bits[i / 32] < 0.0 ? -0.4 : 0.4;
    return wave;
}

void GetWave(benchmark::State &state)
{
    std::vector<double> impulse = unit_impulse(4096);
    char *parameters = nullptr;
    char *message = nullptr;
    void *instance = nullptr;
    AMI_Init(impulse.data(), 4096, 0, kSampleInterval, kBitTime, nullptr, &parameters, &instance, &message);
    const std::vector<double> source = data_wave(static_cast<size_t>(state.range(0)));
    std::vector<double> clock_times(source.size() + 1, -1.0);
    time_get_wave(state, instance, source, clock_times.data());
    AMI_Close(instance);
}
BENCHMARK(GetWave)->Arg(1024)->Arg(65536);

void Init(benchmark::State &state)
{
    const long rows = state.range(0);
    std::vector<double> column(static_cast<size_t>(rows), 0.0);
    for (long i = 0; i < 96; ++i)
        column[static_cast<size_t>(i)] = 1e10 * std::sin(M_PI * static_cast<double>(i) / 96.0);
    time_init(state, column, rows, 0, kSampleInterval, kBitTime, nullptr);
}
BENCHMARK(Init)->Arg(4096)->Arg(16384)->Arg(65536)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
