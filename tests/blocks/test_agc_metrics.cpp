// Tests of the AGC block and of the figures of merit of an impulse response.
#include "Nerova_AMI_Model.h"
#include "heap_calls.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

TEST(AGC, InitialGainFromTheImpulseResponse)
{
    // Unit impulse, S 4: the pulse is four samples of 1, energy 4*0.25 = 1,
    // so the level is sqrt(1/4).
    const double impulse[8] = {1.0, 0, 0, 0, 0, 0, 0, 0};
    AGC agc = SetupAGC(-0.2, impulse, 8, 1.0, 4);
    EXPECT_EQ(agc.target, 0.2);
    EXPECT_EQ(*agc.level, 0.5);
    EXPECT_EQ(*agc.gain, 0.4);
    DeleteAGC(agc);

    // No samples per bit, or no energy: gain 1, level the target.
    const double silent[8] = {};
    for (AGC other : {SetupAGC(0.3, impulse, 8, 1.0, 0), SetupAGC(0.3, silent, 8, 1.0, 4)}) {
        EXPECT_EQ(*other.gain, 1.0);
        EXPECT_EQ(*other.level, 0.3);
        DeleteAGC(other);
    }
}

TEST(AGC, WaveformBlocksTrackTheLevel)
{
    const double impulse[8] = {1.0, 0, 0, 0, 0, 0, 0, 0};
    AGC agc = SetupAGC(0.2, impulse, 8, 1.0, 4);
    const AGC copy = agc;

    // An impulse response is scaled by the current gain, which stays.
    std::vector<double> x(4, 1.0);
    ApplyAGC(x.data(), 4, agc, 1, x.data());
    EXPECT_EQ(x[3], 0.4);
    EXPECT_EQ(*agc.level, 0.5);

    // Two constant blocks of RMS 2, in place; each gain includes its own block.
    double level = 0.5;
    std::vector<double> block(5);
    const long calls = heap_calls();
    for (int call = 0; call < 2; ++call) {
        std::fill(block.begin(), block.end(), -2.0);
        ApplyAGC(block.data(), 5, copy, 0, block.data());
        level = 0.99 * level + 0.01 * 2.0;
        EXPECT_EQ(*agc.level, level) << call;
        EXPECT_EQ(*agc.gain, 0.2 / level) << call;
        EXPECT_EQ(block[4], -2.0 * (0.2 / level)) << call;
    }
    EXPECT_EQ(heap_calls(), calls);
    EXPECT_EQ(level, 0.99 * (0.99 * 0.5 + 0.01 * 2.0) + 0.01 * 2.0);

    // An empty block changes nothing.
    ApplyAGC(x.data(), 0, agc, 0, x.data());
    ApplyAGC(x.data(), -4, agc, 0, x.data());
    EXPECT_EQ(*agc.level, level);
    DeleteAGC(agc);
}

TEST(Metrics, PeakAndEyeOpening)
{
    // S 1: the pulse is the impulse response times dt.
    const double impulse[5] = {0.2, 2.0, -0.6, 0.4, 0.1};
    EXPECT_NEAR(MAX(impulse, 5, 1, 0.5), 1.0 + 0.3 + 0.2 + 0.05 + 0.1, 1e-15);
    EXPECT_NEAR(PDA(impulse, 5, 1, 0.5), 1.0 - 0.3 - 0.2 - 0.05 - 0.1, 1e-15);

    // A pulse with one non-zero sample.
    const double single[6] = {0, 0, 0, -3.0, 0, 0};
    EXPECT_EQ(MAX(single, 6, 1, 0.5), 1.5);
    EXPECT_EQ(PDA(single, 6, 1, 0.5), 1.5);

    // n <= S: the cursor alone. Pulse 1, 1.5, 1.
    const double short_response[3] = {1.0, 0.5, -0.5};
    EXPECT_EQ(MAX(short_response, 3, 4, 1.0), 1.5);
    EXPECT_EQ(PDA(short_response, 3, 4, 1.0), 1.5);
    EXPECT_EQ(MAX(short_response, 3, 0, 1.0), 0.0);
}

TEST(Metrics, SignalToNoise)
{
    // S 2 (h 1): the pulse is 0, 1, 3, 0, 0, 0 with its cursor at 2; the
    // signal samples are 1 and 2.
    const double impulse[6] = {0.0, 1.0, 2.0, -2.0, 2.0, -2.0};
    EXPECT_EQ(SNR(impulse, 6, 2, 1.0, 0.5), (0.25 + 6.25) * 1e9);
    EXPECT_EQ(SNR(impulse, 6, 2, 1.0, 2.0), 1e9);

    // With noise: the pulse 0, 0, 2, 2, 0, 0 has its cursor at 2; sample 3
    // is noise.
    const double noisy[6] = {0.0, 0.0, 2.0, 0.0, 0.0, 0.0};
    EXPECT_EQ(SNR(noisy, 6, 2, 1.0, 0.5), 2.25 / 4.0);
    EXPECT_EQ(SNR(noisy, 6, 2, 1.0, 3.0), 0.0);
}

} // namespace
