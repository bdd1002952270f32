// The density over sampling phase that the statistical eye convolves with:
// the link's jitter as weighted points widened by a Gaussian.
#pragma once

#include "model/impairments.h"

#include <vector>

namespace ami_host {

// A probability density of the sampling instant's displacement relative to
// the data, in unit intervals: a Gaussian of deviation `sigma` around each of
// a set of weighted points (the dual-Dirac, duty-cycle and sinusoidal parts).
struct JitterDensity {
    double sigma = 0.0;
    std::vector<double> offsets{0.0};
    std::vector<double> weights{1.0};
};

// Sinusoidal jitter enters as this many equally likely points, the quantiles
// of its arcsine density.
constexpr int kSinusoidPoints = 256;

// Adds a component to a density, by convolution.
void add_dual_dirac(JitterDensity &density, double amplitude);
void add_sinusoid(JitterDensity &density, double amplitude);
void add_gaussian(JitterDensity &density, double sigma);

// All the jitter of `impairments` (transmitter, receiver and recovered
// clock, the offset excepted) as one density in unit intervals.
JitterDensity sampling_jitter(const Impairments &impairments, double bit_time);

// P(displacement < x) and P(displacement > x), each accurate in relative
// terms far into its tail. A point exactly at x counts half when sigma is 0.
double jitter_below(const JitterDensity &density, double x);
double jitter_above(const JitterDensity &density, double x);

// The Gaussian tail P(N(0, 1) > x).
double gaussian_tail(double x);

} // namespace ami_host
