// Slope block: moving average over the ramp time.
#include "ami_shaping.h"
#include "shaping_state.h"

#include <cstdlib>

extern "C" Slope SetupSlope(double ramp_time, double sample_interval)
{
    Slope rec{};
    // A ramp of no (or negative, or undefined) duration is no ramp: length 1
    // marks a record that passes samples through. So does a window too long
    // for an int to index.
    const double k = ami::window_samples(ramp_time / sample_interval);
    rec.length = static_cast<int>(k) + 1;
    if (k > 0.0) {
        rec.c0 = sample_interval / ramp_time;
        rec.c1 = 1.0 - (k * sample_interval) / ramp_time;
        rec.c2 = ((k - 1.0) * sample_interval) / ramp_time - 1.0;
    }
    ami::allocate_line(rec);
    return rec;
}

extern "C" void ApplySlope(const double *in, int count, Slope rec, int reset, double *out)
{
    const bool has_state = rec.position && rec.line && rec.accumulator;
    if (count > 0 && in && out) {
        if (!has_state || rec.length < 2)
            ami::copy_samples(in, count, out);
        else
            ami::run_moving_average(in, count, rec, out, [](double acc, double) { return acc; });
    }
    if (reset && has_state)
        ami::clear_line(rec);
}

extern "C" void DeleteSlope(Slope rec)
{
    std::free(rec.position);
    std::free(rec.line);
    std::free(rec.accumulator);
}
