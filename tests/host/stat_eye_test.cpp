// Bit-error-ratio analysis: the statistical eye against closed forms and the
// worst-case eye, jitter and noise settings, and the time-domain jitter.
#include "model/ami_file.h"
#include "statistical/worst_case_eye.h"
#include "base/host_error.h"
#include "statistical/jitter_density.h"
#include "statistical/ber_eye.h"
#include "statistical/ber_eye_json.h"
#include "statistical/level_distribution.h"
#include "time_domain/edge_jitter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

using namespace ami_host;

namespace {

double q_function(double x) { return 0.5 * std::erfc(x / std::sqrt(2.0)); }

// A pulse response with intersymbol interference on both sides of its cursor.
std::vector<double> lossy_pulse(int samples_per_bit, double scale = 1.0)
{
    std::vector<double> pulse(static_cast<size_t>(40 * samples_per_bit), 0.0);
    for (size_t i = 0; i < pulse.size(); ++i) {
        const double t = (static_cast<double>(i) / samples_per_bit - 6.0) / 0.7;
        pulse[i] = scale * (std::exp(-t * t) * 0.7 + (t > 0 ? 0.15 * std::exp(-t / 3.0) * std::cos(t) : 0.0));
    }
    return pulse;
}

StatEyeInput input_for(std::vector<double> pulse, int samples_per_bit)
{
    StatEyeInput in;
    in.pulse = std::move(pulse);
    in.samples_per_bit = samples_per_bit;
    in.sample_interval = 1e-12;
    return in;
}

TEST(StatEye, NoiseAloneGivesTheGaussianTailAtTheCentre)
{
    // One bit of 1 V and nothing else: the levels are +-0.5 V.
    std::vector<double> pulse(64, 0.0);
    pulse[20] = 1.0;
    for (double distance : {3.09, 4.75, 6.0, 7.03, 7.94}) { // Q from 1e-3 down to 1e-15
        StatEyeInput in = input_for(pulse, 8);
        in.noise = 0.5 / distance;
        const StatEyeResult r = analyse_stat_eye(in);
        const double expected = q_function(distance);
        EXPECT_NEAR(r.horizontal_bathtub[r.phase.size() / 2], expected, 0.01 * expected) << distance;
    }
}

TEST(StatEye, TheRatioIsThatOfEveryPatternOfTheInterferingBits)
{
    // A main cursor of 0.9 V, five interfering cursors and one crosstalk
    // value: 64 patterns, each as likely, each with its Gaussian tails.
    const double interfering[] = {0.21, -0.13, 0.07, -0.033, 0.011, 0.17};
    std::vector<double> pulse(60, 0.0), aggressor(60, 0.0);
    pulse[20] = 0.9;
    const size_t at[] = {16, 24, 28, 32, 36}; // one bit before the cursor, one to four after
    for (int k = 0; k < 5; ++k)
        pulse[at[k]] = interfering[k];
    aggressor[44] = interfering[5];
    for (double sigma : {0.02, 0.04, 0.06}) {
        StatEyeInput in = input_for(pulse, 4);
        in.crosstalk = {aggressor};
        in.noise = sigma;
        const StatEyeResult r = analyse_stat_eye(in);
        for (size_t t = r.threshold.size() / 2; t < r.threshold.size(); t += 70) {
            const double th = r.threshold[t];
            double expected = 0.0;
            for (int m = 0; m < 64; ++m) {
                double isi = 0.0;
                for (int k = 0; k < 6; ++k)
                    isi += ((m >> k) & 1 ? 0.5 : -0.5) * interfering[k];
                expected += 0.5 * (q_function((0.45 + isi - th) / sigma) + q_function((th + 0.45 - isi) / sigma)) / 64;
            }
            if (expected > 1e-15) {
                EXPECT_NEAR(ber_at(r, r.phase.size() / 2, t), expected, 1e-3 * expected) << sigma << " " << th;
            }
        }
    }
}

TEST(StatEye, DualDiracAndSinusoidalJitterGiveTheClosedFormBathtub)
{
    // An ideal bit one UI wide, sampled 64 times per UI: the eye is open from
    // phase step -32 to 31, so before jitter it closes (ratio 1/2) halfway
    // between step 31 and 32 and between -33 and -32.
    const int spb = 64;
    std::vector<double> pulse(static_cast<size_t>(8 * spb), 0.0);
    for (int i = 0; i < spb; ++i)
        pulse[static_cast<size_t>(3 * spb + i)] = 1.0;
    pulse[static_cast<size_t>(3 * spb + spb / 2)] += 1e-9; // the main cursor, mid-bit
    const double h = 1.0 / 64;
    struct Case {
        double dj, rj, sj;
    };
    for (const Case c : {Case{0.1, 0.01, 0.0}, Case{0.05, 0.02, 0.0}, Case{0.1, 0.0, 0.0}, Case{0.03, 0.01, 0.05}}) {
        StatEyeInput in = input_for(pulse, spb);
        add_dual_dirac(in.jitter, c.dj);
        add_sinusoid(in.jitter, c.sj);
        add_gaussian(in.jitter, c.rj);
        const StatEyeResult r = analyse_stat_eye(in);
        auto tail = [&](double x) { // P(displacement > x), the sinusoid's phase integrated numerically
            auto q = [&](double y) { return c.rj > 0 ? q_function(y / c.rj) : (y < 0 ? 1.0 : 0.0); };
            const int steps = c.sj > 0 ? 2000 : 1;
            double sum = 0.0;
            for (int i = 0; i < steps; ++i) {
                const double sine = c.sj * std::sin(2 * std::numbers::pi * (i + 0.5) / steps);
                sum += 0.5 * (q(x - c.dj - sine) + q(x + c.dj - sine)) / steps;
            }
            return sum;
        };
        for (size_t p = 0; p < r.phase.size(); ++p) {
            const double phi = r.phase[p];
            const double expected = 0.5 * (tail(31.5 * h - phi) + tail(32.5 * h + phi));
            if (expected > 1e-15) {
                EXPECT_NEAR(r.horizontal_bathtub[p], expected, 0.01 * expected) << c.dj << " " << c.rj << " " << phi;
            } else {
                EXPECT_LT(r.horizontal_bathtub[p], 1e-15);
            }
        }
    }
}

// Where the worst-case opening at the phases either side of the cursor
// falls to `margin`, by bisection.
double worst_case_edge(const std::vector<double> &pulse, int spb, double sign, double margin, double dir)
{
    const double cursor = static_cast<double>(analyse_pulse(pulse, spb, 1.0).cursor_index);
    auto open = [&](double phase) { return opening_at(pulse, cursor + phase * spb, spb, sign) > margin; };
    double inside = 0.0, outside = 0.5 * dir;
    EXPECT_FALSE(open(outside));
    for (int i = 0; i < 60; ++i)
        (open(0.5 * (inside + outside)) ? inside : outside) = 0.5 * (inside + outside);
    return inside;
}

TEST(StatEye, WithoutJitterOrNoiseTheOpeningIsTheWorstCaseEye)
{
    const int spb = 16;
    std::vector<double> aggressor(200, 0.0);
    aggressor[48] = 0.03;
    aggressor[64] = -0.02;
    struct Case {
        double scale;
        bool crosstalk;
        double sensitivity; // closes the eye by twice itself
        double target;      // at or below every pattern's probability
    };
    for (const Case c : {Case{1.0, false, 0.0, 1e-300}, Case{-0.8, false, 0.0, 1e-12}, Case{1.0, true, 0.0, 1e-30},
                         Case{1.0, false, 0.05, 1e-30}}) {
        StatEyeInput in = input_for(lossy_pulse(spb, c.scale), spb);
        if (c.crosstalk)
            in.crosstalk.push_back(aggressor);
        in.sensitivity = c.sensitivity;
        in.target_ber = c.target;
        const StatEyeResult r = analyse_stat_eye(in);
        const PulseMetrics m = analyse_pulse(in.pulse, spb, in.sample_interval);
        // The aggressor's values one bit apart around the cursor, each
        // either sign: its worst case closes the eye by their sum, twice.
        double crosstalk = 0.0;
        if (c.crosstalk)
            for (size_t i = m.cursor_index % spb; i < aggressor.size(); i += spb)
                crosstalk += std::fabs(aggressor[i]);
        ASSERT_TRUE(r.open);
        EXPECT_NEAR(r.eye_height, m.eye_height - crosstalk - 2 * c.sensitivity, 1e-9) << c.scale;
        if (!c.crosstalk) {
            const double sign = c.scale < 0 ? -1.0 : 1.0;
            EXPECT_NEAR(r.eye_left, worst_case_edge(in.pulse, spb, sign, 2 * c.sensitivity, -1.0), 1e-8) << c.scale;
            EXPECT_NEAR(r.eye_right, worst_case_edge(in.pulse, spb, sign, 2 * c.sensitivity, 1.0), 1e-8) << c.scale;
        }
    }
}

TEST(StatEye, TheJitteredEyeDoesNotDependOnThePhaseGrid)
{
    struct Case {
        double dj, dcd, sj, rj;
    };
    for (const Case c : {Case{0.05, 0.0, 0.0, 0.02}, Case{0.03, 0.007, 0.04, 0.01}, Case{0.05, 0.0, 0.0, 0.0}}) {
        StatEyeInput in = input_for(lossy_pulse(16), 16);
        in.noise = 0.01;
        add_dual_dirac(in.jitter, c.dj);
        add_dual_dirac(in.jitter, c.dcd);
        add_sinusoid(in.jitter, c.sj);
        add_gaussian(in.jitter, c.rj);
        const StatEyeResult coarse = analyse_stat_eye(in);
        in.phases_per_ui = 128;
        const StatEyeResult fine = analyse_stat_eye(in);
        ASSERT_TRUE(fine.open);
        EXPECT_NEAR(coarse.eye_height, fine.eye_height, 1e-3 * fine.eye_height) << c.dj;
        EXPECT_NEAR(coarse.eye_width, fine.eye_width, 1e-3) << c.dj;
        EXPECT_NEAR(coarse.ber_at_sampling_point, fine.ber_at_sampling_point, 0.01 * fine.ber_at_sampling_point);
    }
}

TEST(StatEye, DeterministicJitterNarrowsTheEyeByItsOwnAmount)
{
    // Off the phase grid's steps: a dual Dirac of +-a narrows the eye by
    // about 2a, the same few thousandths of a UI less for every a.
    auto width = [](double dj) {
        StatEyeInput in = input_for(lossy_pulse(16), 16);
        in.noise = 0.01;
        add_dual_dirac(in.jitter, dj);
        return analyse_stat_eye(in).eye_width;
    };
    const double none = width(0.0), dcd = width(0.007), dj40 = width(0.040), dj54 = width(0.054);
    EXPECT_NEAR(dj40 - dj54, 2 * 0.014, 1e-3);
    EXPECT_NEAR(none - dcd, 2 * 0.007 + (none - dj40 - 2 * 0.040), 1e-3);
    EXPECT_GT(none - dcd, 0.005);
}

TEST(StatEye, FoldedCursorsKeepTheRatioOfEveryPattern)
{
    // A cursor of 1 V and 300 interfering values of 2 mV: the number of
    // them adding is binomial, and 44 of them enter as a Gaussian.
    const int spb = 4, count = 300;
    const double value = 0.002, sigma = 0.12;
    std::vector<double> pulse(static_cast<size_t>(spb * (count + 7)), 0.0);
    pulse[20] = 1.0;
    for (int k = 1; k <= count; ++k)
        pulse[static_cast<size_t>(20 + spb * k)] = k % 2 ? value : -value;
    StatEyeInput in = input_for(pulse, spb);
    in.noise = sigma;
    const StatEyeResult r = analyse_stat_eye(in);
    EXPECT_EQ(r.folded_cursors, static_cast<size_t>(count) - kExactCursors);
    EXPECT_NEAR(r.fold_bound, 0.5 * value * static_cast<double>(r.folded_cursors), 1e-12);
    double expected = 0.0, log_choose = 0.0; // log of (count choose k)
    for (int k = 0; k <= count; ++k) {
        if (k > 0)
            log_choose += std::log(static_cast<double>(count - k + 1) / k);
        const double level = 0.5 - 0.5 * value * count + value * k;
        expected += std::exp(log_choose - count * std::log(2.0)) * q_function(level / sigma);
    }
    EXPECT_NEAR(r.horizontal_bathtub[r.phase.size() / 2], expected, 1e-3 * expected);
}

// Linear interpolation at fractional sample x.
double interpolated(const std::vector<double> &v, double x)
{
    const size_t i = static_cast<size_t>(x);
    return i + 1 < v.size() ? v[i] + (x - static_cast<double>(i)) * (v[i + 1] - v[i]) : 0.0;
}

TEST(StatEye, AgreesWithTheErrorsCountedOnRandomBits)
{
    // A linear receiver: every decision superposes the pulse response over
    // the bits around it, at a jittered instant, with noise added.
    const int spb = 16;
    const double ui = 16e-12;
    StatEyeInput in = input_for(lossy_pulse(spb), spb);
    Impairments im;
    set_impairment(im, "Rx_Noise", "0.1");
    set_impairment(im, "Rx_Rj", "0.08UI");
    apply_impairments(in, im, ui);
    const double expected = analyse_stat_eye(in).horizontal_bathtub[32];

    const EdgeJitter clock = rx_sampling_jitter(im, ui, true, 3);
    const double cursor = static_cast<double>(analyse_pulse(in.pulse, spb, in.sample_interval).cursor_index);
    const long bits = 400000, span = static_cast<long>(in.pulse.size()) / spb;
    std::vector<uint8_t> data(static_cast<size_t>(bits));
    uint32_t state = 1;
    for (uint8_t &b : data) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(state >> 31);
    }
    long errors = 0, counted = 0;
    for (long n = span; n < bits - span; ++n, ++counted) {
        const double at = cursor + edge_displacement(clock, n, n % 2 == 0, 0.0) / in.sample_interval;
        double v = decision_noise(im.rx_noise, 3, n);
        for (long m = n - span; m <= n + span; ++m) {
            const double x = at + static_cast<double>((n - m) * spb);
            if (x >= 0.0)
                v += (data[static_cast<size_t>(m)] ? 0.5 : -0.5) * interpolated(in.pulse, x);
        }
        errors += decide(v, 0.0, 0.0) != data[static_cast<size_t>(n)];
    }
    // Within the binomial 99 % interval around the statistical ratio.
    const double mean = expected * static_cast<double>(counted);
    EXPECT_NEAR(static_cast<double>(errors), mean, 2.58 * std::sqrt(mean)) << errors << " of " << counted;
}

