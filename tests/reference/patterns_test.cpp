// The conversions that the receiver's AMI_Init spends its time in, against
// their reference loops, bit for bit: samples per bit 1 to 64, short and long
// responses, lengths that are not a multiple of the lanes.
#include "Nerova_AMI_Model.h"
#include "reference.h"
#include "same_bits.h"

#include <vector>

namespace {

using Samples = std::vector<double>;

// A pulse-like response: a bump, a long tail and noise.
Samples Response(int n, int S, std::mt19937 &random)
{
    Samples x = RandomSamples(static_cast<size_t>(n), 1e-3, 0, random);
    for (int i = 0; i < n; ++i)
        x[static_cast<size_t>(i)] += std::exp(-0.5 * std::pow((i - 10.0 * S) / (1.5 * S), 2.0)) +
                                     0.05 * std::exp(-static_cast<double>(i) / (30.0 * S));
    return x;
}

TEST(FastPatterns, ImpulseToPulseAndPulseToImpulse)
{
    std::mt19937 random(5);
    for (int S = 1; S <= 64; S += S < 8 ? 1 : 7)
        for (int n : {1, 15, 17, 127 * S + 3, 3000}) {
            SCOPED_TRACE(testing::Message() << "S " << S << ", n " << n);
            const Samples in = Response(n, S, random);
            Samples fast(in.size()), ref(in.size());
            P2I(fast.data(), in.data(), n, S, 1e-12);
            reference::P2I(ref.data(), in.data(), n, S, 1e-12);
            EXPECT_TRUE(SameBits(fast, ref));
            // I2P also in place.
            Samples in_place = in;
            I2P(fast.data(), in.data(), n, S, 1e-12);
            I2P(in_place.data(), in_place.data(), n, S, 1e-12);
            reference::I2P(ref.data(), in.data(), n, S, 1e-12);
            EXPECT_TRUE(SameBits(fast, ref));
            EXPECT_TRUE(SameBits(in_place, ref));
        }
}

TEST(FastPatterns, PulseToPrbsAndBack)
{
    std::mt19937 random(6);
    for (int S : {1, 2, 3, 7, 8, 16, 31, 32, 33, 64})
        for (int n : {127 * S, 127 * S + 5, 3 * 127 * S + 13}) {
            SCOPED_TRACE(testing::Message() << "S " << S << ", n " << n);
            const Samples pulse = Response(n, S, random);
            const size_t L = static_cast<size_t>(127 * S);
            Samples fast(L), ref(L);
            P2PRBS(fast.data(), pulse.data(), n, S, 1e-12);
            reference::P2PRBS(ref.data(), pulse.data(), n, S, 1e-12);
            ASSERT_TRUE(SameBits(fast, ref));
            Samples fast_pulse(static_cast<size_t>(n)), ref_pulse(static_cast<size_t>(n));
            PRBS2P(fast_pulse.data(), fast.data(), n, S, 1e-12);
            reference::PRBS2P(ref_pulse.data(), ref.data(), n, S, 1e-12);
            EXPECT_TRUE(SameBits(fast_pulse, ref_pulse));
        }
}

} // namespace
