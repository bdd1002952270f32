// Slope block: moving average over the ramp time.
#include "ami_shaping.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" Slope SetupSlope(double ramp_time, double sample_interval)
{
    Slope rec{};
    const double r = ramp_time / sample_interval;
    // A ramp of no (or negative, or undefined) duration is no ramp: length 1
    // marks a record that passes samples through. So does a window too long
    // for an int to index.
    const bool ramps = r > 0.0 && std::ceil(r) < static_cast<double>(INT_MAX);
    const double k = ramps ? (std::ceil(r) < 1.0 ? 1.0 : std::ceil(r)) : 0.0;
    rec.length = static_cast<int>(k) + 1;
    if (ramps) {
        rec.c0 = sample_interval / ramp_time;
        rec.c1 = 1.0 - (k * sample_interval) / ramp_time;
        rec.c2 = ((k - 1.0) * sample_interval) / ramp_time - 1.0;
    }
    rec.position = static_cast<int *>(std::calloc(1, sizeof(int)));
    rec.line = static_cast<double *>(std::calloc(static_cast<size_t>(rec.length), sizeof(double)));
    rec.accumulator = static_cast<double *>(std::calloc(1, sizeof(double)));
    if (!rec.position || !rec.line || !rec.accumulator) {
        DeleteSlope(rec);
        rec.position = nullptr;
        rec.line = nullptr;
        rec.accumulator = nullptr;
    }
    return rec;
}

extern "C" void ApplySlope(const double *in, int count, Slope rec, int reset, double *out)
{
    const int length = rec.length;
    const bool has_state = rec.position && rec.line && rec.accumulator;
    if (count > 0 && in && out) {
        if (!has_state || length < 2) {
            if (in != out)
                std::memmove(out, in, sizeof(double) * static_cast<size_t>(count));
            return;
        }
        double *const line = rec.line;
        double acc = *rec.accumulator;
        int p = *rec.position;
        for (int n = 0; n < count; ++n) {
            const double x = in[n];
            line[p] = x;
            // The input K back sits one slot ahead of p, the one K - 1 back two ahead.
            const int p1 = p + 1 == length ? 0 : p + 1;
            const int p2 = p1 + 1 == length ? 0 : p1 + 1;
            acc = ((rec.c0 * x + acc) + rec.c1 * line[p2]) + rec.c2 * line[p1];
            out[n] = acc;
            p = p1;
        }
        *rec.accumulator = acc;
        *rec.position = p;
    }
    if (reset && has_state) {
        *rec.position = 0;
        *rec.accumulator = 0.0;
        std::memset(rec.line, 0, sizeof(double) * static_cast<size_t>(length));
    }
}

extern "C" void DeleteSlope(Slope rec)
{
    std::free(rec.position);
    std::free(rec.line);
    std::free(rec.accumulator);
}