TEST(StatEye, HalvingTheVoltageStepLeavesTheEyeAsItWas)
{
    StatEyeInput in = input_for(lossy_pulse(16), 16);
    in.noise = 0.01;
    add_gaussian(in.jitter, 0.01);
    in.voltage_bins = 2048;
    const StatEyeResult coarse = analyse_stat_eye(in);
    in.voltage_bins = 4096;
    const StatEyeResult fine = analyse_stat_eye(in);
    ASSERT_TRUE(coarse.open);
    EXPECT_NEAR(coarse.eye_height, fine.eye_height, 1e-4 * fine.eye_height);
    EXPECT_NEAR(coarse.eye_width, fine.eye_width, 1e-3);
    // The contours nest: a lower ratio, a smaller eye.
    for (size_t k = 1; k < coarse.contours.size(); ++k)
        EXPECT_LE(coarse.contours[k].upper[32], coarse.contours[k - 1].upper[32]);
}

TEST(StatEye, TheJsonKeepsZeroVoltsAndWritesClosedContoursAsNull)
{
    StatEyeInput in = input_for(lossy_pulse(16), 16);
    in.noise = 0.08; // closes the eye at the lower ratios
    const nlohmann::json j = stat_eye_json(analyse_stat_eye(in));
    const std::vector<double> thresholds = j["threshold"];
    EXPECT_LE(thresholds.size(), kWrittenThresholds);
    EXPECT_NEAR(thresholds[thresholds.size() / 2], 0.0, 1e-15);
    EXPECT_EQ(j["log10_ber"].size(), j["phase_ui"].size());
    EXPECT_EQ(j["log10_ber"][0].size(), thresholds.size());
    EXPECT_FALSE(j["open"]);
    EXPECT_TRUE(j["contours"].back()["upper"][32].is_null());
    EXPECT_FALSE(j["contours"].front()["upper"][32].is_null());
}

