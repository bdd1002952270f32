// The receiver model loaded with dlopen and driven as a simulator drives it.
#include "loaded_model.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <clocale>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

namespace {

const char kInfo0[] = "**Info** Configured 0 items through parameter string.\n";
const char kDefaultParameters[] =
    "(Quorvane_pelisk4(clock_recovery(phase 0)(step 0.03125)(count 16))(RX_Process 0)(EQ_Config 0)(Coupling_Config 0))";
const char kWaveParameters[] = "(Quorvane_pelisk4(clock_recovery(phase 0)))";
constexpr double kSampleInterval = 1e-12;
constexpr double kBitTime = 3.2e-11; // 32 samples per bit
constexpr long kRows = 127 * 32 * 2; // two PRBS7 periods

// A pulse-like channel response: a smooth hump `width` samples wide (3 bits
// at 32 samples per bit).
std::vector<double> channel(long rows, long width = 96)
{
    std::vector<double> h(static_cast<size_t>(rows), 0.0);
    for (long i = 0; i < width && i < rows; ++i)
        h[static_cast<size_t>(i)] = 1e10 * std::sin(M_PI * static_cast<double>(i) / static_cast<double>(width));
    return h;
}

// A ±0.4 NRZ waveform of the PRBS7 pattern with 4-sample edges.
std::vector<double> prbs7_wave(int bits, int samples_per_bit)
{
    std::vector<double> wave;
    unsigned reg = 0x7f;
    double level = -0.4;
    for (int b = 0; b < bits; ++b) {
        const unsigned bit = ((reg >> 6) ^ (reg >> 5)) & 1u;
        reg = ((reg << 1) | bit) & 0x7f;
        const double target = bit ? 0.4 : -0.4;
        for (int s = 0; s < samples_per_bit; ++s) {
            const double t = std::min(1.0, (s + 1) / 4.0);
            wave.push_back(level + (target - level) * t);
        }
        level = target;
    }
    return wave;
}

class RxModel : public ::testing::Test {
protected:
    LoadedModel model{RX_MODEL_PATH};

    InitRun init(std::vector<double> &matrix, long row_size, long aggressors, const char *parameters,
                 double sample_interval = kSampleInterval, double bit_time = kBitTime)
    {
        return run_init(model, matrix, row_size, aggressors, parameters, sample_interval, bit_time);
    }

    // Feeds `wave` in blocks of the given sizes (the last one repeated) and
    // returns every clock time written, in order.
    std::vector<double> get_waves(void *instance, std::vector<double> &wave, std::vector<size_t> blocks)
    {
        std::vector<double> clocks;
        std::vector<double> slots;
        size_t at = 0;
        for (size_t i = 0; at < wave.size(); ++i) {
            const size_t size = std::min(blocks[std::min(i, blocks.size() - 1)], wave.size() - at);
            slots.assign(size + 1, -1.0);
            char *out = nullptr;
            EXPECT_EQ(model.get_wave(wave.data() + at, static_cast<long>(size), slots.data(), &out, instance), 1);
            EXPECT_STREQ(out, kWaveParameters);
            for (size_t k = 0; k < slots.size() && slots[k] != -1.0; ++k)
                clocks.push_back(slots[k]);
            at += size;
        }
        return clocks;
    }

    void SetUp() override { ASSERT_TRUE(model.ok()) << model.error; }
};

TEST_F(RxModel, DefaultsAndTheWaveParameterString)
{
    std::vector<double> column = channel(kRows);
    const InitRun run = init(column, kRows, 0, nullptr);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.message, kInfo0);
    EXPECT_EQ(run.parameters, kDefaultParameters);
    std::vector<double> wave = prbs7_wave(40, 32);
    get_waves(run.instance, wave, {300, 1000});
    EXPECT_EQ(model.close(run.instance), 1);
}

