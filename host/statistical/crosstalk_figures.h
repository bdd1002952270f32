// The aggressors' peak distortion at the victim's sampling instant: what
// crosstalk takes from the statistical flow's worst-case eye.
#pragma once

#include "statistical/init_flow.h"

#include <vector>

namespace ami_host {

struct CrosstalkFigures {
    std::vector<double> peak_distortion; // per aggressor, volts: the most its pulse adds at the victim's cursor phase
    double total = 0.0;                  // their sum
    double eye_without = 0.0;            // the victim's worst-case eye height
    double eye_with = 0.0;               // that less the total (data of -0.5/+0.5 V)
    double eye_width_with = 0.0;         // seconds over which the worst-case opening with crosstalk stays positive
};

// The aggressors' contributions after the last model of the statistical flow.
CrosstalkFigures crosstalk_figures(const StatisticalResult &result, int samples_per_bit, double sample_interval);

} // namespace ami_host