TEST(Impairments, TimesAreReadInUnitIntervalsOrSeconds)
{
    struct Case {
        const char *text;
        double value;
        bool in_ui;
    };
    for (const Case c : {Case{"0.01UI", 0.01, true}, Case{" 0.5 ui ", 0.5, true}, Case{"1e-12", 1e-12, false},
                         Case{"2e-12 s", 2e-12, false}}) {
        const TimeAmount t = parse_time_amount(c.text);
        EXPECT_EQ(t.value, c.value) << c.text;
        EXPECT_EQ(t.in_ui, c.in_ui) << c.text;
    }
    for (const char *bad : {"", "UI", "abc", "1e-12x", "1,5e-12"})
        EXPECT_THROW(parse_time_amount(bad), Error) << bad;
    Impairments im;
    EXPECT_THROW(set_impairment(im, "Tx_Rj", "-0.01UI"), Error);
    EXPECT_THROW(set_impairment(im, "Rx_Noise", "0.01UI"), Error);
    EXPECT_THROW(set_impairment(im, "Tx_Wobble", "1"), Error);
    set_impairment(im, "Rx_Clock_Recovery_Mean", "-0.05UI");
    EXPECT_DOUBLE_EQ(im.rx_clock_recovery_mean.seconds(1e-10), -5e-12);
}

