// Eye and signal metrics: the pulse response and its worst-case eye
// (statistical flow), and the eye, clock and bit errors of a waveform
// sampled on a recovered clock (time-domain flow).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ami_host {

// The response to one bit of amplitude 1 (S samples wide): pulse[i] = dt x
// (impulse[i] + impulse[i - 1] + ... + impulse[i - S + 1]), impulse in V/s.
std::vector<double> pulse_response(const std::vector<double> &impulse, int samples_per_bit, double sample_interval);

// Figures of a pulse response for data of levels -0.5 and +0.5 V.
struct PulseMetrics {
    size_t cursor_index = 0;  // sample of the largest magnitude (the main cursor)
    double cursor_time = 0.0; // seconds
    double main_cursor = 0.0; // volts, signed
    double isi = 0.0;         // sum of the magnitudes at whole bit times before and after the cursor
    double eye_height = 0.0;  // |main cursor| - isi: the worst-case eye opening (negative: closed)
    double peak = 0.0;        // |main cursor| + isi: the largest amplitude any pattern reaches
    double eye_width = 0.0;   // seconds around the cursor over which the worst-case opening stays positive
};

PulseMetrics analyse_pulse(const std::vector<double> &pulse, int samples_per_bit, double sample_interval);

// The worst-case opening (as eye_height above) when every bit is sampled at
// `position` samples after its start (fractions interpolate linearly);
// `sign` is the sign of the main cursor.
double opening_at(const std::vector<double> &pulse, double position, int samples_per_bit, double sign);

// Clock times (edge times, seconds) of an ideal clock whose sampling instants,
// half a bit after each, fall `cursor_index` samples after each bit's start.
std::vector<double> ideal_clock_times(size_t samples, int samples_per_bit, double sample_interval,
                                      size_t cursor_index);

struct WaveformInputs {
    const std::vector<double> *wave = nullptr;        // receiver output, one sample per sample interval
    const std::vector<double> *clock_times = nullptr; // edge times in seconds; data sampled half a bit later
    const std::vector<uint8_t> *bits = nullptr;       // the bits sent
    double sample_interval = 0.0;
    int samples_per_bit = 0;
    long ignore_bits = 0;           // bits at the start left out of the statistics
    double settle_tolerance = 0.125; // UI: the clock has settled once its phase stays this close to its final phase
    long max_latency = 0;           // bits: the latency search runs from 0 to this
    bool clock_from_model = true;   // false: the ideal clock, settled from the start
    // Optional: the statistical pulse response (volts for a 1 V bit starting
    // at sample 0) to superpose over the bits sent, for the eye a linear
    // receiver with that response would show at the same sampling instants.
    const std::vector<double> *pulse = nullptr;
};

struct WaveformResult {
    // Recovered clock.
    size_t clocks = 0;             // clock times whose sampling window lies inside the waveform
    bool settled = false;
    size_t settle_clock = 0;       // first clock of the settled run
    double settle_time = 0.0;      // seconds: the settle clock's sampling instant (0 for the ideal clock)
    double final_phase = 0.0;      // UI: sampling phase relative to the bit grid, median of the last quarter
    double phase_spread = 0.0;     // UI: peak-to-peak phase after settling (of the whole run if it never does)
    std::vector<double> clock_time; // seconds, one per clock (sampling instant)
    std::vector<double> phase;      // UI, unwrapped, one per clock

    // Data.
    bool latency_found = false;
    long latency = 0;              // bits from sent to received
    double latency_match = 0.0;    // fraction of decisions that agree at that latency
    long bits_counted = 0;         // decisions compared with the sent bits
    long bit_errors = 0;
    long clock_slips = 0;          // counted clocks not one bit after the previous one
    double first_counted_time = 0.0;

    // Eye at the recovered clock, over the counted bits.
    bool eye_valid = false;        // both ones and zeros were counted
    double eye_height = 0.0;       // volts at the sampling instant (lowest one - highest zero)
    double eye_width = 0.0;        // UI over which the eye stays open
    double eye_left = 0.0;         // UI from the sampling instant, where the eye closes on the left
    double eye_right = 0.0;        // and on the right
    // The same eye height from the superposed statistical pulse response
    // (when given): equal to eye_height for linear models.
    bool linear_eye_valid = false;
    double linear_eye_height = 0.0;
    std::vector<double> offset;    // UI, -0.5 .. 0.5, the phases of the inner eye
    std::vector<double> lowest_one;
    std::vector<double> highest_zero;

    // Density of the folded eye over two bits (-1 .. 1 UI around the sampling instant).
    int density_times = 0;
    int density_levels = 0;
    double density_low = 0.0, density_high = 0.0; // volts
    std::vector<uint32_t> density;                 // density_levels rows of density_times counts
};

WaveformResult analyse_waveform(const WaveformInputs &in);

} // namespace ami_host
