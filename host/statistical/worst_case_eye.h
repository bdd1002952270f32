// The pulse response and its worst-case eye (statistical flow).
#pragma once

#include <cstddef>
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
    // Where an ideal clock samples, in samples from the start: the middle of
    // the worst-case eye when it is open, else the middle of the main lobe
    // (where the pulse stays above half the main cursor).
    double sampling_position = 0.0;
};

PulseMetrics analyse_pulse(const std::vector<double> &pulse, int samples_per_bit, double sample_interval);

// The worst-case opening (as eye_height above) when every bit is sampled at
// `position` samples after its start (fractions interpolate linearly);
// `sign` is the sign of the main cursor.
double opening_at(const std::vector<double> &pulse, double position, int samples_per_bit, double sign);

// Where an opening closes either side of `center` (an index into `height`,
// the opening at evenly spaced phases), as offsets in grid steps; the edges
// of the grid where it stays open.
void eye_edges(const std::vector<double> &height, size_t center, double &left, double &right);

} // namespace ami_host
