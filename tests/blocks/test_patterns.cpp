// Tests of the conversions between impulse, step, pulse and PRBS7 responses.
#include "Nerova_AMI_Model.h"
#include "test_signals.h"

#include "../../blocks/prbs7_period.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// A smooth impulse response peaking at sample `peak`.
std::vector<double> Bump(int n, int peak, double width)
{
    std::vector<double> x(n);
    for (int i = 0; i < n; ++i) {
        const double d = (i - peak) / width;
        x[i] = std::exp(-d * d);
    }
    return x;
}

int Peak(const std::vector<double> &x)
{
    int m = 0;
    for (int i = 1; i < static_cast<int>(x.size()); ++i)
        if (std::fabs(x[i]) > std::fabs(x[m]))
            m = i;
    return m;
}

TEST(Patterns, StepAndPulseConversions)
{
    // I2S: samples summing to 2, dt 1.
    const double impulse[4] = {0.5, 1.0, 0.25, 0.25};
    double step[8];
    I2S(step, impulse, 4, 1.0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(step[i], -1.0) << i;
    EXPECT_EQ(step[4], -1.0);
    EXPECT_EQ(step[5], -0.5);
    EXPECT_EQ(step[7], 1.0 - impulse[3]);

    // S2I of a ramp of slope 0.75 (second half only); inside the stencil's
    // reach it is the slope, at the clamped ends less.
    const int n = 10;
    std::vector<double> ramp(2 * n, 99.0);
    for (int k = 0; k < n; ++k)
        ramp[n + k] = 0.75 * k + 2.0;
    std::vector<double> slope(n);
    S2I(slope.data(), ramp.data(), n, 1.0);
    for (int k = 3; k < n - 3; ++k)
        EXPECT_NEAR(slope[k], 0.75, 1e-14) << k;
    EXPECT_NEAR(slope[0], (0.59 * 0.75 - 0.03 * 2.25), 1e-14);

    // I2P: unit impulse, S 4, dt 1; also in place.
    std::vector<double> pulse = unit_impulse(8);
    I2P(pulse.data(), pulse.data(), 8, 4, 1.0);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(pulse[i], i < 4 ? 1.0 : 0.0) << i;

    // P2I undoes I2P: an impulse at sample 5 comes back as the stencil
    // centred between samples 4 and 5, summing to 1.
    std::vector<double> impulse5(16, 0.0), pulse5(16), back(16);
    impulse5[5] = 1.0;
    I2P(pulse5.data(), impulse5.data(), 16, 4, 1.0);
    P2I(back.data(), pulse5.data(), 16, 4, 1.0);
    for (int k = 0; k < 16; ++k) {
        const double expected = k == 4 || k == 5 ? 0.56 : k >= 2 && k <= 7 ? -0.03 : 0.0;
        EXPECT_NEAR(back[k], expected, 1e-15) << k;
    }
}

TEST(Patterns, PRBS7WaveformAndItsInverse)
{
    // One-sample pulse at S 1: the pattern's levels themselves.
    std::vector<double> wave(127, 9.0);
    const double one = 1.0;
    P2PRBS(wave.data(), &one, 1, 1, 0.0);
    const int head[16] = {1, 1, 1, 1, 1, 1, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1};
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(wave[k], head[k] ? 0.5 : -0.5) << k;
    int ones = 0, zeros = 0;
    for (double v : wave) {
        ones += v == 0.5;
        zeros += v == -0.5;
    }
    EXPECT_EQ(ones, 64);
    EXPECT_EQ(zeros, 63);

    // Correlation and inversion recover the pulse, folded modulo L.
    const int S = 3, L = 127 * S;
    for (int length : {40, L, L + 50}) {
        const std::vector<double> pulse = noise(length, 7u + length);
        std::vector<double> period(L), w(L), recovered(L);
        P2PRBS(period.data(), pulse.data(), length, S, 0.0);
        ami::invert_prbs7_period(recovered.data(), w.data(), period.data(), S);
        for (int k = 0; k < L; ++k) {
            double folded = k < length ? pulse[k] : 0.0;
            if (k + L < length)
                folded += pulse[k + L];
            EXPECT_NEAR(recovered[k], folded, 1e-13) << length << " " << k;
        }
    }
}

TEST(Patterns, RoundTripThroughThreePeriodsKeepsAlignment)
{
    const int n = 2000, S = 10;
    const std::vector<double> impulse = Bump(n, 100, 6.0);
    double *periods = nullptr;
    int length = 0, rotation = -1;
    I2PRBS7(&periods, impulse.data(), n, S, &length, &rotation, 1.0);
    ASSERT_NE(periods, nullptr);
    EXPECT_EQ(length, 381 * S);
    EXPECT_EQ(rotation, 60);
    for (int k = 0; k < 127 * S; ++k)
        ASSERT_TRUE(periods[k] == periods[k + 127 * S] && periods[k] == periods[k + 254 * S]) << k;

    std::vector<double> out(n);
    PRBS72I(out.data(), &periods, n, S, &rotation, 1.0);
    EXPECT_EQ(periods, nullptr);
    EXPECT_EQ(Peak(out), 100);
    EXPECT_NEAR(out[100], 1.0, 0.01);
    // Far from the bump, the response has settled back to zero.
    EXPECT_NEAR(out[1500], 0.0, 1e-9);

    // The shape survives, moved by the half sample of the centred
    // differentiation.
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(out[i], impulse[i], 0.1) << i;

    // A response peaking within the first 12 UI takes the other extension
    // (the last UI of the period repeated) and keeps its shape too.
    const std::vector<double> early = Bump(n, 30, 6.0);
    std::vector<double> period(127 * S);
    I2PRBS(period.data(), early.data(), n, S, 1.0);
    PRBS2I(out.data(), period.data(), n, S, 1.0);
    EXPECT_NEAR(Peak(out), 30, 1);
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(out[i], early[i], 0.1) << i;
}

TEST(Patterns, UnmetLimitsStayInsideTheArrays)
{
    const int S = 2, L = 127 * S;
    const std::vector<double> in = noise(L, 3u);
    // Too short to hold a period: zeros.
    std::vector<double> out(L - 1, 5.0);
    PRBS2P(out.data(), in.data(), L - 1, S, 1.0);
    EXPECT_EQ(out, std::vector<double>(L - 1, 0.0));
    out.assign(L - 1, 5.0);
    PRBS2I(out.data(), in.data(), L - 1, S, 1.0);
    EXPECT_EQ(out, std::vector<double>(L - 1, 0.0));
    // No samples per bit: zeros where the length is known, else untouched.
    out.assign(10, 5.0);
    I2P(out.data(), in.data(), 10, 0, 1.0);
    EXPECT_EQ(out, std::vector<double>(10, 0.0));
    out.assign(10, 5.0);
    P2I(out.data(), in.data(), 10, -1, 1.0);
    EXPECT_EQ(out, std::vector<double>(10, 0.0));
    out.assign(10, 5.0);
    P2PRBS(out.data(), in.data(), 10, 0, 1.0);
    I2PRBS(out.data(), in.data(), 10, 0, 1.0);
    EXPECT_EQ(out, std::vector<double>(10, 5.0));

    double *periods = nullptr;
    int length = 7, rotation = 7;
    I2PRBS7(&periods, in.data(), L, 0, &length, &rotation, 1.0);
    EXPECT_EQ(periods, nullptr);
    EXPECT_EQ(length, 0);
    EXPECT_EQ(rotation, 0);

    // PRBS72I releases its array even when it cannot use it.
    I2PRBS7(&periods, in.data(), L, S, &length, &rotation, 1.0);
    ASSERT_NE(periods, nullptr);
    out.assign(L - 1, 5.0);
    PRBS72I(out.data(), &periods, L - 1, S, &rotation, 1.0);
    EXPECT_EQ(periods, nullptr);
    EXPECT_EQ(out, std::vector<double>(L - 1, 0.0));
}

} // namespace
