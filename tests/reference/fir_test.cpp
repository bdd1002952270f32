// The FIR block against its reference loop, bit for bit: the transmitter's
// shaping filter and other tap spacings, random block splits and resets, and
// a history too long for the stack.
#include "reference.h"
#include "same_bits.h"

#include <vector>

namespace {

using Samples = std::vector<double>;

struct FirCase {
    int taps;
    double spacing; // samples between taps
};

class FastFIR : public testing::TestWithParam<FirCase> {};

TEST_P(FastFIR, MatchesTheReferenceLoop)
{
    const FirCase c = GetParam();
    std::mt19937 random(static_cast<unsigned>(c.taps * 1000 + c.spacing * 10));
    const Samples coefficients = RandomSamples(static_cast<size_t>(c.taps), 1.0, 0, random);
    const double gain = 1.5;
    FIR fast = SetupSimpleFIR(c.taps, c.spacing * 1e-11, 1e-11, &gain, coefficients.data());
    FIR ref = SetupSimpleFIR(c.taps, c.spacing * 1e-11, 1e-11, &gain, coefficients.data());
    ASSERT_GE(fast.history_length, 1);
    const int total = 6000;
    Samples input = RandomSamples(total, 0.5, 997, random), expected = input;
    int at = 0;
    for (int piece : RandomSplits(total, 1500, random)) {
        const int reset = random() % 7 == 0;
        ApplyFIR(input.data() + at, piece, fast, 0, reset, input.data() + at);
        reference::ApplyFIR(expected.data() + at, piece, ref, 0, reset, expected.data() + at);
        ASSERT_EQ(*fast.position, *ref.position) << "after sample " << at;
        at += piece;
    }
    EXPECT_TRUE(SameBits(input, expected));
    EXPECT_TRUE(SameBits(fast.history, ref.history, static_cast<size_t>(fast.history_length)));
    DeleteFIR(fast);
    DeleteFIR(ref);
}

INSTANTIATE_TEST_SUITE_P(Spacings, FastFIR,
                         testing::Values(FirCase{12, 2.0}, FirCase{12, 0.3}, FirCase{12, 6.7}, FirCase{1, 0.0},
                                         FirCase{0, 1.0}, FirCase{5, 204.6}, FirCase{7, 400.0}));

} // namespace