TEST_F(RxModel, InvalidSettingsAreReplacedWithWarningsInTableOrder)
{
    std::vector<double> column = channel(kRows);
    InitRun run = init(column, kRows, 0,
                       "(Quorvane_pelisk4 (Coupling_Config 2) (EQ_Config 5) (RX_Process 2)"
                       " (clock_recovery (count 64) (step 0.1) (phase 1.5)))");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.message, "**Info** Configured 6 items through parameter string.\n"
                           "**Warning** Invalid clock_recovery_phase\n\n"
                           "**Warning** Invalid clock_recovery_step\n\n"
                           "**Warning** Invalid clock_recovery_count\n\n"
                           "**Warning** Invalid RX_Process\n\n"
                           "**Warning** Invalid EQ_Config\n\n"
                           "**Warning** Invalid Coupling_Config\n\n");
    EXPECT_EQ(run.parameters, kDefaultParameters);
    model.close(run.instance);

    // The edges of the valid ranges are accepted.
    std::vector<double> again = channel(kRows);
    run = init(again, kRows, 0,
               "(Quorvane_pelisk4 (clock_recovery (phase 1.0) (step 0.125) (count 32)) (RX_Process -1)"
               " (EQ_Config 4) (Coupling_Config 1))");
    EXPECT_EQ(run.message, "**Info** Configured 6 items through parameter string.\n");
    EXPECT_EQ(run.parameters, "(Quorvane_pelisk4(clock_recovery(phase 1)(step 0.125)(count 32))"
                              "(RX_Process -1)(EQ_Config 4)(Coupling_Config 1))");
    model.close(run.instance);
}

TEST_F(RxModel, ReplacedSettingsProcessLikeTheDefaults)
{
    std::vector<double> bad = channel(kRows);
    std::vector<double> good = channel(kRows);
    InitRun a = init(bad, kRows, 0, "(Quorvane_pelisk4 (RX_Process 2) (EQ_Config 5))");
    InitRun b = init(good, kRows, 0, nullptr);
    EXPECT_EQ(bad, good);
    model.close(a.instance);
    model.close(b.instance);
}

TEST_F(RxModel, SettingsChooseDifferentResponses)
{
    std::vector<double> reference = channel(kRows);
    InitRun base = init(reference, kRows, 0, nullptr);
    model.close(base.instance);
    for (const char *parameters : {"(Quorvane_pelisk4 (EQ_Config 3))", "(Quorvane_pelisk4 (RX_Process 1))"}) {
        std::vector<double> column = channel(kRows);
        InitRun run = init(column, kRows, 0, parameters);
        EXPECT_NE(column, reference) << parameters;
        model.close(run.instance);
    }
}

TEST_F(RxModel, SamplesPerBitRoundHalvesDownAndOutOfRangeFails)
{
    std::vector<double> at32 = channel(kRows), at32_5 = channel(kRows), at32_6 = channel(kRows);
    InitRun a = init(at32, kRows, 0, nullptr, 1e-12, 32e-12);
    InitRun b = init(at32_5, kRows, 0, nullptr, 1e-12, 32.5e-12);
    InitRun c = init(at32_6, kRows, 0, nullptr, 1e-12, 32.6e-12);
    EXPECT_EQ(at32, at32_5);  // 32.5 rounds to 32 samples per bit
    EXPECT_NE(at32, at32_6);  // 32.6 rounds to 33
    for (InitRun *run : {&a, &b, &c})
        model.close(run->instance);

    struct Case {
        double bit_time;
        const char *error;
    };
    const Case cases[] = {
        {2.0, "**Error** Samples per bit 2e+06 out of range.\n"},
        {0.3e-6, "**Error** Samples per bit 0.3 out of range.\n"},
        {-1e-6, "**Error** Samples per bit -1 out of range.\n"},
        {std::numeric_limits<double>::quiet_NaN(), "**Error** Samples per bit nan out of range.\n"},
    };
    for (const Case &k : cases) {
        std::vector<double> column = channel(kRows);
        const std::vector<double> before = column;
        InitRun run = init(column, kRows, 0, nullptr, 1e-6, k.bit_time);
        EXPECT_EQ(run.result, 0);
        EXPECT_EQ(run.message, std::string(kInfo0) + k.error);
        EXPECT_FALSE(run.has_parameters);
        EXPECT_EQ(column, before);
        // The instance that failed still answers and closes cleanly.
        std::vector<double> wave = prbs7_wave(4, 32);
        const std::vector<double> sent = wave;
        std::vector<double> clocks(wave.size() + 1, 5.0);
        char *out = nullptr;
        EXPECT_EQ(model.get_wave(wave.data(), static_cast<long>(wave.size()), clocks.data(), &out, run.instance), 1);
        EXPECT_EQ(wave, sent);
        EXPECT_EQ(clocks[0], -1.0);
        EXPECT_EQ(model.close(run.instance), 1);
    }
}

