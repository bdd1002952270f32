// Pseudo-random bit sequences PRBS7 to PRBS31 for the time-domain stimulus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ami_host {

// The orders offered: 7, 9, 11, 15, 20, 23 and 31.
bool prbs_supported(int order);

// `count` bits of the PRBS of `order` (x^order + x^tap + 1, with the tap of
// the usual test patterns: 6, 5, 9, 14, 3, 18, 28), from a register of all
// ones: bit(k) = bit(k - order) XOR bit(k - tap). Period 2^order - 1.
std::vector<uint8_t> prbs_bits(int order, size_t count);

// The same sequence one bit at a time, for a stimulus of any length.
class PrbsSource {
public:
    explicit PrbsSource(int order); // an offered order
    uint8_t next();

private:
    int order_, tap_;
    uint32_t mask_, state_;
};

} // namespace ami_host
