// Sawtooth block: scaled moving average minus the delayed input.
#include "ami_shaping.h"
#include "shaping_state.h"

#include <cstdlib>
#include <cstring>

extern "C" Sawtooth SetSawtooth(double sample_interval, double gain, double duration)
{
    Sawtooth rec{};
    // A tooth of no (or negative, or undefined) duration rises and falls at
    // once: length 1 marks a record that outputs zeros. So does a window too
    // long for an int to index.
    const double k = ami::window_samples(duration / sample_interval);
    rec.length = static_cast<int>(k) + 1;
    if (k > 0.0) {
        rec.c0 = (gain * sample_interval) / duration;
        rec.c1 = (1.0 - (k * sample_interval) / duration) * gain;
        rec.c2 = (((k - 1.0) * sample_interval) / duration - 1.0) * gain;
        rec.c3 = -gain;
    }
    ami::allocate_line(rec);
    return rec;
}

extern "C" void ApplySawtooth(const double *in, int count, Sawtooth rec, int reset, double *out)
{
    const bool has_state = rec.position && rec.line && rec.accumulator;
    if (count > 0 && in && out) {
        if (!has_state)
            ami::copy_samples(in, count, out);
        else if (rec.length < 2)
            std::memset(out, 0, sizeof(double) * static_cast<size_t>(count));
        else
            ami::run_moving_average(in, count, rec, out,
                                    [c3 = rec.c3](double acc, double delayed) { return acc + c3 * delayed; });
    }
    if (reset && has_state)
        ami::clear_line(rec);
}

extern "C" void DeleteSawtooth(Sawtooth rec)
{
    std::free(rec.position);
    std::free(rec.line);
    std::free(rec.accumulator);
}
