// The two inner loops of the time-domain eye, run for every counted bit: the
// waveform at the eye's phases, and those values into the density. Both
// compute each value with the same operations in the same order as the plain
// loops they replace (two values side by side), so results do not change.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ami_host {

// out[j] = linear interpolation of `samples` at (x + j * step) - base for j
// in [0, count): sample index i = that position's whole part, capped at
// size - 2, and samples[i] + f * (samples[i + 1] - samples[i]) with f the
// position minus i. `x` and `base` are sample indices of the stream and
// `samples` starts at `base`; every position must lie in [0, size - 1]
// (size >= 2). `out` must not overlap `samples`.
void interpolate_columns(const double *samples, size_t size, double base, double x, double step, size_t count,
                         double *out);

// Counts value j of `values` in column j of `counts` (rows of `times`
// columns, `levels` rows), at row (values[j] - low) * scale, clamped to the
// first and last rows. Returns how many values fell outside the rows (NaN
// included: it is counted in row 0).
long long add_density_columns(const double *values, size_t times, int levels, double low, double scale,
                              uint32_t *counts);

} // namespace ami_host
