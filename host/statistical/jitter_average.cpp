// Jitter averages: Dirac points read off the profile, Gaussians integrated
// piece by piece in logarithms, so that tails far below 1e-300 of either
// factor still combine correctly.
#include "statistical/jitter_average.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ami_host {

namespace {

// Ratios below this are taken as this one where logarithms are interpolated.
constexpr double kLeastRatio = 1e-300;
// Gaussian deviations beyond which a piece of the profile is left out:
// Q(14) is about 8e-45, below the report's floor.
constexpr double kGaussianReach = 14.0;

double log_ratio(double ber) { return std::log(std::max(ber, kLeastRatio)); }

// log Q(x), also where Q underflows.
double log_gaussian_tail(double x)
{
    if (x < 30.0)
        return std::log(gaussian_tail(x));
    const double x2 = x * x;
    return -0.5 * x2 - std::log(x) - 0.5 * std::log(2.0 * std::numbers::pi) + std::log1p(-1.0 / x2 + 3.0 / (x2 * x2));
}

// log P(p < N(0, 1) < q), p <= q.
double log_gaussian_between(double p, double q)
{
    if (p >= 0.0 || q <= 0.0) {
        // Both in one tail: the nearer tail less the further one.
        const double near = p >= 0.0 ? log_gaussian_tail(p) : log_gaussian_tail(-q);
        const double far = p >= 0.0 ? log_gaussian_tail(q) : log_gaussian_tail(-p);
        return near + std::log1p(-std::exp(far - near));
    }
    return std::log(1.0 - gaussian_tail(q) - gaussian_tail(-p));
}

// The integral over [a, b] of N(y; x, sigma) exp(la + slope (y - a)).
double exponential_piece(double a, double b, double la, double slope, double x, double sigma)
{
    const double c = slope * sigma;
    const double za = (a - x) / sigma, zb = (b - x) / sigma;
    return std::exp(la + slope * (x - a) + 0.5 * c * c + log_gaussian_between(za - c, zb - c));
}

// E[profile(y)] for y ~ N(x, sigma).
double gaussian_average(const PhaseProfile &p, double x, double sigma)
{
    const std::vector<double> &ph = p.phase;
    // Beyond the profile a decision is a guess.
    double sum = 0.5 * (gaussian_tail((x - ph.front()) / sigma) + gaussian_tail((ph.back() - x) / sigma));
    const double lo = x - kGaussianReach * sigma, hi = x + kGaussianReach * sigma;
    size_t i = static_cast<size_t>(std::upper_bound(ph.begin(), ph.end(), lo) - ph.begin());
    i = i > 0 ? i - 1 : 0;
    for (; i + 1 < ph.size() && ph[i] < hi; ++i) {
        if (p.ber[i] == 0.0 && p.ber[i + 1] == 0.0)
            continue;
        const double la = log_ratio(p.ber[i]), lb = log_ratio(p.ber[i + 1]);
        sum += exponential_piece(ph[i], ph[i + 1], la, (lb - la) / (ph[i + 1] - ph[i]), x, sigma);
    }
    return sum;
}

} // namespace

double profile_at(const PhaseProfile &p, double x)
{
    const std::vector<double> &ph = p.phase;
    if (!(x >= ph.front() && x <= ph.back()))
        return 0.5;
    const size_t i = static_cast<size_t>(std::upper_bound(ph.begin(), ph.end(), x) - ph.begin());
    if (i >= ph.size())
        return p.ber.back();
    const double b0 = p.ber[i - 1], b1 = p.ber[i];
    if (b0 == 0.0 && b1 == 0.0)
        return 0.0;
    const double f = (x - ph[i - 1]) / (ph[i] - ph[i - 1]);
    return std::exp(log_ratio(b0) + f * (log_ratio(b1) - log_ratio(b0)));
}

namespace {

// Points beyond which the Gaussian's average is read off a grid.
constexpr size_t kDirectPoints = 16;
constexpr double kSmoothingSteps = 16.0; // grid steps per deviation

PhaseProfile gaussian_smoothed(const PhaseProfile &p, double sigma)
{
    PhaseProfile out;
    const double step = sigma / kSmoothingSteps;
    const double first = p.phase.front(), last = p.phase.back();
    const long count = static_cast<long>(std::ceil((last - first) / step));
    for (long i = 0; i <= count; ++i) {
        const double x = std::min(first + static_cast<double>(i) * step, last);
        out.phase.push_back(x);
        out.ber.push_back(gaussian_average(p, x, sigma));
    }
    return out;
}

} // namespace

