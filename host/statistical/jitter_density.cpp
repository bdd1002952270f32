// Jitter densities: points convolved component by component, kept to a
// bounded number, and their tails.
#include "statistical/jitter_density.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ami_host {

namespace {

// Sorts the points, merges equal offsets, and puts a density that has grown
// past kMaxPoints onto an even grid of kGridPoints, each point's weight split
// between its two grid neighbours so that the mean stays where it was.
void tidy(JitterDensity &d)
{
    constexpr size_t kMaxPoints = 4096;
    constexpr size_t kGridPoints = 2048;
    std::vector<size_t> order(d.offsets.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return d.offsets[a] < d.offsets[b]; });
    std::vector<double> offsets, weights;
    for (size_t i : order) {
        if (!offsets.empty() && offsets.back() == d.offsets[i]) {
            weights.back() += d.weights[i];
        } else {
            offsets.push_back(d.offsets[i]);
            weights.push_back(d.weights[i]);
        }
    }
    if (offsets.size() > kMaxPoints) {
        const double low = offsets.front();
        const double step = (offsets.back() - low) / static_cast<double>(kGridPoints - 1);
        std::vector<double> grid(kGridPoints, 0.0);
        for (size_t i = 0; i < offsets.size(); ++i) {
            const double at = (offsets[i] - low) / step;
            const size_t below = std::min(static_cast<size_t>(at), kGridPoints - 2);
            const double above_share = at - static_cast<double>(below);
            grid[below] += weights[i] * (1.0 - above_share);
            grid[below + 1] += weights[i] * above_share;
        }
        offsets.clear();
        weights.clear();
        for (size_t i = 0; i < kGridPoints; ++i) {
            if (grid[i] > 0.0) {
                offsets.push_back(low + step * static_cast<double>(i));
                weights.push_back(grid[i]);
            }
        }
    }
    d.offsets = std::move(offsets);
    d.weights = std::move(weights);
}

// Convolves the points with equally likely displacements `shifts`.
void spread(JitterDensity &d, const std::vector<double> &shifts)
{
    JitterDensity out;
    out.sigma = d.sigma;
    out.offsets.clear();
    out.weights.clear();
    const double share = 1.0 / static_cast<double>(shifts.size());
    for (size_t i = 0; i < d.offsets.size(); ++i) {
        for (double s : shifts) {
            out.offsets.push_back(d.offsets[i] + s);
            out.weights.push_back(d.weights[i] * share);
        }
    }
    tidy(out);
    d = std::move(out);
}

} // namespace

void add_dual_dirac(JitterDensity &density, double amplitude)
{
    if (amplitude != 0.0)
        spread(density, {-amplitude, amplitude});
}

void add_sinusoid(JitterDensity &density, double amplitude)
{
    if (amplitude == 0.0)
        return;
    // The quantiles of amplitude x sin(phase), phase uniform.
    std::vector<double> shifts(kSinusoidPoints);
    for (int m = 0; m < kSinusoidPoints; ++m)
        shifts[static_cast<size_t>(m)] =
            amplitude * std::sin(std::numbers::pi * ((m + 0.5) / kSinusoidPoints - 0.5));
    spread(density, shifts);
}

void add_gaussian(JitterDensity &density, double sigma) { density.sigma = std::hypot(density.sigma, sigma); }

JitterDensity sampling_jitter(const Impairments &im, double bit_time)
{
    JitterDensity d;
    for (const TimeAmount *dj : {&im.tx_dj, &im.tx_dcd, &im.rx_dj, &im.rx_dcd, &im.rx_clock_recovery_dj,
                                 &im.rx_clock_recovery_dcd})
        add_dual_dirac(d, dj->ui(bit_time));
    // At a frequency or with a phase drawn afresh for every edge, a
    // sinusoid's displacement has the same arcsine density.
    add_sinusoid(d, im.tx_sj.ui(bit_time));
    add_sinusoid(d, im.rx_sj.ui(bit_time));
    add_sinusoid(d, im.rx_clock_recovery_sj.ui(bit_time));
    for (const TimeAmount *rj : {&im.tx_rj, &im.rx_rj, &im.rx_clock_recovery_rj})
        add_gaussian(d, rj->ui(bit_time));
    return d;
}

double gaussian_tail(double x) { return 0.5 * std::erfc(x / std::numbers::sqrt2); }

namespace {

// P(direction x (displacement - x) > 0).
double tail_beyond(const JitterDensity &density, double x, double direction)
{
    double sum = 0.0;
    for (size_t i = 0; i < density.offsets.size(); ++i) {
        const double distance = direction * (density.offsets[i] - x);
        double beyond = 0.0;
        if (density.sigma > 0.0)
            beyond = gaussian_tail(-distance / density.sigma);
        else
            beyond = distance > 0.0 ? 1.0 : distance == 0.0 ? 0.5 : 0.0;
        sum += density.weights[i] * beyond;
    }
    return sum;
}

} // namespace

double jitter_above(const JitterDensity &density, double x) { return tail_beyond(density, x, 1.0); }

double jitter_below(const JitterDensity &density, double x) { return tail_beyond(density, x, -1.0); }

} // namespace ami_host
