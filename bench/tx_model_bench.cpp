// Transmitter model throughput: AMI_GetWave at 32 samples per bit in blocks of
// 1024 and 65536 samples, and AMI_Init on a 16384-sample, 3-column matrix.
#include "dorvex8_tx.h"
#include "model_bench.h"

#include <vector>

namespace {

constexpr double kSampleInterval = 1e-11;
constexpr double kBitTime = 3.2e-10; // 32 samples per bit
char kSettings[] = "(dorvex8_tx (TX_Deemph 4))";

void GetWave(benchmark::State &state)
{
    std::vector<double> impulse = unit_impulse(256);
    char *parameters = nullptr;
    char *message = nullptr;
    void *instance = nullptr;
    AMI_Init(impulse.data(), 256, 0, kSampleInterval, kBitTime, kSettings, &parameters, &instance, &message);
    // The filters' gain is below 2: noise stays bounded.
    time_get_wave(state, instance, noise(static_cast<size_t>(state.range(0)), 1), nullptr);
    AMI_Close(instance);
}
BENCHMARK(GetWave)->Arg(1024)->Arg(65536);

void Init(benchmark::State &state)
{
    const long rows = 16384;
    time_init(state, noise(3 * rows, 1), rows, 2, kSampleInterval, kBitTime, kSettings);
}
BENCHMARK(Init)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
