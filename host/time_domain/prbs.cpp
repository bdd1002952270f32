// Linear feedback shift register generator of the PRBS patterns.
#include "time_domain/prbs.h"

#include <cassert>

namespace ami_host {

namespace {

// The second tap of each offered polynomial x^order + x^tap + 1; 0 for an
// order that is not offered.
int prbs_tap(int order)
{
    switch (order) {
    case 7: return 6;
    case 9: return 5;
    case 11: return 9;
    case 15: return 14;
    case 20: return 3;
    case 23: return 18;
    case 31: return 28;
    default: return 0;
    }
}

} // namespace

bool prbs_supported(int order) { return prbs_tap(order) != 0; }

PrbsSource::PrbsSource(int order)
    : order_(order), tap_(prbs_tap(order)), mask_(static_cast<uint32_t>((uint64_t{1} << order) - 1)), state_(mask_)
{
    assert(tap_ != 0);
}

uint8_t PrbsSource::next()
{
    // Bit i of the register holds bit(k - 1 - i) of the sequence.
    const uint32_t bit = ((state_ >> (order_ - 1)) ^ (state_ >> (tap_ - 1))) & 1u;
    state_ = ((state_ << 1) | bit) & mask_;
    return static_cast<uint8_t>(bit);
}

std::vector<uint8_t> prbs_bits(int order, size_t count)
{
    PrbsSource source(order);
    std::vector<uint8_t> bits(count);
    for (uint8_t &bit : bits)
        bit = source.next();
    return bits;
}

} // namespace ami_host
