// Transmitter model throughput: AMI_GetWave at 32 samples per bit in blocks of
// 1024 and 65536 samples, and AMI_Init on a 16384-sample, 3-column matrix,
// each with its ratio to plain filters measured in the same run.
#include "dorvex8_tx.h"
#include "model_bench.h"

#include <vector>

namespace {

using workloads::kTxSampleInterval;

const workloads::Model kModel{AMI_Init, AMI_GetWave, AMI_Close, nullptr};
constexpr double kBitTime = 3.2e-10; // 32 samples per bit

void GetWave(benchmark::State &state)
{
    if (!workloads::tx_wave_matches_reference(kModel)) {
        state.SkipWithError("output differs from the reference loops'");
        return;
    }
    void *instance = workloads::start(kModel, nullptr, 0, kTxSampleInterval, kBitTime, workloads::kTxSettings);
    // The filters' gain is below 2: noise stays bounded.
    time_get_wave(state, instance, noise(static_cast<size_t>(state.range(0)), 1), nullptr);
    AMI_Close(instance);
}
BENCHMARK(GetWave)->Arg(1024)->Arg(65536);

void Init(benchmark::State &state)
{
    const long rows = 16384;
    time_init(state, noise(3 * rows, 1), rows, 2, kTxSampleInterval, kBitTime, workloads::kTxSettings);
}
BENCHMARK(Init)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
