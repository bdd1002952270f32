// The statistical eye: the bit-error ratio as a function of sampling phase
// and decision threshold, from a pulse response and the link's jitter and
// noise, down to ratios no time-domain run can count.
#pragma once

#include "statistical/jitter_density.h"

#include <functional>
#include <vector>

namespace ami_host {

struct StatEyeInput {
    // The response to one bit of amplitude 1 V (data levels -0.5 and +0.5 V),
    // and those of crosstalk aggressors (independent data, same bit clock and
    // sampling), all `sample_interval` apart.
    std::vector<double> pulse;
    std::vector<std::vector<double>> crosstalk;
    int samples_per_bit = 0;
    double sample_interval = 0.0;

    JitterDensity jitter;        // UI, of the sampling instant relative to the data
    double noise = 0.0;          // volts, Gaussian standard deviation at the decision point
    double sensitivity = 0.0;    // volts: a sample this close to the threshold is an error
    double sampling_offset = 0.0; // UI: where the recovered clock samples, relative to phase 0
    // The pulse response's fractional sample at phase 0; negative: its main
    // cursor. A host that samples elsewhere (the middle of the worst-case
    // eye) centres the grid there, so that the whole eye lies on it.
    double phase_origin = -1.0;

    double target_ber = 1e-12;
    int phases_per_ui = 64;   // even
    int voltage_bins = 4096;  // thresholds are voltage_bins + 1 levels
    std::vector<double> contour_bers{1e-3, 1e-6, 1e-9, 1e-12, 1e-15};
    // Told the fraction done as the phases are worked through, if set.
    std::function<void(double)> progress;
};

// Takes the jitter, noise, sensitivity and clock offset of `impairments`.
void apply_impairments(StatEyeInput &input, const Impairments &impairments, double bit_time);

// The inner eye at one ratio: for every phase the highest and lowest
// thresholds around 0 at which the ratio stays at or below it; NaN where the
// eye is closed at that phase.
struct EyeContour {
    double ber = 0.0;
    std::vector<double> upper, lower; // volts
};

struct StatEyeResult {
    double bit_time = 0.0;
    double cursor_time = 0.0;  // seconds: phase 0 in the pulse response (the main cursor unless placed)
    double main_cursor = 0.0;  // volts, signed
    std::vector<double> phase;     // UI from phase 0, -0.5 .. 0.5, phases_per_ui + 1 of them
    std::vector<double> threshold; // volts, symmetric about 0, voltage_bins + 1 of them
    std::vector<double> ber;       // phase-major: ber[p * threshold.size() + t]

    double target_ber = 0.0;
    bool open = false;       // whether the eye is open at the target ratio at phase 0, threshold 0
    double eye_height = 0.0; // volts at phase 0 (0 when closed)
    double eye_left = 0.0;   // UI from phase 0 where the ratio at threshold 0 reaches the target
    double eye_right = 0.0;  //   (the grid's ends when it never does)
    double eye_width = 0.0;  // UI, right - left (0 when closed)

    std::vector<EyeContour> contours;
    std::vector<double> horizontal_bathtub; // BER at threshold 0, one per phase
    std::vector<double> vertical_bathtub;   // BER at phase 0, one per threshold

    double sampling_phase = 0.0;      // UI: the recovered clock's phase
    double ber_at_sampling_point = 0.0; // at that phase, threshold 0

    // The smallest interfering values of a phase beyond the largest
    // kExactCursors enter as one Gaussian of their variance, cut at their
    // worst-case sum: the most at any phase, and that sum, which bounds how
    // far they can move any level (the eye height by twice it).
    size_t folded_cursors = 0;
    double fold_bound = 0.0; // volts
};

// Analyses the eye. Throws Error for an empty pulse response or an unusable
// grid.
StatEyeResult analyse_stat_eye(const StatEyeInput &input);

// The ratio at (phase index, threshold index) of a result.
inline double ber_at(const StatEyeResult &r, size_t phase, size_t threshold)
{
    return r.ber[phase * r.threshold.size() + threshold];
}

} // namespace ami_host
