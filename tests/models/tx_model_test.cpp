// The transmitter model loaded with dlopen and driven as a simulator drives it.
#include "loaded_model.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace {

const char kInfo0[] = "**Info** Configured 0 items through parameter string.\n";
constexpr double kSampleInterval = 1e-11; // FIR taps every 2 samples
constexpr double kBitTime = 3.2e-10;      // 32 samples per bit

class TxModel : public ::testing::Test {
protected:
    LoadedModel model{TX_MODEL_PATH};

    using Run = InitRun;

    Run init(std::vector<double> &matrix, long row_size, long aggressors, const char *parameters,
             double sample_interval = kSampleInterval, double bit_time = kBitTime)
    {
        return run_init(model, matrix, row_size, aggressors, parameters, sample_interval, bit_time);
    }

    void SetUp() override { ASSERT_TRUE(model.ok()) << model.error; }
};

TEST_F(TxModel, WithoutParametersUsesTheDefaults)
{
    std::vector<double> column = unit_impulse(64);
    const Run run = init(column, 64, 0, nullptr);
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.message, kInfo0);
    EXPECT_EQ(run.parameters, "(dorvex8_tx(TX_Corner 0)(TX_Deemph 0)(TX_Vswing 7))");
    EXPECT_EQ(model.close(run.instance), 1);
}

TEST_F(TxModel, InvalidSettingsAreReplacedWithWarningsInParameterOrder)
{
    std::vector<double> column = unit_impulse(64);
    const Run run = init(column, 64, 0, "(dorvex8_tx (TX_Vswing -1) (TX_Deemph 9) (TX_Corner 2))");
    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.message, "**Info** Configured 3 items through parameter string.\n"
                           "**Warning** Invalid TX_Corner\n\n"
                           "**Warning** Invalid TX_Deemph\n\n"
                           "**Warning** Invalid TX_Vswing\n\n");
    EXPECT_EQ(run.parameters, "(dorvex8_tx(TX_Corner 0)(TX_Deemph 0)(TX_Vswing 7))");
    model.close(run.instance);
}

TEST_F(TxModel, ReaderMessagesComeBeforeTheCount)
{
    std::vector<double> column = unit_impulse(64);
    const Run run = init(column, 64, 0, "(dorvex8_tx (TX_Deemph x) (TX_Corner -1) (Other 3))");
    EXPECT_EQ(run.message, "**Error** Could not convert value for TX_Deemph.\n"
                           "**Info** Configured 1 items through parameter string.\n");
    EXPECT_EQ(run.parameters, "(dorvex8_tx(TX_Corner -1)(TX_Deemph 0)(TX_Vswing 7))");
    model.close(run.instance);
}

// With taps every 2 samples and 32 samples per bit, a unit impulse comes out
// as t0 x FIR at even samples 0..22 and t1 x FIR from sample 32 on.
void expect_impulse_response(const std::vector<double> &out, double t0, double t1, const std::vector<double> &fir)
{
    for (size_t k = 0; k < fir.size(); ++k) {
        EXPECT_NEAR(out[2 * k], t0 * fir[k], 1e-5 * std::fabs(t0 * fir[k])) << "main cursor, FIR tap " << k;
        EXPECT_NEAR(out[32 + 2 * k], t1 * fir[k], 1e-5 * std::fabs(t1 * fir[k])) << "post-cursor, FIR tap " << k;
    }
    EXPECT_NEAR(out[25], 0.0, 1e-12);
    EXPECT_NEAR(out[31], 0.0, 1e-12);
}

TEST_F(TxModel, DefaultTapsShapeTheImpulseResponse)
{
    std::vector<double> column = unit_impulse(64);
    const Run run = init(column, 64, 0, nullptr);
    expect_impulse_response(column, 0.687622, -0.0158345,
                            {-0.000331313, 0.115789, 0.842574, 0.0876025, -0.0442778, 0.0418827, -0.0570321,
                             0.0258531, 0.00505108, 0.00828085, -0.016405, 0.0029802});
    model.close(run.instance);
}

TEST_F(TxModel, StrongDeemphasisLowersTheMainCursorAndRaisesThePostCursor)
{
    std::vector<double> column = unit_impulse(64);
    const Run run = init(column, 64, 0, "(dorvex8_tx (TX_Deemph 7))");
    EXPECT_NEAR(column[12], 0.485772 * -0.237136, 1e-5 * 0.485772 * 0.237136);
    EXPECT_NEAR(column[32 + 12], -0.149458 * -0.237136, 1e-5 * 0.149458 * 0.237136);
    model.close(run.instance);
}

TEST_F(TxModel, ThePostCursorSitsTheRoundedSamplesPerBitLater)
{
    // With a 1 s sample interval all FIR taps fall on the current sample
    // (plus a trace on the one before), so a unit impulse comes out at
    // samples 0 and 1 and again where the FFE's post-cursor puts it.
    const struct {
        double ratio;
        size_t samples_per_bit;
    } cases[] = {{32.0, 32}, {32.5, 32}, {32.6, 33}, {2.5, 2}};
    for (const auto &c : cases) {
        std::vector<double> column = unit_impulse(64);
        const Run run = init(column, 64, 0, nullptr, 1.0, c.ratio);
        EXPECT_EQ(run.result, 1);
        size_t first = 2;
        while (first < column.size() && column[first] == 0.0)
            ++first;
        EXPECT_EQ(first, c.samples_per_bit) << "ratio " << c.ratio;
        model.close(run.instance);
    }
}

