// Nonlinearities applied to responses through one PRBS7 period.
#include "ami_patterns.h"
#include "ami_table.h"
#include "copy_samples.h"

#include <cmath>
#include <cstdlib>

namespace {

using Conversion = void (*)(double *, const double *, int, int, double);

// Response -> one PRBS7 period -> nonlinearity on every sample -> response.
// The conversions back need count >= 6 and count >= 127*S, which also keeps
// the period's length within an int; otherwise, or when the scratch period
// cannot be allocated, the response passes unchanged.
template <typename Nonlinearity>
void through_prbs7(const double *in, int count, int S, double dt, double *out, Conversion to_prbs,
                   Conversion from_prbs, Nonlinearity apply)
{
    const bool usable = S >= 1 && count >= 6 && count / 127 >= S;
    double *const period = usable ? static_cast<double *>(std::malloc(sizeof(double) * 127 * static_cast<size_t>(S)))
                                  : nullptr;
    if (period == nullptr) {
        ami::copy_samples(in, count, out);
        return;
    }
    const int length = 127 * S;
    // in is read completely here and out written only below, so the two
    // may be one array.
    to_prbs(period, in, count, S, dt);
    apply(period, length);
    from_prbs(out, period, count, S, dt);
    std::free(period);
}

} // namespace

extern "C" void ApplyTablePRBS(const double *in, int count, int samples_per_bit, double sample_interval,
                               Table table, double *out)
{
    through_prbs7(in, count, samples_per_bit, sample_interval, out, I2PRBS, PRBS2I,
                  [&table](double *x, int length) { ApplyTable(x, length, table, x); });
}

extern "C" void PulseTablePRBS(const double *in, int count, int samples_per_bit, double sample_interval,
                               Table table, double *out)
{
    through_prbs7(in, count, samples_per_bit, sample_interval, out, P2PRBS, PRBS2P,
                  [&table](double *x, int length) { ApplyTable(x, length, table, x); });
}

extern "C" void Apply_tanh(const double *in, int count, int samples_per_bit, double sample_interval, double limit,
                           double *out)
{
    through_prbs7(in, count, samples_per_bit, sample_interval, out, I2PRBS, PRBS2I, [limit](double *x, int length) {
        for (int i = 0; i < length; ++i)
            x[i] = limit * std::tanh(x[i] / limit);
    });
}
