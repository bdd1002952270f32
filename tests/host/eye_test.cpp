// Eye metrics: worst-case eye of a pulse response, and the eye, latency,
// errors and clock settling of a waveform sampled on a clock.
#include "channel.h"
#include "eye.h"
#include "loaded_model.h"
#include "statistical.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace ami_host;

namespace {

TEST(PulseMetrics, WorstCaseEyeSubtractsTheIntersymbolInterference)
{
    std::vector<double> pulse(40, 0.0);
    pulse[10] = 1.0;
    pulse[6] = 0.1;
    pulse[14] = -0.2;
    pulse[18] = 0.05;
    pulse[15] = 0.3; // not a whole bit from the cursor: no interference there
    const PulseMetrics m = analyse_pulse(pulse, 4, 1.0);
    EXPECT_EQ(m.cursor_index, 10u);
    EXPECT_DOUBLE_EQ(m.eye_height, 0.65);
    EXPECT_DOUBLE_EQ(m.peak, 1.35);

    // A triangle one bit wide on either side opens for exactly one bit.
    std::vector<double> triangle(64, 0.0);
    for (int i = -8; i <= 8; ++i)
        triangle[static_cast<size_t>(30 + i)] = 1.0 - std::abs(i) / 8.0;
    EXPECT_NEAR(analyse_pulse(triangle, 8, 1e-12).eye_width, 8e-12, 1e-15);

    // The pulse of an impulse is its running sum over one bit.
    const std::vector<double> p = pulse_response({1.0, 2.0, 0.0, 0.0, 3.0}, 2, 0.5);
    EXPECT_EQ(p, (std::vector<double>{0.5, 1.5, 1.0, 0.0, 1.5}));
}

TEST(PulseMetrics, TheWorstCaseEyeAndPeakEqualTheModelLibrarysOwn)
{
    // The models export the block library's peak-distortion figures; the
    // host computes the same ones itself, since it drives any model.
    LoadedModel library(TX_MODEL);
    ASSERT_TRUE(library.ok()) << library.error;
    using Metric = double (*)(const double *, int, int, double);
    const auto pda = reinterpret_cast<Metric>(library.symbol("PDA"));
    const auto max = reinterpret_cast<Metric>(library.symbol("MAX"));
    ASSERT_TRUE(pda && max);
    const double dt = 1e-10 / 32;
    std::vector<double> impulse = embedded_channel(LineParameters{}, dt, 1e-10).impulse;
    impulse.resize(static_cast<size_t>(impulse_row_size(impulse.size(), 32)), 0.0);
    const PulseMetrics m = analyse_pulse(pulse_response(impulse, 32, dt), 32, dt);
    const int n = static_cast<int>(impulse.size());
    EXPECT_NEAR(m.eye_height, pda(impulse.data(), n, 32, dt), 1e-12);
    EXPECT_NEAR(m.peak, max(impulse.data(), n, 32, dt), 1e-12);
}

struct Nrz {
    std::vector<double> wave;
    std::vector<uint8_t> bits;
};

// Bits of a short pseudo-random pattern as +-0.5 V, `delay` samples late.
Nrz nrz(size_t count, int per_bit, size_t delay)
{
    Nrz out;
    uint32_t seed = 7;
    for (size_t i = 0; i < count; ++i) {
        seed = seed * 1664525u + 1013904223u;
        out.bits.push_back(static_cast<uint8_t>(seed >> 31));
    }
    out.wave.assign(delay, -0.5);
    for (uint8_t b : out.bits)
        out.wave.insert(out.wave.end(), static_cast<size_t>(per_bit), b ? 0.5 : -0.5);
    return out;
}

TEST(WaveformAnalysis, FindsTheLatencyCountsErrorsAndMeasuresTheEye)
{
    const int per_bit = 16;
    Nrz signal = nrz(2000, per_bit, 3 * per_bit + 4);
    signal.wave[(500 + 3) * per_bit + 4 + 8] = signal.bits[500] ? -0.6 : 0.6; // one bit sampled wrong
    const std::vector<double> clocks = ideal_clock_times(signal.wave.size(), per_bit, 1.0, 4 + 8);
    WaveformInputs in;
    in.wave = &signal.wave;
    in.clock_times = &clocks;
    in.bits = &signal.bits;
    in.sample_interval = 1.0;
    in.samples_per_bit = per_bit;
    in.ignore_bits = 100;
    in.max_latency = 20;
    in.clock_from_model = false;
    const WaveformResult r = analyse_waveform(in);
    EXPECT_TRUE(r.latency_found);
    EXPECT_EQ(r.latency, 3);
    EXPECT_EQ(r.bit_errors, 1);
    EXPECT_EQ(r.clock_slips, 0);
    EXPECT_GT(r.bits_counted, 1850);
    EXPECT_NEAR(r.final_phase, 12.0 / 16.0, 1e-12);
    ASSERT_TRUE(r.eye_valid);
    EXPECT_LT(r.eye_height, 0.0); // the wrong bit closes the eye
    EXPECT_EQ(r.density.size(), static_cast<size_t>(r.density_times) * r.density_levels);
}

TEST(WaveformAnalysis, ARecoveredClockSettlesWhenItsPhaseStaysNearItsFinalPhase)
{
    const int per_bit = 16;
    const Nrz signal = nrz(3000, per_bit, 0);
    // The sampling phase ramps from 0 to 0.5 UI over 400 bits, then wanders
    // between 0.45, 0.5 and 0.55 UI.
    std::vector<double> clocks;
    for (int k = 1; k < 2990; ++k) {
        const double phase = k < 400 ? 0.5 * k / 400.0 : 0.45 + 0.05 * ((k / 7) % 3);
        clocks.push_back((k + phase - 0.5) * per_bit);
    }
    WaveformInputs in;
    in.wave = &signal.wave;
    in.clock_times = &clocks;
    in.bits = &signal.bits;
    in.sample_interval = 1.0;
    in.samples_per_bit = per_bit;
    in.max_latency = 4;
    const WaveformResult r = analyse_waveform(in);
    EXPECT_TRUE(r.settled);
    // Within 0.125 UI of the final phase 0.5 from the 300th bit (0.375 UI) on.
    EXPECT_NEAR(r.final_phase, 0.5, 1e-12);
    EXPECT_NEAR(r.settle_time / per_bit, 300.375, 1e-9);
    EXPECT_NEAR(r.phase_spread, 0.55 - 0.375, 1e-9);
    EXPECT_EQ(r.bit_errors, 0);
    EXPECT_EQ(r.latency, 0);
    EXPECT_NEAR(r.eye_height, 1.0, 1e-12);
    EXPECT_GT(r.eye_width, 0.8);
}

} // namespace