// Column 0 goes through CTLE, limiting amplifier and edge-rate filter; the
// crosstalk columns skip the limiting amplifier.
TEST_F(RxModel, CrosstalkColumnsSkipTheLimitingAmplifier)
{
    std::vector<double> matrix;
    for (int j = 0; j < 3; ++j) {
        const std::vector<double> h = channel(kRows);
        matrix.insert(matrix.end(), h.begin(), h.end());
    }
    InitRun run = init(matrix, kRows, 2, nullptr);
    EXPECT_EQ(run.message, kInfo0);
    model.close(run.instance);
    const auto column = [&](long j) {
        return std::vector<double>(matrix.begin() + j * kRows, matrix.begin() + (j + 1) * kRows);
    };
    EXPECT_EQ(column(1), column(2));
    EXPECT_NE(column(0), column(1));
}

// The limiting amplifier sees a column shorter than one PRBS7 period followed
// by zeros, so a response that dies out within the column keeps the gain it
// has at full length (without the amplifier it would be some 20 times more).
// A through column shorter than one PRBS7 period is equalized as if it had
// been given at that length: the CTLE's tail beyond the column reaches the
// limiting amplifier too.
TEST_F(RxModel, ShortColumnIsEqualizedLikeTheFullLengthOne)
{
    const double sample_interval = 12.5e-12;
    const double bit_time = 1e-10; // 8 samples per bit: one period is 1016 samples
    const long short_rows = 128;
    const long full_rows = 127 * 8;
    for (int eq_config = 0; eq_config <= 4; ++eq_config) {
        char parameters[64];
        std::snprintf(parameters, sizeof parameters, "(Quorvane_pelisk4(EQ_Config %d))", eq_config);
        std::vector<double> brief = channel(short_rows, 24);
        std::vector<double> full = channel(full_rows, 24);
        const InitRun a = init(brief, short_rows, 0, parameters, sample_interval, bit_time);
        const InitRun b = init(full, full_rows, 0, parameters, sample_interval, bit_time);
        EXPECT_NE(a.message.find("**Warning** Impulse response of 128 samples is shorter than 1016 samples (one "
                                 "PRBS7 period); the limiting amplifier sees it followed by zeros.\n"),
                  std::string::npos);
        model.close(a.instance);
        model.close(b.instance);
        const double peak = std::abs(full[static_cast<size_t>(
            std::max_element(full.begin(), full.begin() + short_rows,
                             [](double x, double y) { return std::abs(x) < std::abs(y); }) -
            full.begin())]);
        for (long i = 0; i < short_rows; ++i)
            ASSERT_NEAR(brief[static_cast<size_t>(i)], full[static_cast<size_t>(i)], 1e-12 * peak)
                << "EQ_Config " << eq_config << ", sample " << i;
    }
}

TEST_F(RxModel, SplitBlocksGiveTheSameWaveAndClockTimes)
{
    std::vector<double> once = prbs7_wave(600, 32);
    std::vector<double> split = once;
    std::vector<double> column_a = channel(kRows), column_b = channel(kRows);
    InitRun a = init(column_a, kRows, 0, nullptr);
    InitRun b = init(column_b, kRows, 0, nullptr);
    const std::vector<double> clocks_once = get_waves(a.instance, once, {once.size()});
    const std::vector<double> clocks_split = get_waves(b.instance, split, {1, 31, 1000, 7, 4096});
    EXPECT_EQ(once, split);
    EXPECT_EQ(clocks_once, clocks_split);
    // One clock per bit, each about a bit time after the previous.
    ASSERT_GT(clocks_once.size(), 590u);
    for (size_t k = 1; k < clocks_once.size(); ++k) {
        const double period = clocks_once[k] - clocks_once[k - 1];
        EXPECT_GT(period, kBitTime * 0.8);
        EXPECT_LT(period, kBitTime * 1.2);
    }
    model.close(a.instance);
    model.close(b.instance);
}

