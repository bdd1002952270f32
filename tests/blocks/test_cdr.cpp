// Tests of the cdr blocks.
#include "IBIS_AMI_tree.h"
#include "Nerova_AMI_Model.h"
#include "heap_calls.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>


namespace {

using Samples = std::vector<double>;

Samples ClockTimes(const Samples &slots, int count)
{
    return Samples(slots.begin(), slots.begin() + count);
}

TEST(ControlMode, WordsAndTheWarningForAnythingElse)
{
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    EXPECT_EQ(GetControlMode("Off", message, AMI_MESSAGE_CAPACITY), CONTROL_OFF);
    EXPECT_EQ(GetControlMode("Fixed", message, AMI_MESSAGE_CAPACITY), CONTROL_FIXED);
    EXPECT_EQ(GetControlMode("on", message, AMI_MESSAGE_CAPACITY), CONTROL_AUTO);
    EXPECT_EQ(GetControlMode("adapt", message, AMI_MESSAGE_CAPACITY), CONTROL_ADAPT);
    EXPECT_STREQ(message, "");

    EXPECT_EQ(GetControlMode("auto ", message, AMI_MESSAGE_CAPACITY), CONTROL_OFF);
    EXPECT_STREQ(message, "**Warning** Control mode auto  not recognized. Defaulting to \"off\".\n");
    message[0] = '\0';
    EXPECT_EQ(GetControlMode("OFF", message, AMI_MESSAGE_CAPACITY), CONTROL_OFF);
    EXPECT_EQ(GetControlMode(nullptr, nullptr, 0), CONTROL_OFF);
    EXPECT_NE(std::string(message).find("Control mode OFF not recognized"), std::string::npos);

    message[0] = '\0';
    EXPECT_EQ(GetOptMode("On", message, AMI_MESSAGE_CAPACITY), OPT_ON);
    EXPECT_EQ(GetOptMode("yes", message, AMI_MESSAGE_CAPACITY), OPT_OFF);
    EXPECT_STREQ(message, "**Warning** Optimization mode yes not recognized. Defaulting to \"off\".\n");
}

TEST(CDR, FreeRunningClockTicksEveryUIWithDataTicksHalfAUILater)
{
    // Data ticks fall at samples 5, 13, 21; a flip time of 14 inverts the
    // decision taken at sample 13.
    CDR cdr = SetupCDR("fixed", 0.25, 4, 0.0, 2, 8, 0.05, 14.0, nullptr, 0);
    const Samples ones(22, 1.0);
    Samples slots(23, 0.0);
    EXPECT_EQ(ApplyCDR(ones.data(), 22, cdr, 1.0, 0, slots.data()), 3);
    EXPECT_EQ(ClockTimes(slots, 4), (Samples{1, 9, 17, -1}));
    EXPECT_EQ(*cdr.data_decision, 0.5);
    EXPECT_EQ(cdr.data_history[0], -0.5) << "the decision of sample 13, inverted";
    EXPECT_EQ(cdr.data_history[1], 0.5);
    // Late at samples 5 and 21, early at 13: counted, never acted on.
    EXPECT_EQ(*cdr.vote_accumulator, -1);
    DeleteCDR(cdr);
}

TEST(CDR, TrackingLoopStepsEarlierAtItsFirstLateDecisionOnly)
{
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    CDR cdr = SetupCDR("auto", 0.25, 4, 0.0, 1, 8, 0.05, -1.0, message, AMI_MESSAGE_CAPACITY);
    EXPECT_STREQ(message, "");
    EXPECT_EQ(cdr.flip_time, 0.0);
    const Samples level(60, 0.03); // above feedback/2
    Samples slots(61, 0.0);
    EXPECT_EQ(ApplyCDR(level.data(), 60, cdr, 1.0, 0, slots.data()), 8);
    // Delta = 0.25 * 8 = 2 samples, taken at the data tick of sample 5.
    EXPECT_EQ(ClockTimes(slots, 9), (Samples{1, 7, 15, 23, 31, 39, 47, 55, -1}));
    EXPECT_EQ(*cdr.threshold, 1);
    EXPECT_EQ(*cdr.vote_accumulator, 0);
    EXPECT_EQ(*cdr.edge_decision, 0.5);
    DeleteCDR(cdr);
}

TEST(CDR, SplitCallsGiveTheSameAbsoluteClockTimes)
{
    Samples wave = noise(700, 5);
    for (size_t n = 0; n < wave.size(); ++n)
        wave[n] += (n / 11) % 3 == 0 ? 0.4 : -0.4;
    CDR whole = SetupCDR("adapt", 1.0 / 16, 3, 0.01, 3, 11, 0.05, 0.0, nullptr, 0);
    Samples slots(wave.size() + 1, 0.0);
    const int count = ApplyCDR(wave.data(), static_cast<int>(wave.size()), whole, 2e-12, 0, slots.data());
    ASSERT_GT(count, 50);

    CDR pieces = SetupCDR("adapt", 1.0 / 16, 3, 0.01, 3, 11, 0.05, 0.0, nullptr, 0);
    Samples joined;
    int done = 0;
    for (int chunk : {3, 0, 250, 1, 446}) {
        Samples part(chunk + 1, 0.0);
        const int written = ApplyCDR(wave.data() + done, chunk, pieces, 2e-12, 0, part.data());
        EXPECT_EQ(part[written], chunk > 0 && written > 0 ? -1.0 : 0.0);
        joined.insert(joined.end(), part.begin(), part.begin() + written);
        done += chunk;
    }
    EXPECT_EQ(joined, ClockTimes(slots, count));
    EXPECT_EQ(*pieces.edge_countdown, *whole.edge_countdown);
    EXPECT_EQ(*pieces.threshold, *whole.threshold);
    DeleteCDR(whole);
    DeleteCDR(pieces);
}

TEST(CDR, ReferenceClockTimeIsTakenFromTheSlotAndFollowedWhenEnabled)
{
    const Samples zeros(20, 0.0);
    for (int enabled : {0, 1}) {
        CDR cdr = SetupCDR("off", 0.25, 4, 0.0, 1, 8, 0.05, 0.0, nullptr, 0);
        EnableReferenceClk(&cdr, enabled);
        EXPECT_EQ(cdr.reference_enabled, enabled);
        Samples slots(21, 0.0);
        slots[0] = 3.0; // a reference edge 3 samples into the UI
        // Enabled, the edge after the first one moves 3 samples later.
        EXPECT_EQ(ApplyCDR(zeros.data(), 20, cdr, 1.0, 0, slots.data()), enabled ? 2 : 3);
        EXPECT_EQ(ClockTimes(slots, 4), enabled ? (Samples{1, 12, -1, 0}) : (Samples{1, 9, 17, -1}));
        EXPECT_EQ(*cdr.previous_reference_time, enabled ? 3.0 : 0.0);
        DeleteCDR(cdr);
    }
    EnableReferenceClk(nullptr, 1);
}

TEST(CDR, ShortEmptyAndOutOfRangeCallsStayInBounds)
{
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    CDR cdr = SetupCDR("auto", 0.25, 4, 0.0, 0, 0, 0.05, 0.0, message, AMI_MESSAGE_CAPACITY);
    EXPECT_EQ(cdr.history_length, 1);
    EXPECT_EQ(cdr.samples_per_bit, 1);
    EXPECT_STREQ(message, "**Warning** CDR: History length must be greater than or equal to 1. Setting History "
                          "length equal to 1.\n\n**Warning** CDR: Samples per bit must be greater than or equal "
                          "to 1. Setting Samples per bit equal to 1.\n\n");

    // An edge tick at every sample from the second on: wave_size + 1 slots.
    const Samples wave = noise(30, 9);
    Samples slots(31, 0.0);
    EXPECT_EQ(ApplyCDR(wave.data(), 30, cdr, 1.0, 0, slots.data()), 29);
    EXPECT_EQ(slots[29], -1.0);
    DeleteCDR(cdr);

    cdr = SetupCDR("fixed", 0.25, 4, 0.0, 1, 8, 0.05, 0.0, nullptr, 0);
    double held[2] = {0.0, 7.0};
    EXPECT_EQ(ApplyCDR(wave.data(), 1, cdr, 1.0, 1, held), 1);
    EXPECT_EQ(held[1], -1.0) << "a positive slot is taken as a reference time";
    EXPECT_EQ(*cdr.reference_time, 7.0);
    EXPECT_EQ(ApplyCDR(wave.data(), 0, cdr, 1.0, 0, nullptr), 0);
    EXPECT_EQ(ApplyCDR(wave.data(), -4, cdr, 1.0, 1, held), 1);
    EXPECT_EQ(ApplyCDR(wave.data(), 3, cdr, 1.0, -1, held), -1);
    EXPECT_EQ(ApplyCDR(nullptr, 3, cdr, 1.0, 0, held), 0);
    EXPECT_EQ(held[0], 0.0);
    EXPECT_EQ(*cdr.sample_count_low, 1);
    DeleteCDR(cdr);
}

#if !defined(__SANITIZE_ADDRESS__)
TEST(BlockLibrary, ApplyFunctionsAllocateNothing)
{
    const Samples x = noise(300, 4);
    Samples y(300), slots(301);
    const double taps[2] = {0.1, -0.2}, decisions[2] = {0.5, -0.5};
    RiseFall rf = SetRiseFall(1.0, 3.0);
    Delay d = SetupDelay(3.0, 1.0);
    Slope sl = SetupSlope(3.0, 1.0);
    Triangle t = SetTriangle(1.0, 1.0, 3.0);
    Rayleigh r = SetRayleigh(1.0, 1.0, 3.0);
    Sawtooth sw = SetSawtooth(1.0, 1.0, 3.0);
    CDR cdr = SetupCDR("auto", 0.25, 4, 0.0, 2, 8, 0.05, 0.0, nullptr, 0);
    DFE dfe = SetupDFE(2, taps, 4, -1.0, 1.0, 0.01, "adapt", 0.01, nullptr, 0);

    const long before = heap_calls();
    ApplyRiseFall(x.data(), 300, rf, 1, y.data());
    ApplyDelay(x.data(), 300, d, 1, y.data());
    ApplySlope(x.data(), 300, sl, 1, y.data());
    ApplyTriangle(x.data(), 300, t, 1, y.data());
    ApplyRayleigh(x.data(), 300, r, 1, y.data());
    ApplySawtooth(x.data(), 300, sw, 1, y.data());
    ApplyCDR(x.data(), 300, cdr, 1.0, 0, slots.data());
    ApplyDFE(x.data(), 300, dfe, 1, 1.0, decisions, y.data());
    ApplyDFE(x.data(), 300, dfe, 0, 1.0, decisions, y.data());
    EXPECT_EQ(heap_calls(), before);

    DeleteRiseFall(rf);
    DeleteDelay(d);
    DeleteSlope(sl);
    DeleteTriangle(t);
    DeleteRayleigh(r);
    DeleteSawtooth(sw);
    DeleteCDR(cdr);
    DeleteDFE(dfe);
}
#endif

} // namespace
