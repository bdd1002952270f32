// The received level of a "one" at one sampling phase: half the main cursor
// plus every other cursor (and every crosstalk value) times an independent,
// equally likely -1/2 or +1/2, as a distribution on a voltage grid, and the
// chance that noise carries it across a decision threshold.
#pragma once

#include <cstddef>
#include <vector>

namespace ami_host {

// What the bits contribute when bit 0 is sampled at fractional sample `x`
// of the pulse response.
struct Cursors {
    double main = 0.0;               // volts, of bit 0, with the polarity that makes the phase-0 cursor positive
    std::vector<double> interfering; // magnitudes of every other bit's and every aggressor bit's value
};

Cursors cursors_at(const std::vector<double> &pulse, const std::vector<std::vector<double>> &crosstalk,
                   int samples_per_bit, double x, double polarity);

// The largest level any pattern reaches.
double highest_level(const Cursors &c);

// At most this many interfering values enter the distribution one by one;
// the smaller rest is folded into one Gaussian of their exact variance. A
// sum of equally likely +-v/2 terms lies within +-(half their sum), and
// beyond that the Gaussian of a few hundred of them holds a negligible
// share: the folded values move no level by more than that bound.
constexpr size_t kExactCursors = 256;

// lowest + k x step with probability mass[k].
struct LevelDistribution {
    double lowest = 0.0;
    std::vector<double> mass;
    std::vector<double> below; // below[k]: the mass under k, summed from the smallest
    size_t folded = 0;         // interfering values folded
    double fold_bound = 0.0;   // volts: the most the folded values can move any level (half their sum)
    double fold_sigma = 0.0;   // volts: the deviation of their sum, which the decision adds to the noise
};

// Every interfering value v adds 0 or v with equal odds on top of the
// lowest level, which stays exact.
LevelDistribution level_distribution(Cursors c, double step, std::vector<double> &scratch);

// The decision's noise and margin: a level v is taken for a zero at
// threshold t with probability P(v + noise < t + sensitivity).
struct Decision {
    double noise = 0.0;
    double sensitivity = 0.0;
    double step = 0.0;

    double reach() const;
    // This decision with a distribution's folded values in its noise.
    Decision with(const LevelDistribution &d) const;
    // P(noise < -distance).
    double fall(double distance) const;
};

// P(level + noise < u + sensitivity).
double fall_below(const LevelDistribution &d, const Decision &dec, double u);

// The same at every threshold -range + j x step, j = 0 .. count - 1.
std::vector<double> fall_below_thresholds(const LevelDistribution &d, const Decision &dec, double range,
                                          size_t count);

} // namespace ami_host