JitterAverage::JitterAverage(PhaseProfile profile, const JitterDensity &jitter)
    : profile_(std::move(profile)), jitter_(jitter)
{
    if (jitter.sigma > 0.0 && jitter.offsets.size() > kDirectPoints && profile_.phase.size() > 1) {
        profile_ = gaussian_smoothed(profile_, jitter.sigma);
        smoothed_ = true;
    }
}

double JitterAverage::operator()(double x) const
{
    const bool gaussian = jitter_.sigma > 0.0 && !smoothed_;
    double sum = 0.0;
    for (size_t k = 0; k < jitter_.offsets.size(); ++k) {
        const double at = x + jitter_.offsets[k];
        sum += jitter_.weights[k] * (gaussian ? gaussian_average(profile_, at, jitter_.sigma) : profile_at(profile_, at));
    }
    return sum;
}

double jitter_reach(const JitterDensity &jitter, double step, double cap, double negligible)
{
    double reach = 0.0;
    while (reach < cap && jitter_below(jitter, -reach) + jitter_above(jitter, reach) >= negligible)
        reach += step;
    return reach;
}

namespace {

// The weights of a Gaussian on a grid of `step` against linear
// interpolation (hat functions): step-normalised second differences of
// G(z) = z Phi(z) + phi(z), written through G(-z) = phi(z) - z Q(z) so that
// the tails keep their digits.
std::vector<double> gaussian_hats(double sigma, double step, long &half)
{
    auto g_minus = [](double z) { return std::exp(-0.5 * z * z) / std::sqrt(2.0 * std::numbers::pi) - z * gaussian_tail(z); };
    half = static_cast<long>(std::ceil(kGaussianReach * sigma / step)) + 1;
    std::vector<double> w(static_cast<size_t>(2 * half + 1));
    const double r = step / sigma;
    const double centre = (2.0 * g_minus(r) + r - 2.0 * g_minus(0.0)) / r;
    w[static_cast<size_t>(half)] = centre;
    for (long m = 1; m <= half; ++m) {
        const double z = static_cast<double>(m) * r;
        const double v = std::max((g_minus(z + r) - 2.0 * g_minus(z) + g_minus(z - r)) / r, 0.0);
        w[static_cast<size_t>(half + m)] = v;
        w[static_cast<size_t>(half - m)] = v;
    }
    return w;
}

} // namespace

JitterKernel jitter_kernel(const JitterDensity &jitter, double step, double reach)
{
    const long r = static_cast<long>(std::ceil(reach / step));
    JitterKernel k;
    k.first = -r;
    std::vector<double> points(static_cast<size_t>(2 * r + 1), 0.0);
    auto add = [&](long at, double w) {
        if (at < -r || at > r)
            k.outside += w;
        else
            points[static_cast<size_t>(at + r)] += w;
    };
    for (size_t i = 0; i < jitter.offsets.size(); ++i) {
        const double s = jitter.offsets[i] / step;
        const double below = std::floor(s);
        const double up = s - below;
        add(static_cast<long>(below), jitter.weights[i] * (1.0 - up));
        add(static_cast<long>(below) + 1, jitter.weights[i] * up);
    }
    if (!(jitter.sigma > 0.0)) {
        k.weight = std::move(points);
        return k;
    }
    long half = 0;
    const std::vector<double> hats = gaussian_hats(jitter.sigma, step, half);
    k.weight.assign(points.size(), 0.0);
    for (long i = -r; i <= r; ++i) {
        const double p = points[static_cast<size_t>(i + r)];
        if (p == 0.0)
            continue;
        for (long m = -half; m <= half; ++m) {
            const double w = p * hats[static_cast<size_t>(m + half)];
            if (i + m < -r || i + m > r)
                k.outside += w;
            else
                k.weight[static_cast<size_t>(i + m + r)] += w;
        }
    }
    return k;
}

} // namespace ami_host
