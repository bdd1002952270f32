// Rounding a bit time to a whole number of samples per bit.
#include "samples_per_bit.h"

#include <climits>
#include <cmath>
#include <cstdio>

namespace ami {

int round_samples_per_bit(double ratio)
{
    if (!std::isfinite(ratio))
        return -1;
    // The smallest whole number not below ratio - 0.5, found directly rather
    // than by counting up to it.
    const double excess = ratio - 0.5;
    if (excess <= 0.0)
        return 0;
    const double rounded = std::ceil(excess);
    return rounded >= static_cast<double>(INT_MAX) ? INT_MAX : static_cast<int>(rounded);
}

int checked_samples_per_bit(double sample_interval, double bit_time, Messages &messages)
{
    if (!(sample_interval > 0.0) || !std::isfinite(sample_interval)) {
        messages.add("**Error** Sample interval %lg out of range.\n",
                      sample_interval);
        return 0;
    }
    const double ratio = bit_time / sample_interval;
    const int samples_per_bit = round_samples_per_bit(ratio);
    if (samples_per_bit < 1 || ratio > kMaxSamplesPerBit) {
        messages.add("**Error** Samples per bit %lg out of range.\n", ratio);
        return 0;
    }
    return samples_per_bit;
}

} // namespace ami
