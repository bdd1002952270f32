// Averaging a bit-error ratio known at a set of sampling phases over the
// sampling instant's jitter, at the jitter's exact offsets rather than on a
// phase grid.
#pragma once

#include "statistical/jitter_density.h"

#include <vector>

namespace ami_host {

// Ratios at increasing phases (UI). Between two phases the ratio is read as
// the exponential through both (linear in its logarithm), which follows a
// Gaussian tail closely; outside them it is 1/2, a decision as good as a
// guess.
struct PhaseProfile {
    std::vector<double> phase;
    std::vector<double> ber;
};

double profile_at(const PhaseProfile &profile, double x);

// E[profile(x + displacement)] over the density: each of its points at its
// exact offset, and its Gaussian integrated in closed form against every
// exponential piece of the profile. A density of many points (a sinusoid)
// reads the Gaussian's average off a grid of a sixteenth of its deviation
// instead, where that average is smooth.
class JitterAverage {
public:
    JitterAverage(PhaseProfile profile, const JitterDensity &jitter);
    double operator()(double x) const;

private:
    PhaseProfile profile_;
    const JitterDensity &jitter_;
    bool smoothed_ = false; // profile_ holds the Gaussian's average
};

// The displacement beyond which the density holds less than `negligible`,
// in whole multiples of `step`, at most `cap`.
double jitter_reach(const JitterDensity &jitter, double step, double cap, double negligible);

// The density as weights on a grid of `step`: weight[i] belongs to
// displacement (first + i) x step, within +-reach; `outside` is the
// probability beyond. Each point is split between its two neighbours (its
// mean stays exact) and the Gaussian is integrated against the grid's linear
// interpolation, so the weights are exact for a ratio that is linear
// between grid steps.
struct JitterKernel {
    long first = 0;
    std::vector<double> weight;
    double outside = 0.0;
};

JitterKernel jitter_kernel(const JitterDensity &jitter, double step, double reach);

} // namespace ami_host
