// Tests of the peaking filter block.
#include "IBIS_AMI_tree.h"
#include "Nerova_AMI_Model.h"
#include "heap_calls.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using Sections = std::vector<Complex>;

// A bank whose configuration i has poles[i], weights[i] and gains[i].
PeakingFilter Make(double T, int order, const std::vector<Sections> &poles, const std::vector<Sections> &weights,
                   const std::vector<double> &gains)
{
    std::vector<const Complex *> p, w;
    for (size_t i = 0; i < gains.size(); ++i) {
        p.push_back(poles[i].data());
        w.push_back(weights[i].data());
    }
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    const PeakingFilter filt = SetupPeakingFilter(T, order, static_cast<int>(gains.size()), p.data(), w.data(),
                                                  gains.data(), message, AMI_MESSAGE_CAPACITY);
    EXPECT_STREQ(message, "");
    return filt;
}

std::vector<double> Filtered(PeakingFilter filt, std::vector<double> x, int select, int reset = 1)
{
    ApplyPeakingFilter(x.data(), static_cast<int>(x.size()), filt, select, reset, x.data());
    return x;
}

// Two conjugate pairs, order 4, gain 2: settles to 2*(0.6 + 0.6 - 0.3 - 0.3).
const Sections kPairPoles = {{-3e10, 2e10}, {-3e10, -2e10}, {-8e10, 1e10}, {-8e10, -1e10}};
const Sections kPairWeights = {{0.6, 0.2}, {0.6, -0.2}, {-0.3, 0.5}, {-0.3, -0.5}};
const double kT = 5e-12;

TEST(PeakingFilter, FirstOrderSection)
{
    // e^(pT) = 0.5.
    const double T = 1e-12;
    PeakingFilter filt = Make(T, 1, {{{-std::log(2.0) / T, 0.0}}}, {{{1.0, 0.0}}}, {1.0});
    ASSERT_EQ(filt.config_count, 1);
    EXPECT_EQ(filt.tap_count, 2);
    const double r = std::sqrt(0.5);
    EXPECT_NEAR(filt.forward_coefs[0][0], 1.0 - r, 1e-15);
    EXPECT_NEAR(filt.forward_coefs[0][1], r - 0.5, 1e-15);
    EXPECT_NEAR(filt.feedback_coefs[0][0], 0.5, 1e-15);

    const std::vector<double> y = Filtered(filt, std::vector<double>(80, 1.0), 0);
    EXPECT_NEAR(y[0], 1.0 - r, 1e-15);
    EXPECT_NEAR(y[1], 0.5 + 0.5 * (1.0 - r), 1e-15);
    EXPECT_NEAR(y[79], 1.0, 1e-14);
    DeletePeakingFilter(filt);
}

TEST(PeakingFilter, ConfigurationsOfTheBank)
{
    const Sections real_poles = {{-5e10, 0.0}, {-7e10, 0.0}, {-9e10, 0.0}, {-2e10, 0.0}};
    PeakingFilter filt = Make(kT, 4, {kPairPoles, real_poles, real_poles, real_poles},
                              {kPairWeights, {{0.7, 0}, {0, 0}, {0.4, 0}, {0.1, 0}}, {{0.7, 0}, {0, 0}, {0, 0}, {0, 0}},
                               {{0, 0}, {0.4, 0}, {0.4, 0}, {0.4, 0}}},
                              {2.0, 1.0, 1.0, 1.0});
    ASSERT_EQ(filt.config_count, 4);

    // DC gain: the real parts of the weights, gain included.
    double b = 0.0, f = 0.0;
    for (int j = 0; j <= 4; ++j)
        b += filt.forward_coefs[0][j];
    for (int j = 0; j < 4; ++j)
        f += filt.feedback_coefs[0][j];
    EXPECT_NEAR(b / (1.0 - f), 1.2, 1e-12);
    EXPECT_NEAR(Filtered(filt, std::vector<double>(600, 1.0), 0)[599], 1.2, 1e-12);

    // Sections end at the first zero weight: [w0, 0, w2, w3] is w0 alone,
    // and a zero first weight leaves no section at all.
    for (int j = 0; j <= 4; ++j) {
        EXPECT_EQ(filt.forward_coefs[1][j], filt.forward_coefs[2][j]) << j;
        EXPECT_EQ(filt.forward_coefs[3][j], 0.0) << j;
        if (j > 1) {
            EXPECT_EQ(filt.forward_coefs[1][j], 0.0) << j;
        }
    }
    for (int j = 0; j < 4; ++j) {
        EXPECT_EQ(filt.feedback_coefs[1][j], filt.feedback_coefs[2][j]) << j;
        EXPECT_EQ(filt.feedback_coefs[3][j], 0.0) << j;
        if (j > 0) {
            EXPECT_EQ(filt.feedback_coefs[1][j], 0.0) << j;
        }
    }
    const std::vector<double> x = noise(50, 11u);
    EXPECT_EQ(Filtered(filt, x, 3), std::vector<double>(50, 0.0));

    // A selection outside the bank runs configuration 0.
    const std::vector<double> first = Filtered(filt, x, 0);
    for (int select : {4, 99, -1})
        EXPECT_EQ(Filtered(filt, x, select), first) << select;
    DeletePeakingFilter(filt);
}

