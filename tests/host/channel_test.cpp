// The channel: the embedded line's physical properties, files of impulse or
// step responses and their errors, the FFT convolution and the PRBS stimulus.
#include "channel/channel.h"
#include "time_domain/convolver.h"
#include "base/host_error.h"
#include "time_domain/nrz_convolver.h"
#include "time_domain/prbs.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <numeric>
#include <string>
#include <unistd.h>

using namespace ami_host;

namespace {

constexpr double kBit = 1e-10;
constexpr double kDt = kBit / 32;

std::string write_file(const std::string &name, const std::string &text)
{
    const std::string path = ::testing::TempDir() + name + "_" + std::to_string(getpid());
    std::ofstream(path) << text;
    return path;
}

double area(const std::vector<double> &impulse, double dt)
{
    return std::accumulate(impulse.begin(), impulse.end(), 0.0) * dt;
}

TEST(Channel, TheEmbeddedLineIsCausalPassesDcAndLosesMoreWhenLonger)
{
    const Channel channel = embedded_channel(LineParameters{}, kDt, kBit);
    double peak = 0.0;
    for (double v : channel.impulse)
        peak = std::max(peak, std::fabs(v));
    // Nothing arrives before the lead-in of one bit time.
    for (size_t n = 0; n < 28; ++n)
        EXPECT_LT(std::fabs(channel.impulse[n]), 1e-6 * peak) << n;
    // The gain at DC is the conductors' resistive loss: 5 dB/m at 1 GHz is
    // 0.576 Np/m, sqrt(1 + j 50) has a real part of 5.05, so 0.0684 Np over 0.6 m.
    EXPECT_NEAR(area(channel.impulse, kDt), std::exp(-0.6 * 0.5756463 / 5.0502475), 1e-3);
    const double loss = -transfer_db(channel.impulse, kDt, 5e9);
    EXPECT_GT(loss, 15.0);
    EXPECT_LT(loss, 20.0);

    LineParameters shorter;
    shorter.length = 0.3;
    EXPECT_LT(-transfer_db(embedded_channel(shorter, kDt, kBit).impulse, kDt, 5e9), 0.6 * loss);
    LineParameters bad;
    bad.loss_tangent = -0.1;
    EXPECT_THROW(embedded_channel(bad, kDt, kBit), Error);
}

TEST(Channel, ImpulseAndStepFilesOfOneResponseGiveOneImpulseResponse)
{
    // h(t) = a exp(-a t) and its step response 1 - exp(-a t), written every
    // picosecond, read at 3.125 ps.
    const double a = 2e10;
    std::string impulse_text = "# time value\n", step_text;
    for (int i = 0; i <= 2000; ++i) {
        const double t = i * 1e-12;
        char line[96];
        std::snprintf(line, sizeof line, "%.17g %.17g\n", t, a * std::exp(-a * t));
        impulse_text += line;
        std::snprintf(line, sizeof line, "%.17g, %.17g  # comma and comment\n", t, 1.0 - std::exp(-a * t));
        step_text += line;
    }
    const Channel from_impulse = channel_from_file(write_file("impulse", impulse_text), ResponseKind::Impulse, kDt);
    const Channel from_step = channel_from_file(write_file("step", step_text), ResponseKind::Step, kDt);
    ASSERT_EQ(from_impulse.impulse.size(), 641u);
    ASSERT_EQ(from_step.impulse.size(), from_impulse.impulse.size());
    // An impulse sample holds its picosecond's area from its own time on, so
    // the two readings stand half a file sample (a x 0.5 ps relative) apart.
    EXPECT_NEAR(from_impulse.impulse[0], a * 1e-12 / kDt, 1e-6 * a);
    for (size_t n = 1; n < from_step.impulse.size(); ++n)
        EXPECT_NEAR(from_impulse.impulse[n], from_step.impulse[n], 2e-3 * a + 0.011 * from_step.impulse[n]) << n;
    EXPECT_NEAR(area(from_step.impulse, kDt), 1.0 - std::exp(-a * 2e-9), 1e-9);
}

TEST(Channel, AnImpulseFilesAreaComesThroughWhereverItsEnergySits)
{
    // A unit-area spike in a 64-sample file at the first, a middle or the last
    // sample, on the simulation's grid, a finer one, a coarser one, and a
    // response shorter than one sample interval.
    const struct {
        double file_dt;
        size_t spike;
    } cases[] = {{kDt, 0}, {kDt, 30}, {kDt, 63}, {1e-12, 0}, {1e-12, 63}, {1e-14, 5}, {1e-11, 0}, {1e-11, 40}};
    for (const auto &c : cases) {
        std::string text;
        for (size_t i = 0; i < 64; ++i) {
            char line[64];
            std::snprintf(line, sizeof line, "%.17g %.17g\n", static_cast<double>(i) * c.file_dt,
                          i == c.spike ? 1.0 / c.file_dt : 0.0);
            text += line;
        }
        const Channel channel = channel_from_file(write_file("spike", text), ResponseKind::Impulse, kDt);
        EXPECT_NEAR(area(channel.impulse, kDt), 1.0, 1e-9) << c.file_dt << " " << c.spike;
        if (c.file_dt == kDt) { // the same grid passes unchanged
            EXPECT_DOUBLE_EQ(channel.impulse[c.spike], 1.0 / kDt);
        }
    }
}

TEST(Channel, BadChannelFilesNameTheLine)
{
    const struct {
        const char *text;
        const char *error;
    } cases[] = {
        {"0 1\n1e-9 abc\n", ":2: expected two numbers (time and value), found '1e-9 abc'"},
        {"0 1\n1e-9 2 3\n", ":2: expected two numbers"},
        {"\n0 1\n0 2\n", ":3: time 0 does not come after the previous time 0"},
        {"0 1\n1e-9 nan\n", ":2: the time and the value must be finite numbers"},
        {"# only a comment\n0 1\n", "holds fewer than two time/value pairs"},
        {"0 1\n1 1\n", "more than 4194304 sample intervals"},
        {"0 0\n1e-9 0\n", "zero everywhere"},
        {"0 1\n\x7f" "ELF\x01\x02 \xff\n", "found '?ELF?"},
    };
    for (const auto &c : cases) {
        const std::string path = write_file("bad", c.text);
        try {
            channel_from_file(path, ResponseKind::Impulse, kDt);
            ADD_FAILURE() << "accepted " << c.text;
        } catch (const Error &e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what();
        }
    }
    EXPECT_THROW(channel_from_file("/nonexistent/channel.txt", ResponseKind::Step, kDt), Error);
    try {
        channel_from_file(::testing::TempDir(), ResponseKind::Impulse, kDt);
        ADD_FAILURE() << "accepted a directory";
    } catch (const Error &e) {
        EXPECT_NE(std::string(e.what()).find("is a directory"), std::string::npos) << e.what();
    }
}

TEST(Convolver, MatchesDirectConvolutionForShortAndLongKernels)
{
    for (size_t kernel_size : {1u, 37u, 5000u}) {
        const std::vector<double> kernel = noise(kernel_size, 3);
        const std::vector<double> input = noise(30000, 5);
        std::vector<double> out(input.size());
        Convolver convolver(kernel);
        convolver.apply(input.data(), input.size(), out.data());
        for (size_t n = 0; n < input.size(); n += 997) {
            double direct = 0.0;
            for (size_t m = 0; m < kernel.size() && m <= n; ++m)
                direct += kernel[m] * input[n - m];
            EXPECT_NEAR(out[n], direct, 1e-11) << "kernel " << kernel_size << " sample " << n;
        }
    }
}

TEST(NrzConvolver, GivesTheSampleConvolutionOfTheHeldLevelsWhateverThePieces)
{
    const std::vector<double> levels = noise(3000, 9);
    for (int per_bit : {1, 3, 32}) {
        for (size_t kernel_size : {1u, 37u, 5000u}) {
            const std::vector<double> kernel = noise(kernel_size, 3);
            std::vector<double> held;
            for (double level : levels)
                held.insert(held.end(), static_cast<size_t>(per_bit), level);
            std::vector<double> expected(held.size());
            Convolver(kernel).apply(held.data(), held.size(), expected.data());
            NrzConvolver convolver(kernel, per_bit);
            std::vector<double> out;
            auto collect = [&out](const double *samples, size_t count) { out.insert(out.end(), samples, samples + count); };
            for (size_t at = 0, piece = 1; at < levels.size(); at += piece, piece = piece * 7 % 1000 + 1)
                convolver.push(levels.data() + at, std::min(piece, levels.size() - at), collect);
            convolver.finish(collect);
            ASSERT_EQ(out.size(), expected.size());
            for (size_t n = 0; n < out.size(); ++n)
                ASSERT_NEAR(out[n], expected[n], 1e-10) << per_bit << " samples per bit, kernel " << kernel_size
                                                        << ", sample " << n;
        }
    }
}

TEST(Prbs, EachOrderHasItsFullPeriodAndBalance)
{
    for (int order : {7, 9, 11, 15, 20, 23}) {
        const size_t period = (size_t{1} << order) - 1;
        const std::vector<uint8_t> bits = prbs_bits(order, period + 64);
        EXPECT_EQ(std::accumulate(bits.begin(), bits.begin() + static_cast<long>(period), size_t{0}),
                  size_t{1} << (order - 1))
            << order;
        EXPECT_TRUE(std::equal(bits.begin(), bits.begin() + 64, bits.begin() + static_cast<long>(period))) << order;
        // No shorter period divides the full one for these orders; check half of it.
        EXPECT_FALSE(std::equal(bits.begin(), bits.begin() + 64, bits.begin() + static_cast<long>(period / 2)));
    }
    EXPECT_TRUE(prbs_supported(31));
    EXPECT_FALSE(prbs_supported(8));
}

} // namespace
