// From a transfer function measured at a set of frequencies to the impulse
// response sampled at the simulation's sample interval, with a record of
// what had to be assumed and what looks wrong in the data.
#pragma once

#include "channel/network_paths.h"

#include <complex>
#include <cstddef>
#include <string>
#include <vector>

namespace ami_host {

// How the transfer at 0 Hz is found when the data start above it.
enum class DcMethod {
    Extrapolate, // magnitude and unwrapped phase continued linearly from the two lowest points
    HoldLowest,  // the lowest point's magnitude
    Given,       // ImpulseOptions::dc_value
};

struct ImpulseOptions {
    double sample_interval = 0.0; // seconds
    size_t length = 0;            // samples of the response to compute (and keep, unless trim_tail)
    DcMethod dc_method = DcMethod::Extrapolate;
    double dc_value = 0.0;        // the transfer at 0 Hz, a real number, for DcMethod::Given
    // Whether the path should show one main delay ahead of which nothing
    // arrives (a through channel; not crosstalk, whose phase says little of
    // when it arrives, so that it is judged against time 0 alone).
    bool check_precursor = true;
    // Whether to keep only as much of the `length` samples as the response
    // needs (until its energy and its step have settled).
    bool trim_tail = false;
};

struct ImpulseResponse {
    std::vector<double> impulse;           // V/s, sample n at time n x sample_interval
    double dc_gain = 0.0;                  // the transfer at 0 Hz; the impulse's area
    double main_delay = 0.0;               // seconds: the phase's mean slope, or the peak's time if well before it
    double noncausal_fraction = 0.0;       // energy before the main delay (or time 0), over the total
    std::vector<std::string> assumptions;  // how the data were completed
    std::vector<std::string> warnings;     // what looks wrong with the data
};

// The response is built on a uniform frequency grid from 0 Hz to the
// Nyquist frequency of the sample interval: the data interpolated linearly
// in magnitude and unwrapped phase; below the lowest point, towards the
// transfer at 0 Hz (see DcMethod); above the highest point f, the magnitude
// rolled off to zero at 1.5 f with a raised cosine while the phase keeps
// its slope, so that the response does not depend on the sample rate once
// its Nyquist frequency is above 1.5 f. The inverse FFT covers at least
// twice `length`; what falls before time 0 or after `length` is dropped
// (the causality enforcement), the tail trimmed if asked, and the area
// restored to the transfer at 0 Hz. Throws Error for fewer than two
// frequencies or options out of range.
ImpulseResponse impulse_response(const FrequencyResponse &path, const ImpulseOptions &options);

// The other way: the transfer function of a sampled impulse response (V/s,
// sample n at time n x sample_interval + delay) at the given frequencies,
// to write a channel known in the time domain as S-parameters.
std::vector<std::complex<double>> sampled_transfer(const std::vector<double> &impulse, double sample_interval,
                                                   const std::vector<double> &frequencies, double delay = 0.0);

// The `size` real samples whose size / 2 + 1 bins are `spectrum`, divided by
// `size` (the discrete inverse transform).
std::vector<double> inverse_fft(const std::vector<std::complex<double>> &spectrum, size_t size);

} // namespace ami_host
