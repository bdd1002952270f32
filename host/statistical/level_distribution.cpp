// The level distribution of one sampling phase and its error ratio under
// noise. Its cost is the exact convolution of at most kExactCursors values,
// each over a grid that the worst-case level span bounds, plus a pass over
// the others, so a long pulse response costs little more than a short one.
// The folded values' sum is a Gaussian of their exact variance, which the
// decision adds to the noise.
#include "statistical/level_distribution.h"

#include "base/linear_interpolation.h"
#include "statistical/jitter_density.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace ami_host {

namespace {

// Noise deviations beyond which the Gaussian tail is taken as 0 (or 1):
// Q(9.5) is about 1e-21, far below any ratio the eye reports.
constexpr double kTailReach = 9.5;

void add_bit_values(const std::vector<double> &pulse, double x, double bit, bool skip_main,
                    std::vector<double> &out)
{
    const double last = static_cast<double>(pulse.size() - 1);
    const long first_k = static_cast<long>(std::ceil(-x / bit));
    const long last_k = static_cast<long>(std::floor((last - x) / bit));
    for (long k = first_k; k <= last_k; ++k) {
        if (skip_main && k == 0)
            continue;
        const double v = std::fabs(sample_at(pulse, x + static_cast<double>(k) * bit));
        if (v > 0.0)
            out.push_back(v);
    }
}

// Keeps the kExactCursors largest values and folds the others.
void fold_smallest(std::vector<double> &values, LevelDistribution &d)
{
    if (values.size() <= kExactCursors)
        return;
    std::nth_element(values.begin(), values.begin() + kExactCursors - 1, values.end(), std::greater<>());
    double variance = 0.0;
    for (size_t i = kExactCursors; i < values.size(); ++i) {
        d.fold_bound += 0.5 * values[i];
        variance += 0.25 * values[i] * values[i];
    }
    d.fold_sigma = std::sqrt(variance);
    d.folded = values.size() - kExactCursors;
    values.resize(kExactCursors);
}

// The smallest d with r + d x step >= value, and the largest with
// r + d x step <= value, as that expression evaluates.
long first_at_least(double r, double step, double value)
{
    long d = static_cast<long>(std::ceil((value - r) / step));
    while (r + static_cast<double>(d - 1) * step >= value)
        --d;
    while (r + static_cast<double>(d) * step < value)
        ++d;
    return d;
}

long last_at_most(double r, double step, double value)
{
    long d = static_cast<long>(std::floor((value - r) / step));
    while (r + static_cast<double>(d + 1) * step <= value)
        ++d;
    while (r + static_cast<double>(d) * step > value)
        --d;
    return d;
}

} // namespace

Cursors cursors_at(const std::vector<double> &pulse, const std::vector<std::vector<double>> &crosstalk,
                   int samples_per_bit, double x, double polarity)
{
    Cursors c;
    const double bit = samples_per_bit;
    c.main = polarity * sample_at(pulse, x);
    add_bit_values(pulse, x, bit, true, c.interfering);
    for (const std::vector<double> &aggressor : crosstalk)
        if (!aggressor.empty())
            add_bit_values(aggressor, x, bit, false, c.interfering);
    return c;
}

double highest_level(const Cursors &c)
{
    double level = 0.5 * std::fabs(c.main);
    for (double v : c.interfering)
        level += 0.5 * v;
    return level;
}

// Each exact value v falls between two steps of a grid `kFineSteps` times
// finer than `step`, and its share goes to both in proportion, so that the
// mean stays exact and nothing lands below the lowest level. Every split
// widens the distribution a little; on the fine grid the widening of all the
// values together stays far below that of one split on the coarse grid,
// where the result is then put in the same way, once.
constexpr size_t kFineSteps = 8;

