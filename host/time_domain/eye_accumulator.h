// The eye and the density of the counted bits: each one's waveform over two
// bits about its sampling instant, folded in as it is counted.
#pragma once

#include "time_domain/clock_decision.h"
#include "time_domain/sample_windows.h"
#include "time_domain/analysis_records.h"

#include <limits>
#include <vector>

namespace ami_host {

class EyeAccumulator {
public:
    // `bit_time` = samples_per_bit x sample_interval; `reference`: a linear
    // reference waveform comes with the output.
    EyeAccumulator(int samples_per_bit, double sample_interval, double bit_time, bool reference);

    // Fixes the density's levels: the range the judged bits' waveform spans,
    // with a margin.
    void set_density_range(const std::vector<ClockDecision> &judged, const SampleWindow &wave);
    // The bit sampled at `t` (seconds), a one or a zero.
    void add(double t, bool one, const SampleWindow &wave, const SampleWindow &reference);
    // The run has ended: the eye's height and width from what was added.
    void close();

    const EyeResult &eye() const { return eye_; }
    const DensityResult &density() const { return density_; }

private:
    void add_linear(double t, bool one, const SampleWindow &reference);

    int samples_per_bit_;
    double dt_, ui_;
    bool reference_;
    EyeResult eye_;
    DensityResult density_;
    bool ones_ = false, zeros_ = false;
    double linear_one_ = std::numeric_limits<double>::infinity();
    double linear_zero_ = -std::numeric_limits<double>::infinity();
    double density_scale_ = 0.0; // density rows per volt
    std::vector<double> traces_; // the waveform at every density column of the bit being added
};

} // namespace ami_host
