// Receiver model throughput: AMI_GetWave at 32 samples per bit (CTLE,
// limiting amplifier, edge-rate filter and clock recovery) on ideal squares
// and on PRBS15 data through a lossy channel, and AMI_Init on one column of
// 4096 to 65536 samples at 32 samples per bit and 262144 at 8. Each reports
// its ratio to a plain order-6 IIR measured in the same run.
#include "Quorvane_pelisk4.h"
#include "model_bench.h"

#include <cmath>
#include <vector>

namespace {

using workloads::kRxSampleInterval;

const workloads::Model kModel{AMI_Init, AMI_GetWave, AMI_Close, RxCTLEGetIndex};

// A ±0.4 data waveform of random bits, 32 samples each.
std::vector<double> data_wave(size_t samples)
{
    const std::vector<double> bits = noise(samples / 32 + 1, 7);
    std::vector<double> wave(samples);
    for (size_t i = 0; i < samples; ++i)
        wave[i] = bits[i / 32] < 0.0 ? -0.4 : 0.4;
    return wave;
}

void run_get_wave(benchmark::State &state, const std::vector<double> &source)
{
    if (!workloads::rx_wave_matches_reference(kModel)) {
        state.SkipWithError("output differs from the reference loops'");
        return;
    }
    void *instance = workloads::start(kModel, nullptr, 0, kRxSampleInterval, kRxSampleInterval * 32, nullptr);
    std::vector<double> clock_times(source.size() + 1, -1.0);
    time_get_wave(state, instance, source, clock_times.data());
    AMI_Close(instance);
}

void GetWave(benchmark::State &state)
{
    run_get_wave(state, data_wave(static_cast<size_t>(state.range(0))));
}
BENCHMARK(GetWave)->Arg(1024)->Arg(65536);

void GetWaveChannel(benchmark::State &state)
{
    run_get_wave(state, workloads::channel_wave(static_cast<size_t>(state.range(0)), 32));
}
BENCHMARK(GetWaveChannel)->Arg(65536);

// Args: column length, samples per bit.
void Init(benchmark::State &state)
{
    const long rows = state.range(0);
    const int samples_per_bit = static_cast<int>(state.range(1));
    if (!workloads::rx_init_matches_reference(kModel, rows, samples_per_bit)) {
        state.SkipWithError("output differs from the reference loops'");
        return;
    }
    time_init(state, workloads::rx_column(rows, samples_per_bit), rows, 0, kRxSampleInterval,
              kRxSampleInterval * samples_per_bit, nullptr);
}
BENCHMARK(Init)
    ->Args({4096, 32})
    ->Args({16384, 32})
    ->Args({65536, 32})
    ->Args({262144, 8})
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
