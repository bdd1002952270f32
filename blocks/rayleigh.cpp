// Rayleigh block: third-order hump filter.
#include "ami_shaping.h"
#include "shaping_state.h"

#include <cmath>
#include <cstdlib>

extern "C" Rayleigh SetRayleigh(double sample_interval, double gain, double width)
{
    // 0.431 places the hump's peak; 2.71828 scales it to about half the gain.
    const double alpha = (sample_interval / 0.431) / width;
    const double e_half = std::exp(-alpha / 2.0);
    const double e_one = std::exp(-alpha);
    const double e_three_halves = std::exp(-1.5 * alpha);
    const double e_two = std::exp(-2.0 * alpha);
    const double k = 0.5 * ((1.0 - e_half) * (gain * 2.71828));
    Rayleigh rec{};
    rec.b0 = e_half * k;
    rec.b1 = (e_one - e_half - e_three_halves) * k;
    rec.b2 = (e_three_halves - e_one - e_two) * k;
    rec.b3 = e_two * k;
    rec.a1 = 3.0 * e_one;
    rec.a2 = -3.0 * e_two;
    rec.a3 = std::exp(-3.0 * alpha);
    ami::allocate_histories(rec.x_hist, 4, rec.y_hist, 3);
    return rec;
}

extern "C" void ApplyRayleigh(const double *in, int count, Rayleigh rec, int reset, double *out)
{
    double *const x = rec.x_hist;
    double *const y = rec.y_hist;
    if (count > 0 && in && out) {
        if (!x || !y) {
            ami::copy_samples(in, count, out);
            return;
        }
        for (int n = 0; n < count; ++n) {
            x[3] = x[2];
            x[2] = x[1];
            x[1] = x[0];
            x[0] = in[n];
            const double v = rec.b0 * x[0] + rec.b1 * x[1] + rec.b2 * x[2] + rec.b3 * x[3] +
                             rec.a1 * y[0] + rec.a2 * y[1] + rec.a3 * y[2];
            y[2] = y[1];
            y[1] = y[0];
            y[0] = v;
            out[n] = v;
        }
    }
    if (reset && x && y) {
        x[0] = x[1] = x[2] = x[3] = 0.0;
        y[0] = y[1] = y[2] = 0.0;
    }
}

extern "C" void DeleteRayleigh(Rayleigh rec)
{
    std::free(rec.x_hist);
    std::free(rec.y_hist);
}
