// Rounding a bit time to a whole number of samples per bit.
#include "samples_per_bit.h"

#include <climits>
#include <cmath>

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

} // namespace ami