LevelDistribution level_distribution(Cursors c, double step, std::vector<double> &fine)
{
    LevelDistribution d;
    std::vector<double> &values = c.interfering;
    fold_smallest(values, d);
    const double fine_step = step / kFineSteps;
    double half_sum = 0.0;
    for (double v : values)
        half_sum += 0.5 * v;
    d.lowest = 0.5 * c.main - half_sum;

    // Smallest values first, while the distribution is still short; all in
    // one buffer, each value's shifted half added from the top down.
    std::sort(values.begin(), values.end());
    size_t total = 1;
    for (double v : values)
        total += static_cast<size_t>(v / fine_step) + 1;
    fine.assign(total, 0.0);
    fine[0] = 1.0;
    size_t size = 1;
    for (double v : values) {
        const double s = v / fine_step;
        const size_t n = static_cast<size_t>(s);
        const double up = s - static_cast<double>(n);
        for (size_t i = size; i-- > 0;) {
            const double half = 0.5 * fine[i];
            fine[i] = half;
            fine[i + n] += half * (1.0 - up);
            fine[i + n + 1] += half * up;
        }
        size += n + 1;
    }

    d.mass.assign(size / kFineSteps + 2, 0.0);
    for (size_t k = 0; k < size; ++k) {
        const size_t coarse = k / kFineSteps;
        const double up = static_cast<double>(k % kFineSteps) / kFineSteps;
        d.mass[coarse] += fine[k] * (1.0 - up);
        d.mass[coarse + 1] += fine[k] * up;
    }
    while (d.mass.size() > 1 && d.mass.back() == 0.0)
        d.mass.pop_back();
    d.below.assign(d.mass.size() + 1, 0.0);
    for (size_t k = 0; k < d.mass.size(); ++k)
        d.below[k + 1] = d.below[k] + d.mass[k];
    return d;
}

double Decision::reach() const { return kTailReach * noise; }

Decision Decision::with(const LevelDistribution &d) const
{
    Decision widened = *this;
    widened.noise = std::hypot(noise, d.fold_sigma);
    return widened;
}

double Decision::fall(double distance) const
{
    if (noise > 0.0)
        return gaussian_tail(distance / noise);
    return distance < 0.0 ? 1.0 : distance == 0.0 ? 0.5 : 0.0;
}

double fall_below(const LevelDistribution &d, const Decision &decision, double u)
{
    const Decision dec = decision.with(d);
    const double r = d.lowest - u - dec.sensitivity; // distance of level k: r + k x step
    const long mass_size = static_cast<long>(d.mass.size());
    const long k_lo = first_at_least(r, dec.step, -dec.reach());
    const long k_hi = std::min(last_at_most(r, dec.step, dec.reach()), mass_size - 1);
    double sum = d.below[static_cast<size_t>(std::clamp(k_lo, 0L, mass_size))];
    for (long k = std::max(k_lo, 0L); k <= k_hi; ++k)
        sum += d.mass[static_cast<size_t>(k)] * dec.fall(r + static_cast<double>(k) * dec.step);
    return sum;
}

// The distances depend on k - j only, so the noise's tail is evaluated once
// per difference.
std::vector<double> fall_below_thresholds(const LevelDistribution &d, const Decision &decision, double range,
                                          size_t count)
{
    const Decision dec = decision.with(d);
    const double r = d.lowest + range - dec.sensitivity; // distance of level k at threshold j: r + (k - j) x step
    const long d_lo = first_at_least(r, dec.step, -dec.reach());
    const long d_hi = last_at_most(r, dec.step, dec.reach());
    std::vector<double> kernel;
    for (long diff = d_lo; diff <= d_hi; ++diff)
        kernel.push_back(dec.fall(r + static_cast<double>(diff) * dec.step));
    const long mass_size = static_cast<long>(d.mass.size());
    std::vector<double> out(count);
    for (size_t j = 0; j < count; ++j) {
        const long jl = static_cast<long>(j);
        const long k_lo = jl + d_lo;
        const long k_hi = std::min(jl + d_hi, mass_size - 1);
        double sum = d.below[static_cast<size_t>(std::clamp(k_lo, 0L, mass_size))];
        for (long k = std::max(k_lo, 0L); k <= k_hi; ++k)
            sum += d.mass[static_cast<size_t>(k)] * kernel[static_cast<size_t>(k - k_lo)];
        out[j] = sum;
    }
    return out;
}

} // namespace ami_host
