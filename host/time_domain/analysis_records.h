// What the time-domain analysis takes and gives: its settings, the
// receiver's impairments at its decisions, and the clock, bit-error and eye
// results.
#pragma once

#include "time_domain/clock_tracker.h"
#include "time_domain/edge_jitter.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ami_host {

// What the receiver adds at its decisions: its sampling instants move about
// the clock, noise joins the sample, and a sample within `sensitivity` of the
// threshold is not resolved (an error). All zero: decisions on the waveform
// as it is.
struct DecisionImpairments {
    EdgeJitter recovered_clock_jitter; // about the model's clock times
    EdgeJitter ideal_clock_jitter;     // about the host's ideal clock
    double noise = 0.0;                // volts, Gaussian standard deviation
    double sensitivity = 0.0;          // volts
    uint64_t noise_seed = 0;
};

struct AnalysisSettings {
    double sample_interval = 0.0;
    int samples_per_bit = 0;
    long long bits = 0;              // bits sent in all
    long ignore_bits = 0;            // bits at the start left out of the statistics
    double settle_tolerance = 0.125; // UI: the band the settled clock's phase stays in
    long max_latency = 0;            // bits: the latency search runs from 0 to this
    // The ideal clock: the analysis places a sampling instant this many
    // samples after each bit's start itself, instead of taking clock times.
    bool ideal_clock = false;
    double ideal_position = 0.0;
    // A linear reference waveform comes with the output: the statistical
    // response superposed over the bits sent, for the eye a linear receiver
    // with that response would show at the same sampling instants.
    bool reference = false;
    DecisionImpairments decision;
};

struct DataResult {
    bool latency_found = false;
    long latency = 0;            // bits from sent to received
    double latency_match = 0.0;  // fraction of the judged decisions that agree at that latency
    long long bits_counted = 0;  // decisions compared with the sent bits
    long long bit_errors = 0;
    long long clock_slips = 0;   // counted clocks not one bit after the previous one
    double first_counted_time = 0.0;
};

// The eye at the clock over the counted bits, about the 0 V decision threshold.
struct EyeResult {
    bool valid = false;       // both ones and zeros were counted
    double top = 0.0;         // volts at the sampling instant: the lowest one
    double bottom = 0.0;      // and the highest zero
    double height = 0.0;      // top - bottom (negative: the levels overlap)
    bool open = false;        // the threshold lies inside the opening: bottom < 0 < top
    double width = 0.0;       // UI over which the threshold stays inside the opening
    double left = 0.0, right = 0.0; // UI from the sampling instant, where it leaves it
    bool linear_valid = false;
    double linear_height = 0.0; // the same height of the linear reference waveform
    std::vector<double> offset; // UI, -0.5 .. 0.5, the phases of the inner eye
    std::vector<double> lowest_one, highest_zero;
};

// Density of the folded eye over two bits: column j at j/64 - 1 UI from the
// sampling instant, row i from low + i x (high - low) / levels. The level
// range is fixed from the first judged bits; samples outside it land in the
// edge rows (counted in `clipped`).
struct DensityResult {
    int times = 0, levels = 0;
    double low = 0.0, high = 0.0; // volts
    std::vector<uint32_t> counts; // levels rows of times counts
    long long clipped = 0;
};

struct WaveformResult {
    ClockResult clock;
    DataResult data;
    EyeResult eye;
    DensityResult density;
};

} // namespace ami_host
