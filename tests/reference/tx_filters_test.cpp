// The transmitter's filters against their reference loops, bit for bit: the
// FIR at the shaping filter's and other tap spacings, the FFE at several
// samples per bit, random block splits and resets, and histories too long for
// the stack.
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
                                         FirCase{0, 1.0}, FirCase{5, 204.6}, FirCase{7, 400.0}, FirCase{40, 1.5}));

struct FfeCase {
    int samples_per_bit;
    int taps;
};

class FastFFE : public testing::TestWithParam<FfeCase> {};

TEST_P(FastFFE, MatchesTheReferenceLoop)
{
    const FfeCase c = GetParam();
    std::mt19937 random(static_cast<unsigned>(c.samples_per_bit * 10 + c.taps));
    const Samples taps = RandomSamples(static_cast<size_t>(c.taps), 1.0, 0, random);
    TxFFE fast = SetupTxFFE(c.samples_per_bit, c.taps, -1, taps.data());
    TxFFE ref = SetupTxFFE(c.samples_per_bit, c.taps, -1, taps.data());
    const int total = 6000;
    Samples input = RandomSamples(total, 0.5, 997, random), expected = input;
    int at = 0;
    for (int piece : RandomSplits(total, 1500, random)) {
        const int reset = random() % 7 == 0;
        ApplyTxFFE(input.data() + at, piece, fast, reset, input.data() + at);
        reference::ApplyTxFFE(expected.data() + at, piece, ref, reset, expected.data() + at);
        ASSERT_EQ(*fast.position, *ref.position) << "after sample " << at;
        at += piece;
    }
    EXPECT_TRUE(SameBits(input, expected));
    EXPECT_TRUE(SameBits(fast.history, ref.history, static_cast<size_t>(fast.history_length)));
    DeleteTxFFE(fast);
    DeleteTxFFE(ref);
}

INSTANTIATE_TEST_SUITE_P(SamplesPerBit, FastFFE,
                         testing::Values(FfeCase{32, 2}, FfeCase{1, 2}, FfeCase{3, 5}, FfeCase{1, 1},
                                         FfeCase{512, 2}, FfeCase{1025, 2}));

} // namespace
