// Eye metrics: worst-case eye of a pulse response, and the eye, latency,
// errors and clock settling of a waveform sampled on a clock.
#include "channel/channel.h"
#include "statistical/worst_case_eye.h"
#include "time_domain/waveform_analysis.h"
#include "model/model_loader.h"
#include "statistical/init_flow.h"

#include <gtest/gtest.h>

#include <algorithm>
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
    const ModelLibrary library(TX_MODEL, "Tx model");
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

AnalysisSettings unit_settings(int per_bit, long long bits)
{
    AnalysisSettings in;
    in.sample_interval = 1.0;
    in.samples_per_bit = per_bit;
    in.bits = bits;
    in.max_latency = 20;
    return in;
}

TEST(WaveformAnalysis, FindsTheLatencyCountsErrorsAndMeasuresTheEye)
{
    const int per_bit = 16;
    Nrz signal = nrz(2000, per_bit, 3 * per_bit + 4);
    signal.wave[(500 + 3) * per_bit + 4 + 8] = signal.bits[500] ? -0.6 : 0.6; // one bit sampled wrong
    AnalysisSettings in = unit_settings(per_bit, 2000);
    in.ignore_bits = 100;
    in.ideal_clock = true;
    in.ideal_position = 4 + 8;
    const WaveformResult r = analyse_waveform(in, signal.wave, {}, signal.bits);
    EXPECT_TRUE(r.data.latency_found);
    EXPECT_EQ(r.data.latency, 3);
    EXPECT_EQ(r.data.bit_errors, 1);
    EXPECT_EQ(r.data.clock_slips, 0);
    EXPECT_GT(r.data.bits_counted, 1850);
    EXPECT_NEAR(r.clock.final_phase, 12.0 / 16.0, 1e-12);
    ASSERT_TRUE(r.eye.valid);
    EXPECT_LT(r.eye.height, 0.0); // the wrong bit closes the eye
    EXPECT_FALSE(r.eye.open);
    EXPECT_EQ(r.density.counts.size(), static_cast<size_t>(r.density.times) * r.density.levels);
}

TEST(WaveformAnalysis, AnOpeningBesideTheThresholdIsNotAnOpenEye)
{
    // Zeros at -0.6 V, ones at +0.3 V but for one at -0.1 V: the opening
    // lies below the threshold, and that one bit is in error.
    const int per_bit = 16;
    Nrz signal = nrz(3000, per_bit, 0);
    for (double &v : signal.wave)
        v = v > 0.0 ? 0.3 : -0.6;
    const size_t low_one = static_cast<size_t>(std::find(signal.bits.begin() + 1000, signal.bits.end(), 1) -
                                               signal.bits.begin());
    std::fill_n(signal.wave.begin() + static_cast<long>(low_one * per_bit), per_bit, -0.1);
    AnalysisSettings in = unit_settings(per_bit, 3000);
    in.ideal_clock = true;
    in.ideal_position = 8;
    const WaveformResult r = analyse_waveform(in, signal.wave, {}, signal.bits);
    ASSERT_TRUE(r.eye.valid);
    EXPECT_NEAR(r.eye.height, 0.5, 1e-12);
    EXPECT_NEAR(r.eye.top, -0.1, 1e-12);
    EXPECT_FALSE(r.eye.open);
    EXPECT_EQ(r.eye.width, 0.0);
    EXPECT_EQ(r.data.bit_errors, 1);
}

// Clock edges of a recovered clock whose sampling phase is `phase(k)` UI in bit k.
template <typename Phase>
std::vector<double> clock_edges(int first, int last, int per_bit, Phase phase)
{
    std::vector<double> edges;
    for (int k = first; k < last; ++k)
        edges.push_back((k + phase(k) - 0.5) * per_bit);
    return edges;
}

