// The transmitter's fitted taps and the rounding of samples per bit.
#include "samples_per_bit.h"
#include "tx_coefficients.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

void expect_six_digits(double actual, double expected, const char *what, int index)
{
    EXPECT_NEAR(actual, expected, 5e-6 * std::fabs(expected)) << what << " " << index;
}

TEST(TxTaps, DefaultSettings)
{
    const dorvex8::TxTaps taps = dorvex8::compute_tx_taps(0, 0, 7);
    const double ffe[] = {0.687622, -0.0158345};
    const double fir[] = {-0.000331313, 0.115789,  0.842574,   0.0876025,  -0.0442778, 0.0418827,
                          -0.0570321,   0.0258531, 0.00505108, 0.00828085, -0.016405,  0.0029802};
    for (int i = 0; i < dorvex8::kFfeTaps; ++i)
        expect_six_digits(taps.ffe[i], ffe[i], "FFE tap", i);
    for (int i = 0; i < dorvex8::kFirTaps; ++i)
        expect_six_digits(taps.fir[i], fir[i], "FIR tap", i);
}

TEST(TxTaps, StrongDeemphasis)
{
    const dorvex8::TxTaps taps = dorvex8::compute_tx_taps(0, 7, 7);
    expect_six_digits(taps.ffe[0], 0.485772, "FFE tap", 0);
    expect_six_digits(taps.ffe[1], -0.149458, "FFE tap", 1);
    expect_six_digits(taps.fir[6], -0.237136, "FIR tap", 6);
}

TEST(TxTaps, EveryTermOfTheFitIsUsed)
{
    // The corner, swing and cross terms all move the taps: a fit row read
    // with a wrong column order or a dropped term changes these differences.
    const dorvex8::TxTaps low = dorvex8::compute_tx_taps(-1, 2, 1);
    const dorvex8::TxTaps high = dorvex8::compute_tx_taps(1, 2, 1);
    EXPECT_NEAR(high.ffe[0] - low.ffe[0], 2 * (-0.0182602718046875 + 0.000744549609374998 * -1.5 +
                                               -0.000447973779017852 * -2.5),
                1e-14);
}

TEST(SamplesPerBit, RoundsHalvesDown)
{
    EXPECT_EQ(ami::round_samples_per_bit(32.0), 32);
    EXPECT_EQ(ami::round_samples_per_bit(32.5), 32);
    EXPECT_EQ(ami::round_samples_per_bit(32.6), 33);
    EXPECT_EQ(ami::round_samples_per_bit(1.5), 1);
    EXPECT_EQ(ami::round_samples_per_bit(0.5), 0);
    EXPECT_EQ(ami::round_samples_per_bit(-3.0), 0);
    EXPECT_EQ(ami::round_samples_per_bit(1e6), 1000000);
}

TEST(SamplesPerBit, RatiosThatAreNotNumbersOrTooLargeDoNotHang)
{
    EXPECT_EQ(ami::round_samples_per_bit(std::numeric_limits<double>::infinity()), -1);
    EXPECT_EQ(ami::round_samples_per_bit(std::numeric_limits<double>::quiet_NaN()), -1);
    EXPECT_EQ(ami::round_samples_per_bit(1e300), std::numeric_limits<int>::max());
}

} // namespace
