// Rounding a bit time to a whole number of samples per bit.
#pragma once

#include "model_messages.h"

namespace ami {

// The largest number of samples per bit that a model accepts.
constexpr double kMaxSamplesPerBit = 1000000.0;

// Rounds `ratio` (bit time / sample interval) to the nearest whole number,
// halves rounded down: 32.5 gives 32, 32.6 gives 33, and 0 for a ratio of 0.5
// or less. Returns -1 for a ratio that is not a finite number.
int round_samples_per_bit(double ratio);

// The samples per bit for the host's timing, or 0 after an "**Error**"
// message when a model cannot work with it: a sample interval that is not a
// positive finite number, or a ratio that is not finite, rounds to 0 or
// exceeds kMaxSamplesPerBit.
int checked_samples_per_bit(double sample_interval, double bit_time, Messages &messages);

} // namespace ami