TEST(Impairments, AModelDeclaresItsOwnSidesJitterAndNoise)
{
    const AmiFile ami = parse_ami_file("(rx (Reserved_Parameters\n"
                                       " (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
                                       " (GetWave_Exists (Usage Info) (Type Boolean) (Value True))\n"
                                       " (Rx_Rj (Usage Info) (Type UI) (Value 0.02))\n"
                                       " (Rx_Dj (Usage Info) (Type Float) (Corner 3e-12 2e-12 4e-12))\n"
                                       " (Rx_Noise (Usage Info) (Type Float) (Range 0.002 0 0.01))\n"
                                       " (Rx_DCD (Usage Out) (Type Float) (Value 1e-12))\n"
                                       " (Tx_Rj (Usage Info) (Type UI) (Value 0.5))\n"
                                       " (Rx_Sj 0.01UI)))",
                                       "rx.ami");
    Impairments im;
    const std::vector<std::string> taken = take_declared_impairments(im, ami.reserved, LinkSide::Rx, "rx.ami");
    EXPECT_EQ(taken, (std::vector<std::string>{"Rx_Rj", "Rx_Dj", "Rx_Noise", "Rx_Sj"}));
    EXPECT_DOUBLE_EQ(im.rx_rj.ui(1e-10), 0.02);
    EXPECT_DOUBLE_EQ(im.rx_dj.seconds(1e-10), 3e-12);
    EXPECT_DOUBLE_EQ(im.rx_noise, 0.002);
    EXPECT_DOUBLE_EQ(im.rx_sj.ui(1e-10), 0.01);
    EXPECT_EQ(im.rx_dcd.value, 0.0);
    EXPECT_EQ(im.tx_rj.value, 0.0);

    // Dual-Diracs combine point by point; Tx_Sj enters with or without its
    // frequency, as the same arcsine density.
    set_impairment(im, "Tx_DCD", "0.01UI");
    EXPECT_EQ(sampling_jitter(im, 1e-10).offsets.size(), 4u * kSinusoidPoints);
    set_impairment(im, "Tx_Sj", "0.1UI");
    const JitterDensity without = sampling_jitter(im, 1e-10);
    EXPECT_GT(without.offsets.back(), 0.1);
    set_impairment(im, "Tx_Sj_Frequency", "1e6");
    EXPECT_EQ(sampling_jitter(im, 1e-10).offsets, without.offsets);

    // A recovered clock beyond half a UI would sample another bit.
    for (const char *mean : {"0.5UI", "-5e-11"}) {
        set_impairment(im, "Rx_Clock_Recovery_Mean", mean);
        EXPECT_NO_THROW(check_clock_offset(im, 1e-10)) << mean;
    }
    for (const char *mean : {"0.51UI", "-3UI"}) {
        set_impairment(im, "Rx_Clock_Recovery_Mean", mean);
        EXPECT_THROW(check_clock_offset(im, 1e-10), Error) << mean;
    }
    // Declared by a model, the refusal names the file and line.
    const AmiFile far = parse_ami_file("(rx (Reserved_Parameters\n"
                                       " (Init_Returns_Impulse (Usage Info) (Type Boolean) (Value True))\n"
                                       " (GetWave_Exists (Usage Info) (Type Boolean) (Value True))\n"
                                       " (Rx_Clock_Recovery_Mean (Usage Info) (Type UI) (Value 0.7))))",
                                       "far.ami");
    take_declared_impairments(im, far.reserved, LinkSide::Rx, "far.ami");
    try {
        check_clock_offset(im, 1e-10);
        ADD_FAILURE() << "no refusal";
    } catch (const Error &e) {
        EXPECT_EQ(std::string(e.what()).rfind("far.ami:4: Rx_Clock_Recovery_Mean of 0.7 UI", 0), 0u) << e.what();
    }
}

