// Whole-sample delay line.
#include "ami_shaping.h"
#include "shaping_state.h"

#include <climits>
#include <cmath>
#include <cstdlib>

extern "C" Delay SetupDelay(double delay_time, double sample_interval)
{
    Delay rec{};
    const double v = delay_time / sample_interval + 0.5;
    // A ratio at or below -0.5 (or not a number) asks for no line at all,
    // and a line longer than an int can index cannot be held: both give the
    // empty record, which passes samples through.
    if (!(v > 0.0) || std::ceil(v) > static_cast<double>(INT_MAX))
        return rec;
    const double length = std::ceil(v) < 1.0 ? 1.0 : std::ceil(v);
    rec.length = static_cast<int>(length);
    ami::allocate_line(rec);
    return rec.line != nullptr ? rec : Delay{};
}

extern "C" void ApplyDelay(const double *in, int count, Delay rec, int reset, double *out)
{
    const int length = rec.length;
    const bool has_line = length > 0 && rec.position && rec.line;
    if (count > 0 && in && out) {
        if (!has_line) {
            ami::copy_samples(in, count, out);
            return;
        }
        double *const line = rec.line;
        int p = *rec.position;
        for (int n = 0; n < count; ++n) {
            line[p] = in[n];
            p = p + 1 == length ? 0 : p + 1;
            out[n] = line[p];
        }
        *rec.position = p;
    }
    if (reset && has_line)
        ami::clear_line(rec);
}

extern "C" void DeleteDelay(Delay rec)
{
    std::free(rec.position);
    std::free(rec.line);
}
