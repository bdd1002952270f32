// The bit-error-ratio analysis of a run: the statistical eye of the pulse
// response after the receiver's AMI_Init, with the link's jitter and noise,
// for the report, the summary and the pictures.
#pragma once

#include "model/impairments.h"
#include "statistical/ber_eye.h"
#include "statistical/init_flow.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <iosfwd>

namespace ami_host {

struct BerAnalysis {
    Impairments impairments;
    StatEyeResult eye;
    double seconds = 0.0; // wall time of the analysis
};

// The eye of `after_rx` (the statistical flow's last stage), with the
// crosstalk of `aggressors` (their impulse responses after the Rx), its
// phase 0 where the host's ideal clock samples; `progress`, if set, is told
// the fraction done.
BerAnalysis analyse_ber(const StageResponse &after_rx, const std::vector<std::vector<double>> &aggressors,
                        const Impairments &impairments, double bit_time, double sample_interval, int samples_per_bit,
                        double target_ber, const std::function<void(double)> &progress = {});

// Adds "statistical_eye" and "impairments" to the report, and the
// analysis's time to its "timing".
void add_ber_json(nlohmann::ordered_json &report, const BerAnalysis &analysis, double bit_time);

// The summary's lines: the impairments applied, eye height and width at the
// target ratio and the ratio at the sampling point.
void print_ber(const BerAnalysis &analysis, double bit_time, std::ostream &out);

} // namespace ami_host