TEST(TimingJitter, EdgesMoveByTheirComponents)
{
    EdgeJitter dirac;
    dirac.dual_dirac = {3e-12};
    dirac.dcd = 1e-12;
    int early = 0;
    for (int64_t n = 0; n < 2000; ++n) {
        const bool rising = n % 3 == 0;
        const double d = edge_displacement(dirac, n, rising, 0.0) - (rising ? 1e-12 : -1e-12);
        ASSERT_NEAR(std::fabs(d), 3e-12, 1e-24);
        early += d < 0;
    }
    EXPECT_NEAR(early, 1000, 100);

    EdgeJitter random;
    random.rj = 2e-12;
    random.seed = 5;
    double sum = 0.0, squares = 0.0;
    const int count = 20000;
    for (int64_t n = 0; n < count; ++n) {
        const double d = edge_displacement(random, n, true, 0.0);
        sum += d;
        squares += d * d;
    }
    EXPECT_NEAR(sum / count, 0.0, 0.05e-12);
    EXPECT_NEAR(std::sqrt(squares / count), 2e-12, 0.04e-12);

    EdgeJitter sine;
    sine.sinusoids = {{4e-12, 1e8}};
    EXPECT_NEAR(edge_displacement(sine, 7, true, 2.5e-9), 4e-12 * std::sin(2 * std::numbers::pi * 0.25), 1e-24);
    EXPECT_EQ(edge_displacement(sine, 7, true, 2.5e-9), edge_displacement(sine, 7, false, 2.5e-9));
}

