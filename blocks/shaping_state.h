// State handling shared by the edge and pulse shaping blocks: histories and
// delay lines allocated at set-up.
#pragma once

#include "copy_samples.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace ami {

// Allocates the zeroed input and output histories of a recursive block;
// when either allocation fails, both are left null (the block then passes
// samples through).
inline void allocate_histories(double *&x_hist, int x_length, double *&y_hist, int y_length)
{
    x_hist = static_cast<double *>(std::calloc(static_cast<size_t>(x_length), sizeof(double)));
    y_hist = static_cast<double *>(std::calloc(static_cast<size_t>(y_length), sizeof(double)));
    if (x_hist == nullptr || y_hist == nullptr) {
        std::free(x_hist);
        std::free(y_hist);
        x_hist = nullptr;
        y_hist = nullptr;
    }
}

// Whole samples K of a window of r samples: the smallest whole number, at
// least 1, not below r. 0 when r is not a positive number or K + 1 would not
// fit an int.
inline double window_samples(double r)
{
    if (!(r > 0.0) || std::ceil(r) >= static_cast<double>(INT_MAX))
        return 0.0;
    return std::ceil(r) < 1.0 ? 1.0 : std::ceil(r);
}

// Allocates the zeroed write position, line of rec.length samples and (when
// the record has one) running sum of a line block; when any allocation
// fails, all are left null.
template <typename Line>
void allocate_line(Line &rec)
{
    rec.position = static_cast<int *>(std::calloc(1, sizeof(int)));
    rec.line = static_cast<double *>(std::calloc(static_cast<size_t>(rec.length), sizeof(double)));
    bool allocated = rec.position != nullptr && rec.line != nullptr;
    if constexpr (requires { rec.accumulator; }) {
        rec.accumulator = static_cast<double *>(std::calloc(1, sizeof(double)));
        allocated = allocated && rec.accumulator != nullptr;
        if (!allocated) {
            std::free(rec.accumulator);
            rec.accumulator = nullptr;
        }
    }
    if (!allocated) {
        std::free(rec.position);
        std::free(rec.line);
        rec.position = nullptr;
        rec.line = nullptr;
    }
}

// Sets a line block back to rest: position 0, line and running sum zero.
template <typename Line>
void clear_line(const Line &rec)
{
    *rec.position = 0;
    std::memset(rec.line, 0, sizeof(double) * static_cast<size_t>(rec.length));
    if constexpr (requires { rec.accumulator; })
        *rec.accumulator = 0.0;
}

// Runs the moving average of the Slope and Sawtooth blocks over count
// samples: the running sum y[n] = y[n - 1] + c0*x[n] + c1*x[n - K + 1] +
// c2*x[n - K], with out[n] = output(y[n], x[n - K]). The line holds the last
// K + 1 inputs (length >= 2).
template <typename Line, typename Output>
void run_moving_average(const double *in, int count, const Line &rec, double *out, Output output)
{
    double *const line = rec.line;
    const int length = rec.length;
    double acc = *rec.accumulator;
    int p = *rec.position;
    for (int n = 0; n < count; ++n) {
        const double x = in[n];
        line[p] = x;
        // The input K back sits one slot ahead of p, the one K - 1 back two ahead.
        const int p1 = p + 1 == length ? 0 : p + 1;
        const int p2 = p1 + 1 == length ? 0 : p1 + 1;
        acc = ((rec.c0 * x + acc) + rec.c1 * line[p2]) + rec.c2 * line[p1];
        out[n] = output(acc, line[p1]);
        p = p1;
    }
    *rec.accumulator = acc;
    *rec.position = p;
}

} // namespace ami
