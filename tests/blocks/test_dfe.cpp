// Tests of the dfe blocks.
#include "IBIS_AMI_tree.h"
#include "Nerova_AMI_Model.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using Samples = std::vector<double>;

Samples Taps(const DFE &dfe)
{
    return Samples(dfe.taps, dfe.taps + dfe.tap_count);
}

TEST(DFE, OffCopiesTheInputInBothFlows)
{
    char message[AMI_MESSAGE_CAPACITY + 1] = "";
    const double taps[2] = {0.25, -0.5};
    DFE dfe = SetupDFE(2, taps, 1, -1.0, 1.0, 0.1, "bogus", 1.0, message, AMI_MESSAGE_CAPACITY);
    EXPECT_EQ(dfe.mode, CONTROL_OFF);
    EXPECT_NE(message[0], '\0');
    const Samples in = {0.1, 1.0, 0.3, -0.2};
    const double decisions[2] = {0.5, -0.5};
    for (int impulse : {1, 0}) {
        Samples out(4);
        ApplyDFE(in.data(), 4, dfe, impulse, 1.0, decisions, out.data());
        EXPECT_EQ(out, in);
    }
    EXPECT_EQ(Taps(dfe), (Samples{0.25, -0.5}));
    DeleteDFE(dfe);
}

TEST(DFE, AutoImpulseFlowCancelsTheResponseAfterTheCursorWrappingAtTheEnd)
{
    DFE dfe = SetupDFE(3, nullptr, 1, -1.0, 1.0, 0.1, "auto", 1.0, nullptr, 0);
    Samples h = {0.1, 0.2, -0.9, 0.4, 0.3};
    ApplyDFE(h.data(), 5, dfe, 1, 1.0, nullptr, h.data());
    // Cursor at 2; taps at 3, 4 and (wrapped) 0.
    EXPECT_EQ(h, (Samples{0.0, 0.2, -0.9, 0.0, 0.0}));
    EXPECT_EQ(Taps(dfe), (Samples{-0.4, -0.3, -0.1}));
    DeleteDFE(dfe);

    // Fixed taps are added as they are, divided by the scale; a negative
    // spacing still lands inside the array.
    const double taps[2] = {0.5, 1.0};
    dfe = SetupDFE(2, taps, -3, -1.0, 1.0, 0.1, "fixed", 1.0, nullptr, 0);
    Samples g = {0.0, 1.0, 0.0, 0.0};
    ApplyDFE(g.data(), 4, dfe, 1, 2.0, nullptr, g.data());
    EXPECT_EQ(g, (Samples{0.0, 1.0, 0.25, 0.5})); // positions (1 - 3) mod 4 = 2, (1 - 6) mod 4 = 3
    EXPECT_EQ(Taps(dfe), (Samples{0.5, 1.0}));
    DeleteDFE(dfe);
}

TEST(DFE, FixedWaveformFeedbackQuantizesTapsDownwards)
{
    const double taps[2] = {0.37, -0.37};
    DFE dfe = SetupDFE(2, taps, 4, -1.0, 1.0, 0.1, "fixed", 1.0, nullptr, 0);
    const double decisions[2] = {1.0, 0.5};
    Samples x = {0.0, 1.0};
    ApplyDFE(x.data(), 2, dfe, 0, 1.0, decisions, x.data());
    EXPECT_NEAR(x[0], 0.3 - 0.4 * 0.5, 1e-15);
    EXPECT_NEAR(x[1], 1.0 + 0.3 - 0.2, 1e-15);
    EXPECT_EQ(Taps(dfe), (Samples{0.37, -0.37}));
    DeleteDFE(dfe);
}

TEST(DFE, AdaptedTapsAreClampedLowerLimitFirst)
{
    const double taps[2] = {0.0, 0.0};
    const double decisions[2] = {1.0, -1.0};
    // Output 1 drives tap 0 down by gain and tap 1 up by gain per sample.
    DFE dfe = SetupDFE(2, taps, 1, -0.25, 0.25, 0.01, "adapt", 0.1, nullptr, 0);
    const Samples ones(10, 1.0);
    Samples out(10);
    ApplyDFE(ones.data(), 1, dfe, 0, 1.0, decisions, out.data());
    EXPECT_NEAR(dfe.taps[0], -0.1, 1e-15);
    EXPECT_NEAR(dfe.taps[1], 0.1, 1e-15);
    ApplyDFE(ones.data(), 10, dfe, 0, 1.0, decisions, out.data());
    EXPECT_EQ(Taps(dfe), (Samples{-0.25, 0.25}));
    DeleteDFE(dfe);

    dfe = SetupDFE(2, taps, 1, 0.5, -0.5, 0.01, "auto", 0.1, nullptr, 0);
    ApplyDFE(ones.data(), 1, dfe, 0, 1.0, decisions, out.data());
    EXPECT_EQ(Taps(dfe), (Samples{-0.5, -0.5})) << "tap_min above tap_max ends every tap at tap_max";
    DeleteDFE(dfe);
}

TEST(DFE, EmptyCallsAndErrEnergy)
{
    DFE dfe = SetupDFE(-2, nullptr, 1, -1.0, 1.0, 0.1, "auto", 1.0, nullptr, 0);
    EXPECT_EQ(dfe.tap_count, 0);
    double x = 3.0;
    ApplyDFE(&x, 0, dfe, 1, 1.0, nullptr, nullptr);
    ApplyDFE(&x, 1, dfe, 0, 1.0, nullptr, &x);
    EXPECT_EQ(x, 3.0);
    DeleteDFE(dfe);

    const double v[2] = {3.0, 4.0};
    EXPECT_EQ(ErrEnergy(v, 2, 5.0), 1.0);
    EXPECT_EQ(ErrEnergy(v, 0, 5.0), 0.0);
    EXPECT_EQ(ErrEnergy(nullptr, 2, 0.0), 0.0);
}

} // namespace