TEST(TimingJitter, TheStimulusKeepsEachEdgesTimeAndIsTheSameInAnyBlocks)
{
    const double ui = 1e-10, dt = ui / 8;
    const std::vector<uint8_t> bits{0, 1, 1, 0, 1, 0, 0, 0, 1, 1};
    // Without jitter: plain NRZ, 8 samples per bit.
    const std::vector<double> plain = jittered_nrz(EdgeJitter{}, bits, 0, ui, dt, 0, 80);
    for (size_t i = 0; i < plain.size(); ++i)
        ASSERT_EQ(plain[i], bits[i / 8] ? 0.5 : -0.5) << i;

    // Also with edges moved past each other (Dj 0.7 UI).
    EdgeJitter overtaking;
    overtaking.dual_dirac = {0.7 * ui};
    for (const EdgeJitter &edges : {EdgeJitter{3e-12, {2e-12}, 0.0, {}, 0.0, 11}, overtaking}) {
        const std::vector<double> whole = jittered_nrz(edges, bits, 0, ui, dt, 0, 80);
        std::vector<double> pieces;
        for (int64_t from = 0; from < 80; from += 13) {
            // Each block sees only the bits its edges reach, numbered from its first.
            const int64_t first_bit = std::max<int64_t>(0, from / 8 - bits_reached(edges, ui));
            const std::vector<uint8_t> near(bits.begin() + first_bit, bits.end());
            const std::vector<double> block = jittered_nrz(edges, near, first_bit, ui, dt, from,
                                                           static_cast<size_t>(std::min<int64_t>(13, 80 - from)));
            pieces.insert(pieces.end(), block.begin(), block.end());
        }
        EXPECT_EQ(pieces, whole);
        for (double v : whole)
            EXPECT_TRUE(v >= -0.5 && v <= 0.5) << v;
    }

    EdgeJitter j;
    j.rj = 3e-12;
    j.dual_dirac = {2e-12};
    j.seed = 11;
    const std::vector<double> whole = jittered_nrz(j, bits, 0, ui, dt, 0, 80);

    // The rising edge that starts bit 1 lies where the sample's mean puts it.
    const double edge = ui + edge_displacement(j, 1, true, ui);
    const size_t s = static_cast<size_t>(edge / dt);
    EXPECT_NEAR((static_cast<double>(s) + 1) * dt - (whole[s] + 0.5) * dt, edge, 1e-20);
}

