// Rise/fall (edge-rate) filter.
#include "ami_shaping.h"
#include "rise_fall_run.h"
#include "shaping_state.h"

#include <cmath>
#include <cstdlib>

extern "C" RiseFall SetRiseFall(double sample_interval, double rise_time)
{
    const double alpha = 2.0 * (sample_interval / rise_time);
    const double q = std::exp(-alpha / 2.0);
    RiseFall rec{};
    rec.b0 = (1.0 - q) * (1.0 - q);
    rec.b1 = 2.0 * rec.b0 * q;
    rec.b2 = std::exp(-alpha) * rec.b0;
    rec.a1 = 2.0 * std::exp(-alpha);
    rec.a2 = -std::exp(-2.0 * alpha);
    ami::allocate_histories(rec.x_hist, 3, rec.y_hist, 2);
    return rec;
}

extern "C" void ApplyRiseFall(const double *in, int count, RiseFall rec, int reset, double *out)
{
    double *const x = rec.x_hist;
    double *const y = rec.y_hist;
    if (count > 0 && in && out) {
        if (!x || !y) {
            ami::copy_samples(in, count, out);
            return;
        }
        ami::RiseFallRun run(rec);
        for (int n = 0; n < count; ++n)
            out[n] = run.step(in[n]);
        run.store(rec);
    }
    if (reset && x && y) {
        x[0] = x[1] = x[2] = 0.0;
        y[0] = y[1] = 0.0;
    }
}

extern "C" void DeleteRiseFall(RiseFall rec)
{
    std::free(rec.x_hist);
    std::free(rec.y_hist);
}
