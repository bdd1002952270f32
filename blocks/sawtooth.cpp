// Sawtooth block: scaled moving average minus the delayed input.
#include "ami_shaping.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

extern "C" Sawtooth SetSawtooth(double sample_interval, double gain, double duration)
{
    Sawtooth rec{};
    const double r = duration / sample_interval;
    // A tooth of no (or negative, or undefined) duration rises and falls at
    // once: length 1 marks a record that outputs zeros. So does a window too
    // long for an int to index.
    const bool ramps = r > 0.0 && std::ceil(r) < static_cast<double>(INT_MAX);
    const double k = ramps ? (std::ceil(r) < 1.0 ? 1.0 : std::ceil(r)) : 0.0;
    rec.length = static_cast<int>(k) + 1;
    if (ramps) {
        rec.c0 = (gain * sample_interval) / duration;
        rec.c1 = (1.0 - (k * sample_interval) / duration) * gain;
        rec.c2 = (((k - 1.0) * sample_interval) / duration - 1.0) * gain;
        rec.c3 = -gain;
    }
    rec.position = static_cast<int *>(std::calloc(1, sizeof(int)));
    rec.line = static_cast<double *>(std::calloc(static_cast<size_t>(rec.length), sizeof(double)));
    rec.accumulator = static_cast<double *>(std::calloc(1, sizeof(double)));
    if (!rec.position || !rec.line || !rec.accumulator) {
        DeleteSawtooth(rec);
        rec.position = nullptr;
        rec.line = nullptr;
        rec.accumulator = nullptr;
    }
    return rec;
}

extern "C" void ApplySawtooth(const double *in, int count, Sawtooth rec, int reset, double *out)
{
    const int length = rec.length;
    const bool has_state = rec.position && rec.line && rec.accumulator;
    if (count > 0 && in && out) {
        if (!has_state) {
            if (in != out)
                std::memmove(out, in, sizeof(double) * static_cast<size_t>(count));
            return;
        }
        if (length < 2) {
            std::memset(out, 0, sizeof(double) * static_cast<size_t>(count));
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
            out[n] = acc + rec.c3 * line[p1];
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

extern "C" void DeleteSawtooth(Sawtooth rec)
{
    std::free(rec.position);
    std::free(rec.line);
    std::free(rec.accumulator);
}
