// Triangle block: first-order high-pass.
#include "ami_shaping.h"
#include "shaping_state.h"

#include <cmath>
#include <cstdlib>

extern "C" Triangle SetTriangle(double sample_interval, double gain, double time_constant)
{
    const double alpha = sample_interval / time_constant;
    Triangle rec{};
    rec.b0 = gain * std::exp(-alpha / 2.0);
    rec.b1 = gain * -std::exp(-alpha / 2.0);
    rec.a1 = std::exp(-alpha);
    ami::allocate_histories(rec.x_hist, 2, rec.y_hist, 1);
    return rec;
}

extern "C" void ApplyTriangle(const double *in, int count, Triangle rec, int reset, double *out)
{
    double *const x = rec.x_hist;
    double *const y = rec.y_hist;
    if (count > 0 && in && out) {
        if (!x || !y) {
            ami::copy_samples(in, count, out);
            return;
        }
        for (int n = 0; n < count; ++n) {
            x[1] = x[0];
            x[0] = in[n];
            const double v = (x[0] * rec.b0 + rec.b1 * x[1]) + rec.a1 * y[0];
            y[0] = v;
            out[n] = v;
        }
    }
    if (reset && x && y) {
        x[0] = x[1] = 0.0;
        y[0] = 0.0;
    }
}

extern "C" void DeleteTriangle(Triangle rec)
{
    std::free(rec.x_hist);
    std::free(rec.y_hist);
}