TEST_F(TxModel, EachColumnIsFilteredOnItsOwn)
{
    const size_t rows = 300;
    std::vector<double> matrix = noise(3 * rows, 7);
    std::vector<double> expected;
    for (int column = 0; column < 3; ++column) {
        std::vector<double> single(matrix.begin() + column * rows, matrix.begin() + (column + 1) * rows);
        model.close(init(single, rows, 0, "(dorvex8_tx (TX_Deemph 5))").instance);
        expected.insert(expected.end(), single.begin(), single.end());
    }
    const Run run = init(matrix, rows, 2, "(dorvex8_tx (TX_Deemph 5))");
    EXPECT_EQ(matrix, expected);
    model.close(run.instance);
}

TEST_F(TxModel, NoColumnIsTouchedForNegativeAggressorsOrRows)
{
    const std::vector<double> original = noise(100, 3);
    std::vector<double> matrix = original;
    model.close(init(matrix, 100, -1, nullptr).instance);
    const Run run = init(matrix, 0, 0, nullptr);
    EXPECT_EQ(run.result, 1);
    model.close(run.instance);
    model.close(init(matrix, -100, 0, nullptr).instance);
    EXPECT_EQ(matrix, original);
}

TEST_F(TxModel, AWaveformFedInUnevenBlocksEqualsOneBlock)
{
    const std::vector<double> wave = noise(20000, 11);
    std::vector<double> column = unit_impulse(64);

    std::vector<double> whole = wave;
    Run run = init(column, 64, 0, "(dorvex8_tx (TX_Corner 1) (TX_Deemph 3))");
    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(model.get_wave(whole.data(), static_cast<long>(whole.size()), nullptr, &out, run.instance), 1);
    EXPECT_EQ(out, nullptr);
    model.close(run.instance);

    std::vector<double> pieces = wave;
    run = init(column, 64, 0, "(dorvex8_tx (TX_Corner 1) (TX_Deemph 3))");
    size_t at = 0;
    for (size_t size : {1, 7, 0, 31, 33, 1000, 4096, 5, 10000}) {
        model.get_wave(pieces.data() + at, static_cast<long>(size), nullptr, &out, run.instance);
        at += size;
    }
    model.get_wave(pieces.data() + at, static_cast<long>(pieces.size() - at), nullptr, &out, run.instance);
    model.close(run.instance);
    EXPECT_EQ(pieces, whole);
}

TEST_F(TxModel, InitLeavesTheFiltersEmptyForTheWaveform)
{
    std::vector<double> matrix = noise(200, 5);
    std::vector<double> column = unit_impulse(64);
    std::vector<double> after_matrix = noise(500, 9), after_impulse = after_matrix;
    char *out = nullptr;
    Run run = init(matrix, 200, 0, nullptr);
    model.get_wave(after_matrix.data(), 500, nullptr, &out, run.instance);
    model.close(run.instance);
    run = init(column, 64, 0, nullptr);
    model.get_wave(after_impulse.data(), 500, nullptr, &out, run.instance);
    model.close(run.instance);
    EXPECT_EQ(after_matrix, after_impulse);
}

TEST_F(TxModel, ANullInstanceIsIgnored)
{
    std::vector<double> wave = noise(10, 1);
    const std::vector<double> original = wave;
    char *out = reinterpret_cast<char *>(1);
    EXPECT_EQ(model.get_wave(wave.data(), 10, nullptr, &out, nullptr), 1);
    EXPECT_EQ(model.close(nullptr), 1);
    EXPECT_EQ(wave, original);
}

TEST_F(TxModel, TimingThatGivesNoUsableSamplesPerBitIsRefused)
{
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double sample_interval, bit_time;
        const char *error;
    } cases[] = {
        {1e-11, 0.5e-11, "**Error** Samples per bit 0.5 out of range.\n"},
        {1e-11, -3.2e-10, "**Error** Samples per bit -32 out of range.\n"},
        {1e-11, 2e-5, "**Error** Samples per bit 2e+06 out of range.\n"},
        {1e-11, inf, "**Error** Samples per bit inf out of range.\n"},
        {1e-11, nan, "**Error** Samples per bit nan out of range.\n"},
        {0.0, 3.2e-10, "**Error** Sample interval 0 out of range.\n"},
        {-1e-11, -3.2e-10, "**Error** Sample interval -1e-11 out of range.\n"},
        {inf, 3.2e-10, "**Error** Sample interval inf out of range.\n"},
        {1e-300, 1e-295, "**Error** Could not build the FFE and FIR for sample interval 1e-300.\n"},
    };
    for (const auto &c : cases) {
        const std::vector<double> original = noise(64, 2);
        std::vector<double> column = original;
        const Run run = init(column, 64, 0, nullptr, c.sample_interval, c.bit_time);
        EXPECT_EQ(run.result, 0) << c.error;
        EXPECT_EQ(run.message, std::string(kInfo0) + c.error);
        EXPECT_FALSE(run.has_parameters);
        EXPECT_EQ(column, original);
        // The instance stays usable and passes a waveform through unchanged.
        ASSERT_NE(run.instance, nullptr);
        std::vector<double> wave = original;
        char *out = nullptr;
        EXPECT_EQ(model.get_wave(wave.data(), 64, nullptr, &out, run.instance), 1);
        EXPECT_EQ(wave, original);
        EXPECT_EQ(model.close(run.instance), 1);
    }
}

TEST_F(TxModel, WithoutAMemoryHandleNothingIsCreatedAndTheMessageSaysWhy)
{
    std::vector<double> column = unit_impulse(8);
    char *out = reinterpret_cast<char *>(1);
    char *msg = reinterpret_cast<char *>(1); // what a host's variable may hold
    EXPECT_EQ(model.init(column.data(), 8, 0, kSampleInterval, kBitTime, nullptr, &out, nullptr, &msg), 0);
    EXPECT_STREQ(msg, "**Error** AMI_Init was given no place to store the model instance.\n");
    EXPECT_EQ(out, nullptr);
}

} // namespace