TEST(TimingJitter, DecisionsWithinTheSensitivityAreUnresolved)
{
    EXPECT_EQ(decide(0.02, 0.0, 0.01), 1);
    EXPECT_EQ(decide(-0.02, 0.0, 0.01), 0);
    EXPECT_EQ(decide(0.005, 0.0, 0.01), -1);
    EXPECT_EQ(decision_noise(0.0, 1, 7), 0.0);
    EXPECT_EQ(decision_noise(0.1, 1, 7), decision_noise(0.1, 1, 7));
    EXPECT_NE(decision_noise(0.1, 1, 7), decision_noise(0.1, 1, 8));
}

TEST(StatEye, APlacedPhaseOriginGivesTheWorstCaseEyeThere)
{
    // Without noise or jitter the opening at phase 0 is the worst case at
    // that instant, wherever it lies.
    const int spb = 16;
    const std::vector<double> pulse = lossy_pulse(spb);
    for (double origin : {92.0, 98.5, 101.25}) {
        StatEyeInput in = input_for(pulse, spb);
        in.phase_origin = origin;
        const StatEyeResult r = analyse_stat_eye(in);
        EXPECT_NEAR(r.eye_height, opening_at(pulse, origin, spb, 1.0), 1e-9) << origin;
        EXPECT_DOUBLE_EQ(r.cursor_time, origin * in.sample_interval);
    }
}

} // namespace
