// The receiver's fused waveform path against the reference loops of its four
// blocks run one after the other, bit for bit: every CTLE configuration,
// samples per bit from 1 to 64, random block splits.
#include "Quorvane_pelisk4.h"
#include "reference.h"
#include "same_bits.h"

#include <string>
#include <vector>

namespace {

using Samples = std::vector<double>;

RxInstance *Start(const std::string &settings, double dt, double bit_time)
{
    std::string text = settings;
    char *out = nullptr, *msg = nullptr;
    void *instance = nullptr;
    EXPECT_EQ(AMI_Init(nullptr, 0, 0, dt, bit_time, text.data(), &out, &instance, &msg), 1);
    return static_cast<RxInstance *>(instance);
}

Samples State(const RxInstance *rx)
{
    const AdvancedNerovaCDR &r = rx->cdr;
    Samples s(rx->ctle.peak_in, rx->ctle.peak_in + rx->ctle.tap_count);
    s.insert(s.end(), rx->ctle.peak_out, rx->ctle.peak_out + rx->ctle.tap_count);
    s.insert(s.end(), rx->rise_fall.x_hist, rx->rise_fall.x_hist + 3);
    s.insert(s.end(), rx->rise_fall.y_hist, rx->rise_fall.y_hist + 2);
    for (const double *cell : {r.clock_phase, r.edge_countdown, r.data_countdown, r.previous_sample,
                               r.data_decision, r.edge_decision, r.retimed_data, r.data_history})
        s.push_back(*cell);
    for (const int *cell : {r.threshold, r.sample_count_low, r.vote_accumulator, r.vote_counter})
        s.push_back(*cell);
    s.insert(s.end(), r.pd_history, r.pd_history + r.latency);
    return s;
}

struct PathCase {
    double sample_interval;
    double bit_time;
    double step;
    int count;
};

class FusedReceiverPath : public testing::TestWithParam<PathCase> {};

TEST_P(FusedReceiverPath, MatchesTheBlocksOneAfterAnother)
{
    const PathCase c = GetParam();
    std::mt19937 random(static_cast<unsigned>(c.bit_time / c.sample_interval * 10));
    const int samples_per_bit = static_cast<int>(c.bit_time / c.sample_interval + 0.5);
    for (int process = -1; process <= 1; ++process)
        for (int eq = 0; eq <= 4; ++eq) {
            SCOPED_TRACE(testing::Message() << "RX_Process " << process << ", EQ_Config " << eq);
            const std::string settings = "(Quorvane_pelisk4 (RX_Process " + std::to_string(process) + ") (EQ_Config " +
                                         std::to_string(eq) + ") (clock_recovery (step " + std::to_string(c.step) +
                                         ") (count " + std::to_string(c.count) + ")))";
            RxInstance *fast = Start(settings, c.sample_interval, c.bit_time);
            RxInstance *ref = Start(settings, c.sample_interval, c.bit_time);
            ASSERT_TRUE(fast && ref);
            const int config = RxCTLEGetIndex(process, eq);

            // Random bits, their edges softened, plus noise; 300 bits.
            const int total = 300 * samples_per_bit + 17;
            Samples wave(static_cast<size_t>(total));
            double level = 0.4, smooth = 0.0;
            for (int n = 0; n < total; ++n) {
                if (n % samples_per_bit == 0 && random() % 2)
                    level = -level;
                smooth = smooth + 0.2 * (level - smooth);
                wave[static_cast<size_t>(n)] = smooth + 0.05 * std::sin(0.37 * n);
            }
            Samples expected = wave;
            int at = 0;
            for (int piece : RandomSplits(total, 5 * samples_per_bit + 40, random)) {
                Samples fast_times(static_cast<size_t>(piece) + 1, -1.0), ref_times = fast_times;
                char *out = nullptr;
                AMI_GetWave(wave.data() + at, piece, fast_times.data(), &out, fast);
                double *x = expected.data() + at;
                reference::ApplyPeakingFilter(x, piece, ref->ctle, config, 0, x);
                reference::ApplyTable(x, piece, ref->lim_amp, x);
                reference::ApplyRiseFall(x, piece, ref->rise_fall, 0, x);
                reference::ApplyAdvancedNerovaCDR(x, piece, ref->cdr, ref->sample_interval, 0, ref_times.data());
                ASSERT_TRUE(SameBits(fast_times, ref_times)) << "clock times of the block at " << at;
                at += piece;
            }
            EXPECT_TRUE(SameBits(wave, expected));
            EXPECT_TRUE(SameBits(State(fast), State(ref)));
            AMI_Close(fast);
            AMI_Close(ref);
        }
}

INSTANTIATE_TEST_SUITE_P(SamplesPerBit, FusedReceiverPath,
                         testing::Values(PathCase{1e-12, 3.2e-11, 0.03125, 16}, PathCase{1e-11, 1e-11, 0.125, 8},
                                         PathCase{2e-12, 1.4e-11, 0.0625, 32},
                                         PathCase{1e-12, 2.55e-11, 0.0078125, 16},
                                         PathCase{5e-13, 3.2e-11, 0.015625, 8}));

} // namespace
