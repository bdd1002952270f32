// Tests of the receiver clock recovery.
#include "IBIS_AMI_tree.h"
#include "ami_advanced_cdr.h"
#include "heap_calls.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>


namespace {

using Samples = std::vector<double>;

const double kPi = 3.14159265358979323846;

// The receiver model's loop with a chosen mode, step, count and samples per bit.
AdvancedNerovaCDR RxLoop(const char *mode, double step, int count, int samples_per_bit)
{
    return SetupAdvancedNerovaCDR(mode, step, count, 0.0, 1, 98, 1, samples_per_bit, 0.05, -1.0, nullptr, 0);
}

// PRBS7 bits (x^7 + x^6 + 1 from all ones) as levels +-0.5, repeated.
Samples Prbs7Levels(int count)
{
    Samples levels(count);
    unsigned state = 0x7f;
    for (double &level : levels) {
        const unsigned bit = ((state >> 6) ^ (state >> 5)) & 1u;
        state = ((state << 1) | bit) & 0x7fu;
        level = bit ? 0.5 : -0.5;
    }
    return levels;
}

// NRZ waveform of `levels`, samples_per_bit samples per bit, bit j starting
// at time first + j*samples_per_bit (sample n at time n); each transition is
// a half-sine of half a UI centred on the bit boundary, so the waveform
// crosses zero exactly there.
Samples NrzWave(const Samples &levels, int samples_per_bit, double first)
{
    const double s = samples_per_bit;
    const int bits = static_cast<int>(levels.size());
    Samples wave(static_cast<size_t>(bits) * samples_per_bit);
    for (size_t n = 0; n < wave.size(); ++n) {
        const int j = static_cast<int>(std::lround((static_cast<double>(n) - first) / s));
        const double u = (static_cast<double>(n) - (first + j * s)) / (s / 2.0);
        const double before = levels[std::clamp(j - 1, 0, bits - 1)];
        const double after = levels[std::clamp(j, 0, bits - 1)];
        if (std::fabs(u) < 0.5)
            wave[n] = before + (after - before) * (0.5 + 0.5 * std::sin(kPi * u));
        else
            wave[n] = u < 0.0 ? before : after;
    }
    return wave;
}

// Offset of `time` from the nearest point first + j*ui, in -ui/2..ui/2.
double PhaseError(double time, double first, double ui)
{
    double e = std::fmod(time - first, ui);
    if (e >= ui / 2.0)
        e -= ui;
    if (e < -ui / 2.0)
        e += ui;
    return e;
}

TEST(AdvancedCDR, FreeRunningModesTickEveryUIWhateverTheInput)
{
    const Samples wave = NrzWave(Prbs7Levels(60), 8, 3.5);
    for (const char *mode : {"fixed", "off", "bogus"}) {
        AdvancedNerovaCDR cdr = RxLoop(mode, 0.125, 8, 8);
        Samples slots(wave.size() + 1, 0.0);
        const int count = ApplyAdvancedNerovaCDR(wave.data(), static_cast<int>(wave.size()), cdr, 1.0, 0, slots.data());
        ASSERT_EQ(count, 60) << mode;
        for (int i = 0; i < count; ++i)
            EXPECT_EQ(slots[i], 1.0 + 8.0 * i) << mode << " clock " << i;
        EXPECT_EQ(slots[count], -1.0);
        EXPECT_EQ(*cdr.threshold, 0);
        DeleteAdvancedNerovaCDR(cdr);
    }
}

TEST(AdvancedCDR, ConstantInputStepsLaterAtOnceAndEarlierNinetySevenDataTicksLater)
{
    // Delta = 0.25 * 8 = 2 samples. The first data tick steps later on the
    // vote of an empty latency line; its own late decision is voted at the
    // 98th data tick; nothing moves after that.
    AdvancedNerovaCDR cdr = RxLoop("auto", 0.25, 4, 8);
    EXPECT_EQ(cdr.latency, 98);
    EXPECT_EQ(cdr.vote, 1);
    const int total = 8 * 300;
    const double level = 0.03; // above feedback/2
    Samples times;
    std::vector<int> threshold_changes;
    int data_ticks = 0;
    for (int n = 0; n < total; ++n) {
        const int before = *cdr.threshold;
        data_ticks += *cdr.data_countdown < 0.0;
        double slots[2] = {0.0, 0.0};
        if (ApplyAdvancedNerovaCDR(&level, 1, cdr, 1.0, 0, slots) == 1)
            times.push_back(slots[0]);
        if (*cdr.threshold != before)
            threshold_changes.push_back(data_ticks);
        if (data_ticks == 1) {
            EXPECT_EQ(cdr.pd_history[0], -1);
        }
    }
    EXPECT_EQ(threshold_changes, (std::vector<int>{1, 98}));
    EXPECT_EQ(*cdr.threshold, 2);
    ASSERT_GT(times.size(), 200u);
    EXPECT_EQ(times[0], 1.0);
    EXPECT_EQ(times[1], 11.0);
    // One UI 2 samples longer, one 2 samples shorter, all others 8.
    std::vector<int> odd_gaps;
    for (size_t i = 1; i < times.size(); ++i)
        if (times[i] - times[i - 1] != 8.0)
            odd_gaps.push_back(static_cast<int>(times[i] - times[i - 1]));
    EXPECT_EQ(odd_gaps, (std::vector<int>{10, 6}));
    DeleteAdvancedNerovaCDR(cdr);
}

TEST(AdvancedCDR, LocksOnPrbs7WithEdgesOnTheTransitions)
{
    // Bit j spans first + 16j to first + 16(j + 1): the data ticks start on
    // the transitions. Run one sample per call to see every data tick.
    const int s = 16;
    const double first = 8.5;
    const Samples levels = Prbs7Levels(127 * 16);
    const Samples wave = NrzWave(levels, s, first);
    AdvancedNerovaCDR cdr = RxLoop("auto", 0.03125, 16, s);
    double worst = 0.0, mean = 0.0;
    int edges = 0, decisions = 0, errors = 0;
    for (size_t n = 0; n < wave.size(); ++n) {
        const bool data_tick = *cdr.data_countdown < 0.0;
        double slots[2] = {0.0, 0.0};
        const bool edge_tick = ApplyAdvancedNerovaCDR(&wave[n], 1, cdr, 1.0, 0, slots) == 1;
        if (n < wave.size() / 4)
            continue; // acquiring
        if (edge_tick) {
            // The edge slicer sampled one interval before the clock time.
            const double e = PhaseError(slots[0] - 1.0, first, s);
            worst = std::max(worst, std::fabs(e));
            mean += e;
            ++edges;
        }
        if (data_tick) {
            // The data slicer sampled between samples n - 1 and n.
            const double t = static_cast<double>(n) - 0.5;
            errors += *cdr.data_decision != levels[static_cast<size_t>(std::floor((t - first) / s))];
            ++decisions;
        }
    }
    // It wanders by a few phase steps (0.5 samples) about the transitions,
    // and every decision, half a UI later, reads its bit.
    ASSERT_GT(edges, 1000);
    EXPECT_LE(worst, 2.5);
    EXPECT_LE(std::fabs(mean / edges), 0.5);
    EXPECT_EQ(*cdr.threshold, 16);
    EXPECT_EQ(decisions, edges);
    EXPECT_EQ(errors, 0);
    DeleteAdvancedNerovaCDR(cdr);
}

TEST(AdvancedCDR, SetupCorrectsLatencyVoteHistoryAndSamplesPerBit)
{
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    AdvancedNerovaCDR cdr = SetupAdvancedNerovaCDR("auto", 0.03125, 16, 0.0, 1, 0, 5, 8, 0.05, -1.0, message,
                                                   AMI_MESSAGE_CAPACITY);
    EXPECT_STREQ(message, "**Warning** CDR: Latency must be greater than or equal to 1. Setting Latency equal to "
                          "1.\n\n**Warning** CDR: Vote must be less than or equal to Latency. Setting Vote equal "
                          "to Latency.\n\n");
    EXPECT_EQ(cdr.latency, 1);
    EXPECT_EQ(cdr.vote, 1);
    DeleteAdvancedNerovaCDR(cdr);

    message[0] = '\0';
    cdr = SetupAdvancedNerovaCDR("auto", 0.03125, 16, 0.0, 0, 4, 2, 0, 0.05, -1.0, message, AMI_MESSAGE_CAPACITY);
    EXPECT_STREQ(message, "**Warning** CDR: History length must be greater than or equal to 1. Setting History "
                          "length equal to 1.\n\n**Warning** CDR: Samples per bit must be greater than or equal "
                          "to 1. Setting Samples per bit equal to 1.\n\n");
    EXPECT_EQ(cdr.history_length, 1);
    EXPECT_EQ(cdr.samples_per_bit, 1);
    // One sample per UI ticks at every sample but the first: wave_size + 1 slots.
    const Samples wave = noise(40, 2);
    Samples slots(41, 0.0);
    EXPECT_EQ(ApplyAdvancedNerovaCDR(wave.data(), 40, cdr, 1.0, 0, slots.data()), 39);
    DeleteAdvancedNerovaCDR(cdr);

    // A buffer declared smaller than 256 is never written past its size.
    char small[300];
    std::memset(small, 'x', sizeof small);
    small[0] = '\0';
    cdr = SetupAdvancedNerovaCDR("auto", 0.03125, 16, 0.0, 1, 0, 5, 8, 0.05, -1.0, small, 120);
    EXPECT_EQ(std::strlen(small), 90u) << "the latency warning fits, the vote warning does not";
    for (int i = 120; i < 300; ++i)
        ASSERT_EQ(small[i], 'x') << i;
    DeleteAdvancedNerovaCDR(cdr);
}

TEST(AdvancedCDR, SplitCallsGiveTheSameAbsoluteClockTimes)
{
    const Samples wave = NrzWave(Prbs7Levels(400), 10, 3.0);
    AdvancedNerovaCDR whole = RxLoop("adapt", 0.125, 8, 10);
    Samples slots(wave.size() + 1, 0.0);
    const int count = ApplyAdvancedNerovaCDR(wave.data(), static_cast<int>(wave.size()), whole, 1e-12, 0, slots.data());

    AdvancedNerovaCDR pieces = RxLoop("adapt", 0.125, 8, 10);
    Samples joined;
    int done = 0;
    for (int chunk : {1, 0, 5, 1234, 7, 2753}) {
        Samples part(chunk + 1, 0.0);
        // The first sample holds no clock time: a positive slot on entry is
        // taken as a reference time all the same.
        part[0] = done == 0 ? 5e-12 : 0.0;
        const int written = ApplyAdvancedNerovaCDR(wave.data() + done, chunk, pieces, 1e-12, 0, part.data());
        if (done == 0) {
            EXPECT_EQ(written, 0);
            EXPECT_EQ(part[0], -1.0);
            EXPECT_EQ(*pieces.reference_time, 5e-12);
        }
        joined.insert(joined.end(), part.begin(), part.begin() + written);
        done += chunk;
    }
    ASSERT_EQ(done, static_cast<int>(wave.size()));
    EXPECT_EQ(joined, Samples(slots.begin(), slots.begin() + count));
    EXPECT_EQ(*pieces.edge_countdown, *whole.edge_countdown);
    EXPECT_EQ(*pieces.vote_accumulator, *whole.vote_accumulator);
    EXPECT_EQ(*pieces.threshold, *whole.threshold);

    // Empty and out-of-range calls touch nothing.
    EXPECT_EQ(ApplyAdvancedNerovaCDR(wave.data(), 0, pieces, 1e-12, 3, nullptr), 3);
    EXPECT_EQ(ApplyAdvancedNerovaCDR(wave.data(), 5, pieces, 1e-12, -1, slots.data()), -1);
    EXPECT_EQ(*pieces.sample_count_low, 4000);
    EnableAdvancedNerovaReferenceClk(&pieces, 1);
    EXPECT_EQ(pieces.reference_enabled, 1);
    DeleteAdvancedNerovaCDR(whole);
    DeleteAdvancedNerovaCDR(pieces);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(AdvancedCDR, ApplyAllocatesNothing)
{
    const Samples wave = NrzWave(Prbs7Levels(100), 8, 2.0);
    Samples slots(wave.size() + 1);
    AdvancedNerovaCDR cdr = RxLoop("auto", 0.03125, 16, 8);
    const long before = heap_calls();
    ApplyAdvancedNerovaCDR(wave.data(), static_cast<int>(wave.size()), cdr, 1.0, 0, slots.data());
    EXPECT_EQ(heap_calls(), before);
    DeleteAdvancedNerovaCDR(cdr);
}
#endif

} // namespace
