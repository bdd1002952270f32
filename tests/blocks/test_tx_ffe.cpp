// Tests of the Tx FFE block.
#include "IBIS_AMI_tree.h"
#include "Nerova_AMI_Model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(TxFFEFilter, ImpulseResponsePlacesEachTapOneUIApart)
{
    const double taps[2] = {0.7, -0.2};
    TxFFE ffe = SetupTxFFE(4, 2, -1, taps);
    ASSERT_EQ(ffe.history_length, 8);
    std::vector<double> x(12, 0.0);
    x[0] = 1.0;
    ApplyTxFFE(x.data(), 12, ffe, 0, x.data());
    for (int n = 0; n < 12; ++n)
        EXPECT_EQ(x[n], n == 0 ? 0.7 : n == 4 ? -0.2 : 0.0) << n;
    DeleteTxFFE(ffe);
}

TEST(TxFFEFilter, MatchesTheDirectSumWhenStreamedInPlace)
{
    const double taps[3] = {0.6, -0.25, 0.1};
    const int spb = 3, total = 50;
    std::vector<double> x(total), expected(total);
    for (int n = 0; n < total; ++n)
        x[n] = std::sin(0.37 * n) + 0.01 * n;
    for (int n = 0; n < total; ++n) {
        double s = 0.0;
        for (int k = 0; k < 3; ++k)
            s = s + taps[k] * (n - k * spb >= 0 ? x[n - k * spb] : 0.0);
        expected[n] = s;
    }

    TxFFE ffe = SetupTxFFE(spb, 3, 0, taps);
    std::vector<double> y = x;
    int done = 0;
    for (int chunk : {1, 0, 7, 2, 9, 31}) {
        ApplyTxFFE(y.data() + done, chunk, ffe, 0, y.data() + done);
        done += chunk;
    }
    ASSERT_EQ(done, total);
    EXPECT_EQ(y, expected);
    DeleteTxFFE(ffe);
}

TEST(TxFFEFilter, ResetClearsAfterFilteringItsOwnBlock)
{
    const double taps[2] = {1.0, 0.5};
    TxFFE ffe = SetupTxFFE(2, 2, 0, taps);
    const TxFFE copy = ffe; // copies share the state
    const double in[3] = {1.0, 2.0, 3.0};
    double out[3];
    ApplyTxFFE(in, 3, ffe, 0, out);
    ApplyTxFFE(in, 1, copy, 1, out); // still sees the old history: 1 + 0.5*2
    EXPECT_EQ(out[0], 2.0);
    EXPECT_EQ(*ffe.position, 0);

    ApplyTxFFE(in, 3, ffe, 0, out); // fresh again
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[2], 3.5);
    const int position = *ffe.position;
    ApplyTxFFE(in, 0, ffe, 0, out);
    ApplyTxFFE(in, -4, ffe, 0, out);
    EXPECT_EQ(*ffe.position, position);
    ApplyTxFFE(nullptr, 0, ffe, 1, nullptr); // an empty block still resets
    ApplyTxFFE(in, 1, ffe, 0, out);
    EXPECT_EQ(out[0], 1.0);
    DeleteTxFFE(ffe);
}

TEST(TxFFEFilter, OutOfRangeSetupPassesSamplesThrough)
{
    const double taps[2] = {0.5, 0.5};
    const TxFFE cases[] = {
        SetupTxFFE(0, 2, 3, taps),      SetupTxFFE(-1, 2, 3, taps),
        SetupTxFFE(4, 0, 3, taps),      SetupTxFFE(4, -2, 3, taps),
        SetupTxFFE(4, 2, 3, nullptr),   SetupTxFFE(65536, 65536, 3, taps),
    };
    const double in[3] = {1.0, -2.0, 3.0};
    for (const TxFFE &ffe : cases) {
        EXPECT_EQ(ffe.history_length, 0);
        EXPECT_EQ(ffe.mode, 3);
        EXPECT_EQ(ffe.taps, nullptr);
        EXPECT_EQ(ffe.history, nullptr);
        double out[3] = {};
        ApplyTxFFE(in, 3, ffe, 1, out);
        EXPECT_EQ(std::memcmp(in, out, sizeof in), 0);
        const double limits[2] = {0.0, 0.0};
        char message[AMI_MESSAGE_CAPACITY + 1] = "";
        AdvancedTxFFE(ffe, limits, limits, limits, message, AMI_MESSAGE_CAPACITY);
        EXPECT_STREQ(message, "");
        DeleteTxFFE(ffe);
    }
    DeleteTxFFE(TxFFE{});
}

TEST(TxFFELimits, ClampsAndQuantisesValidTaps)
{
    const double taps[4] = {0.26, 1.7, -0.2, -3.0};
    TxFFE ffe = SetupTxFFE(1, 4, 0, taps);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ffe.max_gain[i], 1.0);
        EXPECT_EQ(ffe.min_gain[i], -1.0);
        EXPECT_EQ(ffe.gain_step[i], 1e-06);
    }
    const double hi[4] = {1.0, 1.0, 0.5, 1.0};
    const double lo[4] = {-1.0, -1.0, -0.5, -1.0};
    const double st[4] = {0.1, 0.1, 0.25, 0.1};
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    AdvancedTxFFE(ffe, hi, lo, st, message, AMI_MESSAGE_CAPACITY);
    EXPECT_STREQ(message, "");
    EXPECT_EQ(ffe.taps[0], 0.1 * 3.0);
    EXPECT_EQ(ffe.taps[1], 1.0); // clamped first
    EXPECT_EQ(ffe.taps[2], -0.25); // floor, not truncation
    EXPECT_EQ(ffe.taps[3], -1.0);
    EXPECT_EQ(ffe.max_gain[2], 0.5);
    EXPECT_EQ(ffe.min_gain[2], -0.5);
    EXPECT_EQ(ffe.gain_step[2], 0.25);
    DeleteTxFFE(ffe);
}

TEST(TxFFELimits, InvalidCombinationWarnsAndKeepsThatTap)
{
    const double taps[5] = {0.3, 0.3, 0.3, 0.3, 0.3};
    TxFFE ffe = SetupTxFFE(2, 5, 0, taps);
    // hi = lo; step 0; hi - lo equal to the step; NaN; then one valid tap.
    const double hi[5] = {0.5, 1.0, 0.5, NAN, 1.0};
    const double lo[5] = {0.5, -1.0, 0.0, -1.0, 0.0};
    const double st[5] = {0.1, 0.0, 0.5, 0.1, 0.5};
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    AdvancedTxFFE(ffe, hi, lo, st, message, AMI_MESSAGE_CAPACITY);
    // Each warning is 80 characters: the fourth no longer fits 256.
    std::string expected;
    for (int i = 0; i < 3; ++i)
        expected += "**Warning** Invalid combination of max gain, min gain, and gain step in Tx FFE.\n";
    EXPECT_EQ(std::string(message), expected);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(ffe.taps[i], 0.3);
        EXPECT_EQ(ffe.max_gain[i], 1.0);
        EXPECT_EQ(ffe.min_gain[i], -1.0);
        EXPECT_EQ(ffe.gain_step[i], 1e-06);
    }
    EXPECT_EQ(ffe.taps[4], 0.5);

    // Null limits change nothing; a null buffer drops the warnings.
    AdvancedTxFFE(ffe, nullptr, lo, st, message, AMI_MESSAGE_CAPACITY);
    AdvancedTxFFE(ffe, hi, lo, st, nullptr, AMI_MESSAGE_CAPACITY);
    EXPECT_EQ(ffe.taps[4], 0.5);
    DeleteTxFFE(ffe);
}

} // namespace
