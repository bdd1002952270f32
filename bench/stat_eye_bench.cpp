// Statistical eye speed: 64 phases x 4096 voltage bins for a pulse response
// 100 bits long at 32 samples per bit, with noise alone and with noise and
// jitter, and for responses 1,000 to 100,000 bits long with noise, random
// and deterministic jitter. The baseline is the worst-case eye of the same
// pulse response at the same 64 phases.
#include "statistical/worst_case_eye.h"
#include "statistical/ber_eye.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace {

constexpr int kSamplesPerBit = 32;

// A lossy channel's pulse response: a main cursor, pre-cursors and a long
// ringing tail, every bit of the 100 carrying some interference.
std::vector<double> pulse_response_100_bits()
{
    std::vector<double> pulse(100 * kSamplesPerBit);
    for (size_t i = 0; i < pulse.size(); ++i) {
        const double t = static_cast<double>(i) / kSamplesPerBit - 5.0;
        pulse[i] = 0.6 * std::exp(-t * t / 1.8) + (t > 0 ? 0.2 * std::exp(-t / 25.0) * std::cos(0.9 * t) : 0.0);
    }
    return pulse;
}

// An equalised response `bits` long whose eye is open, with a slow
// reflection tail that never dies out: every cursor carries some
// interference, as in a long measured channel or crosstalk response.
std::vector<double> long_pulse_response(long bits)
{
    std::vector<double> pulse(static_cast<size_t>(bits * kSamplesPerBit));
    for (size_t i = 0; i < pulse.size(); ++i) {
        const double t = static_cast<double>(i) / kSamplesPerBit - 5.0;
        pulse[i] = 0.6 * std::exp(-t * t / 0.3) +
                   (t > 0 ? 0.03 * std::exp(-t / 25.0) * std::cos(0.9 * t) + 2e-4 * std::cos(0.37 * t) / (1.0 + t / 50.0)
                          : 0.0);
    }
    return pulse;
}

ami_host::StatEyeInput input(bool jitter, long bits = 100)
{
    ami_host::StatEyeInput in;
    in.pulse = bits == 100 ? pulse_response_100_bits() : long_pulse_response(bits);
    in.samples_per_bit = kSamplesPerBit;
    in.sample_interval = 1e-10 / kSamplesPerBit;
    in.noise = 0.005;
    if (jitter) {
        ami_host::add_dual_dirac(in.jitter, 0.05);
        ami_host::add_gaussian(in.jitter, 0.01);
    }
    return in;
}

void StatEye(benchmark::State &state)
{
    const ami_host::StatEyeInput in = input(state.range(0) != 0);
    for (auto _ : state) {
        ami_host::StatEyeResult r = ami_host::analyse_stat_eye(in);
        benchmark::DoNotOptimize(r.eye_height);
    }
}
BENCHMARK(StatEye)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void LongStatEye(benchmark::State &state)
{
    const ami_host::StatEyeInput in = input(true, state.range(0));
    for (auto _ : state) {
        ami_host::StatEyeResult r = ami_host::analyse_stat_eye(in);
        benchmark::DoNotOptimize(r.eye_height);
    }
}
BENCHMARK(LongStatEye)->Arg(1000)->Arg(2000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void WorstCaseEyeBaseline(benchmark::State &state)
{
    const std::vector<double> pulse = state.range(0) == 100 ? pulse_response_100_bits() : long_pulse_response(state.range(0));
    const ami_host::PulseMetrics m = ami_host::analyse_pulse(pulse, kSamplesPerBit, 1.0);
    for (auto _ : state) {
        double sum = 0.0;
        for (int p = -32; p <= 32; ++p)
            sum += ami_host::opening_at(pulse, static_cast<double>(m.cursor_index) + p * kSamplesPerBit / 64.0,
                                        kSamplesPerBit, 1.0);
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(WorstCaseEyeBaseline)->Arg(100)->Arg(1000)->Arg(2000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