TEST(PeakingFilter, EmptyOrInvalidBankPassesThrough)
{
    const Complex pole[1] = {{-1e10, 0.0}};
    const Complex *const poles[1] = {pole};
    const double gain = 1.0;
    const PeakingFilter cases[] = {
        SetupPeakingFilter(kT, 6, 0, nullptr, nullptr, nullptr, nullptr, 0),
        SetupPeakingFilter(kT, -1, 1, poles, poles, &gain, nullptr, 0),
        SetupPeakingFilter(kT, 1, -3, poles, poles, &gain, nullptr, 0),
        SetupPeakingFilter(kT, 1, 1, poles, nullptr, &gain, nullptr, 0),
    };
    const std::vector<double> x = noise(20, 5u);
    for (const PeakingFilter &filt : cases) {
        EXPECT_EQ(filt.config_count, 0);
        EXPECT_EQ(filt.peak_in, nullptr);
        for (int select : {0, 1, -1})
            for (int reset : {0, 1}) {
                std::vector<double> y(20, 9.0);
                ApplyPeakingFilter(x.data(), 20, filt, select, reset, y.data());
                EXPECT_EQ(y, x);
            }
        DeletePeakingFilter(filt);
    }
}

TEST(PeakingFilter, StreamingAndReset)
{
    PeakingFilter whole = Make(kT, 4, {kPairPoles}, {kPairWeights}, {2.0});
    PeakingFilter pieces = Make(kT, 4, {kPairPoles}, {kPairWeights}, {2.0});
    const std::vector<double> x = noise(200, 3u);
    std::vector<double> expected(200);
    ApplyPeakingFilter(x.data(), 200, whole, 0, 0, expected.data());

    // Uneven blocks, in place, with no allocation while filtering.
    std::vector<double> y = x;
    const long calls = heap_calls();
    int done = 0;
    for (int chunk : {37, 0, 1, 100, 62}) {
        ApplyPeakingFilter(y.data() + done, chunk, pieces, 0, 0, y.data() + done);
        done += chunk;
    }
    EXPECT_EQ(heap_calls(), calls);
    ASSERT_EQ(done, 200);
    EXPECT_EQ(y, expected);

    // With a history left over, reset runs from a cleared history and
    // leaves one behind.
    EXPECT_EQ(Filtered(pieces, x, 0, 1), expected);
    EXPECT_EQ(Filtered(pieces, x, 0, 0), expected);
    for (int j = 0; j < pieces.tap_count; ++j)
        EXPECT_NE(pieces.peak_out[j], 0.0);
    ApplyPeakingFilter(nullptr, 0, pieces, 0, 1, nullptr);
    for (int j = 0; j < pieces.tap_count; ++j)
        EXPECT_EQ(pieces.peak_in[j] + pieces.peak_out[j], 0.0);
    DeletePeakingFilter(whole);
    DeletePeakingFilter(pieces);
}

TEST(PeakingFilterDeathTest, MissingHistoryStopsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    double b[2] = {1.0, 0.0}, f[1] = {0.0}, history[2] = {};
    double *forward[1] = {b}, *feedback[1] = {f};
    PeakingFilter filt{1, nullptr, 2, nullptr, history, forward, feedback};
    double x[1] = {1.0};
    EXPECT_DEATH(ApplyPeakingFilter(x, 1, filt, 0, 0, x), "filt.peak_in");
    filt.peak_in = history;
    filt.peak_out = nullptr;
    EXPECT_DEATH(ApplyPeakingFilter(x, 1, filt, 0, 0, x), "filt.peak_out");
}

} // namespace
