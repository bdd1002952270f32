// Tests of the FIR block.
#include "Nerova_AMI_Model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

namespace {

std::vector<double> Impulse(int count)
{
    std::vector<double> x(count, 0.0);
    x[0] = 1.0;
    return x;
}

TEST(FIRSetup, WholeSampleSpacingIsAPlainFIR)
{
    const double coefficients[3] = {0.5, -0.25, 0.125};
    const double gain = 2.0;
    FIR fir = SetupSimpleFIR(3, 4.0, 1.0, &gain, coefficients);
    ASSERT_EQ(fir.history_length, 14);
    EXPECT_EQ(fir.set_count, 1);
    for (int j = 0; j < 3; ++j) {
        EXPECT_EQ(fir.delays[j], 4 * j);
        EXPECT_EQ(fir.weights[j], 1.0);
    }
    std::vector<double> x = Impulse(16);
    ApplyFIR(x.data(), 16, fir, 0, 0, x.data());
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(x[n], n == 0 ? 1.0 : n == 4 ? -0.5 : n == 8 ? 0.25 : 0.0) << n;
    DeleteFIR(fir);
}

TEST(FIRSetup, DelaysWeightsAndLengthOfTheShapingFilter)
{
    const double coefficients[12] = {};
    const double gain = 1.0;
    FIR fir = SetupSimpleFIR(12, 2e-11, 3e-12, &gain, coefficients);
    const int delays[12] = {0, 6, 13, 20, 26, 33, 40, 46, 53, 60, 66, 73};
    const double weights[4] = {1.0, 1.0 / 3.0, 2.0 / 3.0, 1.0};
    EXPECT_EQ(fir.history_length, 82);
    for (int j = 0; j < 12; ++j) {
        EXPECT_EQ(fir.delays[j], delays[j]) << j;
        EXPECT_NEAR(fir.weights[j], weights[j % 3 == 0 ? 0 : j % 3], 1e-13) << j;
    }
    DeleteFIR(fir);

    // 5 * 2e-11 / 1e-12 lands just below 100: nearly all of that tap is read
    // from 100 samples back.
    fir = SetupSimpleFIR(12, 2e-11, 1e-12, &gain, coefficients);
    EXPECT_EQ(fir.history_length, 242);
    EXPECT_EQ(fir.delays[5], 99);
    EXPECT_GT(fir.weights[5], 0.0);
    EXPECT_LT(fir.weights[5], 1e-12);
    EXPECT_EQ(fir.delays[6], 120);
    EXPECT_EQ(fir.weights[6], 1.0);
    DeleteFIR(fir);
}

TEST(FIRFilter, FractionalDelayInterpolatesBetweenSamples)
{
    const double coefficients[3] = {1.0, 0.8, -0.4};
    const double gain = 1.0;
    FIR fir = SetupSimpleFIR(3, 2.5e-12, 1e-12, &gain, coefficients);
    const std::vector<double> x = Impulse(8);
    std::vector<double> y(8);
    ApplyFIR(x.data(), 8, fir, 0, 0, y.data());
    const double expected[8] = {1.0, 0.0, 0.4, 0.4, 0.0, -0.4, 0.0, 0.0};
    for (int n = 0; n < 8; ++n)
        EXPECT_DOUBLE_EQ(y[n], expected[n]) << n;
    DeleteFIR(fir);
}

TEST(FIRFilter, SetsAreScaledByTheirGainsAndClamped)
{
    // Row j holds tap j of each of the three sets.
    const double row0[3] = {1.0, 2.0, 3.0};
    const double row1[3] = {0.5, 0.25, 0.125};
    const double *const coefficients[2] = {row0, row1};
    const double gains[3] = {1.0, -1.0, 4.0};
    FIR fir = SetupFIR(2, 3, 1.0, 1.0, gains, coefficients);
    ASSERT_EQ(fir.set_count, 3);
    EXPECT_EQ(fir.tap_sets[1][0], -2.0);
    EXPECT_EQ(fir.tap_sets[2][1], 0.5);

    const struct {
        int set;
        double tap0, tap1;
    } cases[] = {{0, 1.0, 0.5}, {1, -2.0, -0.25}, {2, 12.0, 0.5}, {3, 12.0, 0.5}, {99, 12.0, 0.5}, {-1, 1.0, 0.5}};
    for (const auto &c : cases) {
        const std::vector<double> x = Impulse(3);
        std::vector<double> y(3);
        ApplyFIR(x.data(), 3, fir, c.set, 1, y.data());
        EXPECT_EQ(y[0], c.tap0) << c.set;
        EXPECT_EQ(y[1], c.tap1) << c.set;
        EXPECT_EQ(y[2], 0.0) << c.set;
    }
    DeleteFIR(fir);
}

TEST(FIRFilter, StreamingInPlaceEqualsOneCall)
{
    double coefficients[12];
    for (int j = 0; j < 12; ++j)
        coefficients[j] = 0.3 - 0.05 * j;
    const double gain = 0.9;
    const int total = 300;
    std::vector<double> x(total);
    for (int n = 0; n < total; ++n)
        x[n] = std::cos(0.21 * n) * (n % 7 == 0 ? 1.0 : -0.5);

    FIR whole = SetupSimpleFIR(12, 2e-11, 3e-12, &gain, coefficients);
    std::vector<double> expected(total);
    ApplyFIR(x.data(), total, whole, 0, 0, expected.data());

    // Uneven chunks, in place; the last one resets after filtering itself.
    FIR pieces = SetupSimpleFIR(12, 2e-11, 3e-12, &gain, coefficients);
    std::vector<double> y = x;
    int done = 0;
    for (int chunk : {5, 0, 81, 1, 82, 131}) {
        ApplyFIR(y.data() + done, chunk, pieces, 0, done + chunk == total, y.data() + done);
        done += chunk;
    }
    ASSERT_EQ(done, total);
    EXPECT_EQ(y, expected);
    EXPECT_EQ(*pieces.position, 0);

    // Fresh again; an empty block keeps the position, and may still reset.
    ApplyFIR(x.data(), total, pieces, 0, 0, y.data());
    EXPECT_EQ(y, expected);
    const int position = *pieces.position;
    ApplyFIR(x.data(), -1, pieces, 0, 0, y.data());
    EXPECT_EQ(*pieces.position, position);
    ApplyFIR(nullptr, 0, pieces, 0, 1, nullptr);
    ApplyFIR(x.data(), total, pieces, 0, 0, y.data());
    EXPECT_EQ(y, expected);
    DeleteFIR(whole);
    DeleteFIR(pieces);
}

TEST(FIRSetup, OutOfRangeArgumentsGiveAPassThroughFilter)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const double coefficients[2] = {1.0, 1.0};
    const double *const rows[2] = {coefficients, nullptr};
    const double gain = 1.0;
    const FIR cases[] = {
        SetupSimpleFIR(-1, 1.0, 1.0, &gain, coefficients),
        SetupSimpleFIR(2, 1.0, 0.0, &gain, coefficients),
        SetupSimpleFIR(2, 1.0, nan, &gain, coefficients),
        SetupSimpleFIR(2, -1.0, 1.0, &gain, coefficients),
        SetupSimpleFIR(2, inf, 1.0, &gain, coefficients),
        SetupSimpleFIR(2, 1.0, 1.0, nullptr, coefficients),
        SetupSimpleFIR(2, 1.0, 1.0, &gain, nullptr),
        SetupSimpleFIR(2, 1.0, 1e-300, &gain, coefficients), // infinite history
        SetupSimpleFIR(2, 1.0, 1e-10, &gain, coefficients),  // beyond an int
        SetupFIR(2, 0, 1.0, 1.0, &gain, rows),
        SetupFIR(2, 1, 1.0, 1.0, &gain, rows),                // a null row
        SetupFIR(2, 1, 1.0, 1.0, &gain, nullptr),
    };
    const double in[3] = {1.0, -2.0, 3.0};
    for (const FIR &fir : cases) {
        EXPECT_EQ(fir.history_length, 0);
        EXPECT_EQ(fir.history, nullptr);
        double out[3] = {};
        ApplyFIR(in, 3, fir, 0, 1, out);
        EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
        DeleteFIR(fir);
    }
    DeleteFIR(FIR{});

    // No taps is a valid filter: it outputs zeros and needs no arrays.
    FIR empty = SetupFIR(0, 2, 1.0, 1.0, nullptr, nullptr);
    EXPECT_EQ(empty.history_length, 2);
    double out[3] = {9.0, 9.0, 9.0};
    ApplyFIR(in, 3, empty, 1, 0, out);
    EXPECT_EQ(out[0], 0.0);
    EXPECT_EQ(out[2], 0.0);
    DeleteFIR(empty);
}

} // namespace