// A host that zero-fills its clock buffer before every call, as some do, reads
// the same clock times as one that fills it with -1: every call ends its clock
// times with -1, also when it finds no edge or gets no samples.
TEST_F(RxModel, EveryCallEndsItsClockTimes)
{
    const auto clock_times = [&](double fill, size_t block) {
        std::vector<double> column = channel(kRows);
        const InitRun run = init(column, kRows, 0, nullptr, kSampleInterval, 8e-12);
        std::vector<double> wave = prbs7_wave(40, 8);
        std::vector<double> clocks;
        for (size_t at = 0; at < wave.size(); at += block) {
            for (long size : {0L, -3L, static_cast<long>(std::min(block, wave.size() - at))}) {
                std::vector<double> slots(block + 1, fill);
                EXPECT_EQ(model.get_wave(wave.data() + at, size, slots.data(), nullptr, run.instance), 1);
                const auto end = std::find(slots.begin(), slots.end(), -1.0);
                EXPECT_NE(end, slots.end()) << "block " << block << " at " << at;
                clocks.insert(clocks.end(), slots.begin(), end);
            }
        }
        model.close(run.instance);
        return clocks;
    };
    for (size_t block : {1, 5, 64}) {
        const std::vector<double> reference = clock_times(-1.0, block);
        EXPECT_GT(reference.size(), 30u);
        EXPECT_EQ(clock_times(0.0, block), reference) << "block " << block;
    }
}

// A sample interval so long that the filters' coefficients overflow is
// refused like any other timing the model cannot work with.
TEST_F(RxModel, TimingThatLeavesTheFiltersNonFiniteIsRefused)
{
    std::vector<double> column = channel(kRows);
    const InitRun run = init(column, kRows, 0, nullptr, 1e300, 1e300);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.message, std::string(kInfo0) +
                               "**Error** Sample interval 1e+300 out of range: the filters cannot be built with it.\n");
    std::vector<double> wave = prbs7_wave(4, 8);
    const std::vector<double> sent = wave;
    EXPECT_EQ(model.get_wave(wave.data(), static_cast<long>(wave.size()), nullptr, nullptr, run.instance), 1);
    EXPECT_EQ(wave, sent);
    model.close(run.instance);
}

// Many hosts take their locale from the environment; a comma-decimal one
// changes nothing that the model reads or writes.
TEST_F(RxModel, TheHostsNumericLocaleChangesNothing)
{
    struct NumericLocale {
        bool set = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
        ~NumericLocale() { std::setlocale(LC_NUMERIC, "C"); }
    } german;
    if (!german.set)
        GTEST_SKIP() << "no de_DE.UTF-8 locale on this machine (scripts/install-dependencies generates it)";
    std::vector<double> column = channel(kRows);
    InitRun run = init(column, kRows, 0, "(Quorvane_pelisk4 (clock_recovery (phase 0.5) (step 0.0625)))");
    EXPECT_EQ(run.message, "**Info** Configured 2 items through parameter string.\n");
    EXPECT_EQ(run.parameters, "(Quorvane_pelisk4(clock_recovery(phase 0.5)(step 0.0625)(count 16))"
                              "(RX_Process 0)(EQ_Config 0)(Coupling_Config 0))");
    model.close(run.instance);
    run = init(column, kRows, 0, nullptr, 1e-6, 0.3e-6);
    EXPECT_EQ(run.message, std::string(kInfo0) + "**Error** Samples per bit 0.3 out of range.\n");
    model.close(run.instance);
}

TEST_F(RxModel, HostMistakesAreHarmless)
{
    EXPECT_EQ(model.get_wave(nullptr, 10, nullptr, nullptr, nullptr), 1);
    EXPECT_EQ(model.close(nullptr), 1);
    std::vector<double> column = channel(kRows);
    InitRun run = init(column, kRows, -1, nullptr);
    std::vector<double> wave = prbs7_wave(8, 32);
    std::vector<double> clocks(wave.size() + 1, -1.0);
    char *out = nullptr;
    EXPECT_EQ(model.get_wave(nullptr, 100, clocks.data(), &out, run.instance), 1);
    EXPECT_STREQ(out, kWaveParameters);
    EXPECT_EQ(model.get_wave(wave.data(), 0, clocks.data(), &out, run.instance), 1);
    EXPECT_EQ(model.get_wave(wave.data(), -5, clocks.data(), nullptr, run.instance), 1);
    EXPECT_EQ(model.get_wave(wave.data(), static_cast<long>(wave.size()), nullptr, &out, run.instance), 1);
    EXPECT_STREQ(out, kWaveParameters);
    model.close(run.instance);

    // Nowhere to store the instance: nothing is created, and the message says why.
    std::vector<double> other = channel(kRows);
    char *msg = reinterpret_cast<char *>(1);
    EXPECT_EQ(model.init(other.data(), kRows, 0, kSampleInterval, kBitTime, nullptr, nullptr, nullptr, &msg), 0);
    EXPECT_STREQ(msg, "**Error** AMI_Init was given no place to store the model instance.\n");
}

} // namespace
