// The receiver's blocks against their reference loops, bit for bit: the CTLE
// peaking filter, the limiting-amplifier table, the edge-rate filter and the
// clock recovery, over random inputs and random block splits.
#include "Quorvane_pelisk4.h"
#include "lim_amp_curves.h"
#include "reference.h"
#include "same_bits.h"

#include <cmath>
#include <limits>
#include <vector>

namespace {

using Samples = std::vector<double>;

// Runs `fast` and `reference` (each filtering a piece in place) over the same
// splits of `input` and compares the outputs.
template <class Fast, class Reference>
testing::AssertionResult SameOverSplits(const Samples &input, const std::vector<int> &splits, Fast fast,
                                        Reference reference)
{
    Samples a = input, b = input;
    size_t at = 0;
    for (int piece : splits) {
        fast(a.data() + at, piece);
        reference(b.data() + at, piece);
        at += static_cast<size_t>(piece);
    }
    return SameBits(a, b);
}

Samples Histories(const PeakingFilter &f)
{
    Samples h(f.peak_in, f.peak_in + f.tap_count);
    h.insert(h.end(), f.peak_out, f.peak_out + f.tap_count);
    return h;
}

void ExpectSamePeakingFilter(PeakingFilter fast, PeakingFilter ref, std::mt19937 &random)
{
    for (int config = 0; config < fast.config_count; ++config) {
        SCOPED_TRACE(config);
        // Long smooth stretches and a tail of NaN and infinities.
        for (int rare : {0, 40}) {
            const Samples input = RandomSamples(3000, 0.6, rare, random);
            EXPECT_TRUE(SameOverSplits(
                input, RandomSplits(3000, 700, random),
                [&](double *x, int n) { ApplyPeakingFilter(x, n, fast, config, 0, x); },
                [&](double *x, int n) { reference::ApplyPeakingFilter(x, n, ref, config, 0, x); }));
            EXPECT_TRUE(SameBits(Histories(fast), Histories(ref)));
            // Clear the NaN out of the histories.
            ApplyPeakingFilter(nullptr, 0, fast, config, 1, nullptr);
            reference::ApplyPeakingFilter(nullptr, 0, ref, config, 1, nullptr);
        }
    }
    DeletePeakingFilter(fast);
    DeletePeakingFilter(ref);
}

TEST(FastReceiverBlocks, EveryCtleConfiguration)
{
    std::mt19937 random(1);
    for (double dt : {1e-12, 3.125e-12})
        ExpectSamePeakingFilter(RxCTLEGetFilter(dt, nullptr, 0), RxCTLEGetFilter(dt, nullptr, 0), random);
}

TEST(FastReceiverBlocks, PeakingFiltersOfOtherOrders)
{
    std::mt19937 random(2);
    for (int order : {0, 1, 3, 8, 9, 12}) {
        SCOPED_TRACE(order);
        std::vector<Complex> poles, weights;
        for (int k = 0; k < order; ++k) {
            poles.push_back(cmplx(-2e9 * (k + 1), k % 2 ? 3e9 : -3e9));
            weights.push_back(cmplx(0.5 / (k + 1), k % 2 ? 0.1 : -0.1));
        }
        const Complex *p[2] = {poles.data(), poles.data()};
        const Complex *w[2] = {weights.data(), weights.data()};
        const double gains[2] = {1.0, -2.5};
        ExpectSamePeakingFilter(SetupPeakingFilter(1e-12, order, 2, p, w, gains, nullptr, 0),
                                SetupPeakingFilter(1e-12, order, 2, p, w, gains, nullptr, 0), random);
    }
}

TEST(FastReceiverBlocks, TableOverItsWholeRangeAndBeyond)
{
    std::mt19937 random(3);
    const quorvane::LimAmpCurves &curves = quorvane::lim_amp_curves();
    // The model's curves, and an unevenly spaced one.
    std::vector<Table> tables;
    for (int row = 0; row < 3; ++row)
        tables.push_back(SetTable(RX_LIM_AMP_POINTS, curves.in, curves.out[row]));
    Samples x(50), y(50);
    double at = -2.0;
    for (size_t i = 0; i < x.size(); ++i) {
        at += std::uniform_real_distribution<double>(1e-3, 0.2)(random);
        x[i] = at;
        y[i] = std::sin(at);
    }
    tables.push_back(SetTable(50, x.data(), y.data()));

    for (const Table &table : tables) {
        Samples input = RandomSamples(20000, 1.5, 50, random);
        for (int i = 0; i < table.npts; ++i)
            for (double v : {table.x[i], std::nextafter(table.x[i], -1e9), std::nextafter(table.x[i], 1e9)})
                input.push_back(v);
        Samples fast(input.size()), ref(input.size());
        ApplyTable(input.data(), static_cast<int>(input.size()), table, fast.data());
        reference::ApplyTable(input.data(), static_cast<int>(input.size()), table, ref.data());
        EXPECT_TRUE(SameBits(fast, ref));
        DeleteTable(table);
    }
}

TEST(FastReceiverBlocks, RiseFallOverRandomSplits)
{
    std::mt19937 random(4);
    for (double rise : {2e-11, 4e-11, 1e-13}) {
        RiseFall fast = SetRiseFall(1e-12, rise), ref = SetRiseFall(1e-12, rise);
        const Samples input = RandomSamples(5000, 0.6, 500, random);
        EXPECT_TRUE(SameOverSplits(
            input, RandomSplits(5000, 300, random), [&](double *x, int n) { ApplyRiseFall(x, n, fast, 0, x); },
            [&](double *x, int n) { reference::ApplyRiseFall(x, n, ref, 0, x); }));
        EXPECT_TRUE(SameBits(fast.x_hist, ref.x_hist, 3));
        EXPECT_TRUE(SameBits(fast.y_hist, ref.y_hist, 2));
        DeleteRiseFall(fast);
        DeleteRiseFall(ref);
    }
}

// Every cell of a clock recovery record, the latency line included.
Samples CdrState(const AdvancedNerovaCDR &r)
{
    Samples s = {*r.clock_phase,      double(*r.threshold),         double(*r.sample_count_low),
                 double(*r.sample_count_high), *r.edge_countdown,  *r.data_countdown,
                 *r.data_offset,      *r.previous_sample,           *r.data_decision,
                 *r.edge_decision,    *r.retimed_data,              double(*r.vote_accumulator),
                 *r.reference_time,   *r.previous_reference_time,   double(*r.vote_counter)};
    s.insert(s.end(), r.data_history, r.data_history + r.history_length);
    s.insert(s.end(), r.pd_history, r.pd_history + r.latency);
    return s;
}

struct LoopCase {
    int samples_per_bit;
    double step;
    int count;
    int latency;
    int vote;
    int history;
    bool reference_clock;
};

class FastClockRecovery : public testing::TestWithParam<LoopCase> {};

TEST_P(FastClockRecovery, MatchesTheReferenceLoop)
{
    const LoopCase c = GetParam();
    std::mt19937 random(static_cast<unsigned>(c.samples_per_bit * 131 + c.latency));
    const auto make = [&] {
        AdvancedNerovaCDR r = SetupAdvancedNerovaCDR("auto", c.step, c.count, 0.0, c.history, c.latency, c.vote,
                                                     c.samples_per_bit, 0.05, 3e-9, nullptr, 0);
        EnableAdvancedNerovaReferenceClk(&r, c.reference_clock);
        // A few samples before the sample counter's low part wraps.
        *r.sample_count_low = 2147483647 - 700;
        return r;
    };
    AdvancedNerovaCDR fast = make(), ref = make();

    // Random bits, slightly off the nominal rate, with noise.
    const int total = 4000 + 60 * c.samples_per_bit;
    Samples wave(static_cast<size_t>(total));
    std::uniform_real_distribution<double> noise(-0.1, 0.1);
    int bit = 1;
    for (int n = 0; n < total; ++n) {
        if (n % c.samples_per_bit == 0 && random() % 2)
            bit = -bit;
        wave[static_cast<size_t>(n)] = 0.4 * bit + noise(random);
    }
    Samples fast_times(static_cast<size_t>(total) + 1, -1.0);
    // Reference clock times waiting in some slots.
    for (size_t i = 3; i < fast_times.size(); i += 17)
        fast_times[i] = 1e-9 * static_cast<double>(i);
    Samples ref_times = fast_times;
    int fast_k = 0, ref_k = 0, at = 0;
    for (int piece : RandomSplits(total, 3 * c.samples_per_bit + 50, random)) {
        fast_k = ApplyAdvancedNerovaCDR(wave.data() + at, piece, fast, 1e-12, fast_k, fast_times.data());
        ref_k = reference::ApplyAdvancedNerovaCDR(wave.data() + at, piece, ref, 1e-12, ref_k, ref_times.data());
        ASSERT_EQ(fast_k, ref_k) << "after sample " << at;
        at += piece;
    }
    EXPECT_TRUE(SameBits(fast_times, ref_times));
    EXPECT_TRUE(SameBits(CdrState(fast), CdrState(ref)));
    DeleteAdvancedNerovaCDR(fast);
    DeleteAdvancedNerovaCDR(ref);
}

INSTANTIATE_TEST_SUITE_P(Loops, FastClockRecovery,
                         testing::Values(LoopCase{32, 0.03125, 16, 98, 1, 1, false},
                                         LoopCase{1, 0.125, 8, 98, 1, 1, false},
                                         LoopCase{2, 0.0625, 0, 98, 5, 3, true},
                                         LoopCase{3, 0.0078125, 32, 1, 1, 1, true},
                                         LoopCase{33, 0.125, 8, 600, 7, 2, false},
                                         LoopCase{64, 0.015625, 16, 512, 512, 1, false}));

} // namespace