TEST(WaveformAnalysis, TheClockSettlesOnceItsPhaseStaysInTheBandAndTheAnswerHoldsForAnyRunLength)
{
    const int per_bit = 16;
    const Nrz signal = nrz(3000, per_bit, 0);
    // The phase stands still for 150 bits, ramps from 0 to 0.5 UI over 512
    // bits (slowly enough that the still start and the ramp's first 106 bits
    // fit in the band), then wanders in steps of exactly 1/32 UI between
    // 13/32 and 17/32 (a spread of the whole 0.125 UI tolerance), each step
    // off by a rounding error of either sign.
    auto phase = [](int k, double rounding) {
        if (k < 150)
            return 0.0;
        if (k < 662)
            return 0.5 * (k - 150) / 512.0;
        return (13 + 2 * ((k / 7) % 3)) / 32.0 + ((k % 2) ? rounding : -rounding);
    };
    const AnalysisSettings in = unit_settings(per_bit, 3000);
    std::vector<WaveformResult> runs;
    for (double rounding : {0.0, 1e-10})
        for (int last : {2990, 1500})
            runs.push_back(analyse_waveform(in, signal.wave,
                                            clock_edges(1, last, per_bit, [&](int k) { return phase(k, rounding); }),
                                            signal.bits));
    for (const WaveformResult &r : runs) {
        EXPECT_TRUE(r.clock.settled);
        // Windows on the ramp cross their band one way. The first that does
        // not starts where the ramp reaches 13/32 UI, at bit 566 (clock 565).
        EXPECT_EQ(r.clock.settle_clock, 565u);
        EXPECT_EQ(r.clock.settle_time, runs[0].clock.settle_time);
        EXPECT_EQ(r.clock.lock_losses, 0u);
        EXPECT_NEAR(r.clock.final_phase, 15.0 / 32.0, 0.01);
        EXPECT_EQ(r.data.bit_errors, 0);
        EXPECT_EQ(r.data.latency, 0);
        EXPECT_NEAR(r.eye.height, 1.0, 1e-12);
        EXPECT_GT(r.eye.width, 0.8);
    }

    // A run that ends before the phase has been steady for 256 bits has not settled.
    const WaveformResult short_run = analyse_waveform(
        in, signal.wave, clock_edges(1, 200, per_bit, [](int) { return 0.5; }), signal.bits);
    EXPECT_FALSE(short_run.clock.settled);
    EXPECT_EQ(short_run.data.bits_counted, 0);
}

TEST(WaveformAnalysis, FiguresDoNotDependOnHowTheStreamIsCut)
{
    const int per_bit = 8;
    const Nrz signal = nrz(6000, per_bit, 5);
    std::vector<double> wave = signal.wave;
    for (size_t i = 0; i < wave.size(); ++i)
        wave[i] += 0.05 * std::sin(0.37 * static_cast<double>(i)); // distinct levels everywhere
    const std::vector<double> edges =
        clock_edges(1, 5990, per_bit, [](int k) { return 0.6 + 0.03 * std::sin(k / 50.0); });
    const AnalysisSettings in = unit_settings(per_bit, 6000);
    const WaveformResult whole = analyse_waveform(in, wave, edges, signal.bits, &wave);
    for (size_t piece : {1u, 7u, 1000u}) {
        WaveformAnalyser analyser(in);
        analyser.sent(signal.bits.data(), signal.bits.size());
        size_t next_edge = 0;
        for (size_t at = 0; at < wave.size(); at += piece) {
            const size_t count = std::min(piece, wave.size() - at);
            analyser.reference(wave.data() + at, count);
            analyser.output(wave.data() + at, count);
            const size_t from = next_edge;
            while (next_edge < edges.size() && edges[next_edge] < static_cast<double>(at + count))
                ++next_edge;
            analyser.clock_times(edges.data() + from, next_edge - from);
        }
        analyser.finish();
        const WaveformResult r = analyser.result();
        EXPECT_EQ(r.clock.settle_clock, whole.clock.settle_clock) << piece;
        EXPECT_EQ(r.data.bits_counted, whole.data.bits_counted) << piece;
        EXPECT_EQ(r.data.bit_errors, whole.data.bit_errors) << piece;
        EXPECT_EQ(r.eye.lowest_one, whole.eye.lowest_one) << piece;
        EXPECT_EQ(r.eye.highest_zero, whole.eye.highest_zero) << piece;
        EXPECT_EQ(r.eye.linear_height, whole.eye.linear_height) << piece;
        EXPECT_EQ(r.density.counts, whole.density.counts) << piece;
    }
}

} // namespace
