// The link's jitter and noise in the streamed time-domain flow, against the
// statistical eye and for repeatable runs.
#include "statistical/worst_case_eye.h"
#include "model/impairments.h"
#include "statistical/ber_eye.h"
#include "time_domain/time_domain_run.h"
#include "time_domain/impairment_draws.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

using namespace ami_host;

namespace {

constexpr int kSamplesPerBit = 8;
constexpr double kBitTime = 1e-10;
constexpr double kDt = kBitTime / kSamplesPerBit;

// A first-order low-pass of time constant 0.25 UI after a delay of 2 UI,
// V/s: a little ISI, and a pulse response that starts from 0.
std::vector<double> low_pass_impulse()
{
    const double tau = 0.25 * kBitTime;
    std::vector<double> h(12 * kSamplesPerBit, 0.0);
    for (size_t i = 2 * kSamplesPerBit; i < h.size(); ++i)
        h[i] = std::exp(-(static_cast<double>(i - 2 * kSamplesPerBit) + 0.5) * kDt / tau) / tau;
    return h;
}

// Streams `bits` PRBS bits through the channel alone, the host's ideal clock
// at the pulse response's main cursor.
WaveformResult stream(const Impairments &im, long long bits, uint64_t seed)
{
    const std::vector<double> impulse = low_pass_impulse();
    const PulseMetrics m = analyse_pulse(pulse_response(impulse, kSamplesPerBit, kDt), kSamplesPerBit, kDt);
    TimeDomainSettings settings;
    settings.prbs_order = 15;
    settings.bits = bits;
    settings.samples_per_bit = kSamplesPerBit;
    settings.block_size = 1000;
    settings.tx_jitter = stimulus_jitter(im, kBitTime, seed);
    TimeDomainLink link;
    for (double h : impulse)
        link.channel.push_back(h * kDt);
    AnalysisSettings analysis;
    analysis.sample_interval = kDt;
    analysis.samples_per_bit = kSamplesPerBit;
    analysis.bits = bits;
    analysis.max_latency = 16;
    analysis.ideal_position = static_cast<double>(m.cursor_index);
    analysis.decision = decision_impairments(im, kBitTime, seed);
    Progress quiet(Progress::Mode::Never);
    return run_time_domain(settings, link, analysis, quiet).waveform;
}

TEST(BerFlow, CountedErrorsAgreeWithTheStatisticalRatio)
{
    Impairments im;
    set_impairment(im, "Rx_Noise", "0.115");
    set_impairment(im, "Rx_Rj", "0.03UI");
    set_impairment(im, "Rx_Dj", "0.02UI");
    StatEyeInput in;
    in.pulse = pulse_response(low_pass_impulse(), kSamplesPerBit, kDt);
    in.samples_per_bit = kSamplesPerBit;
    in.sample_interval = kDt;
    apply_impairments(in, im, kBitTime);
    const StatEyeResult eye = analyse_stat_eye(in);
    const double p = eye.ber_at_sampling_point;
    ASSERT_GT(p, 1e-4);
    ASSERT_LT(p, 1e-3);

    const DataResult data = stream(im, 1000000, 7).data;
    ASSERT_TRUE(data.latency_found);
    const double n = static_cast<double>(data.bits_counted);
    const double expected = n * p;
    const double interval = 2.576 * std::sqrt(expected * (1.0 - p)); // binomial, 99 %
    std::printf("counted %lld errors in %lld bits; statistical BER %.4g expects %.1f +- %.1f\n", data.bit_errors,
                data.bits_counted, p, expected, interval);
    EXPECT_NEAR(static_cast<double>(data.bit_errors), expected, interval);
}

// Sampling jitter of half a UI and more moves the instant into the
// neighbouring bits; both flows sample there alike.
struct LargeJitter {
    const char *name, *value;
};

class BerFlowLargeJitter : public testing::TestWithParam<LargeJitter> {};

TEST_P(BerFlowLargeJitter, CountedErrorsAgreeWithTheStatisticalRatio)
{
    Impairments im;
    set_impairment(im, "Rx_Noise", "0.02");
    set_impairment(im, GetParam().name, GetParam().value);
    StatEyeInput in;
    in.pulse = pulse_response(low_pass_impulse(), kSamplesPerBit, kDt);
    in.samples_per_bit = kSamplesPerBit;
    in.sample_interval = kDt;
    apply_impairments(in, im, kBitTime);
    const double p = analyse_stat_eye(in).ber_at_sampling_point;

    const DataResult data = stream(im, 200000, 5).data;
    ASSERT_TRUE(data.latency_found);
    const double n = static_cast<double>(data.bits_counted);
    const double interval = 2.576 * std::sqrt(n * p * (1.0 - p));
    EXPECT_NEAR(static_cast<double>(data.bit_errors), n * p, interval) << "statistical BER " << p;
}

INSTANTIATE_TEST_SUITE_P(HalfAUiAndBeyond, BerFlowLargeJitter,
                         testing::Values(LargeJitter{"Rx_Dj", "0.44UI"}, LargeJitter{"Rx_Rj", "0.3UI"},
                                         LargeJitter{"Rx_Dj", "0.6UI"}, LargeJitter{"Rx_Dj", "1.2UI"},
                                         LargeJitter{"Rx_Sj", "0.7UI"}),
                         [](const testing::TestParamInfo<LargeJitter> &info) {
                             std::string name = std::string(info.param.name) + "_" + info.param.value;
                             std::replace(name.begin(), name.end(), '.', '_');
                             return name;
                         });

TEST(BerFlow, TheSeedAloneDecidesTheDraws)
{
    Impairments im;
    set_impairment(im, "Tx_Rj", "0.05UI");
    set_impairment(im, "Tx_DCD", "0.05UI");
    set_impairment(im, "Rx_Noise", "0.1");
    const WaveformResult a = stream(im, 20000, 3), again = stream(im, 20000, 3), other = stream(im, 20000, 4);
    EXPECT_EQ(a.eye.top, again.eye.top);
    EXPECT_EQ(a.eye.bottom, again.eye.bottom);
    EXPECT_EQ(a.data.bit_errors, again.data.bit_errors);
    EXPECT_NE(a.eye.top, other.eye.top);
}

} // namespace
