// What a link run is asked to do, as parsed values: the models and their
// parameter settings, the signal, the channel, the impairments and the
// analysis. The command line builds it; a single run and every point of a
// sweep run from it alike.
#pragma once

#include "base/progress.h"
#include "channel/link_channels.h"
#include "ibis/ibis_link.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace ami_host {

// The model on one side of the link.
struct ModelChoice {
    std::string library;                // empty: no model on this side
    std::string ami;                    // its .ami file
    std::vector<std::string> overrides; // NAME=VALUE over the .ami's defaults, branch members as branch.name

    bool present() const { return !library.empty(); }
};

// Jitter and noise set over what the models' .ami files declare, and what
// the bit-error-ratio analysis and the time-domain draws take.
struct ImpairmentSettings {
    std::vector<std::pair<std::string, std::string>> set; // by their .ami names, in the order given
    double target_ber = 1e-12;
    uint64_t seed = 1; // of every random draw of the time-domain flow
};

struct RunSettings {
    ModelChoice tx, rx;
    IbisChoice ibis; // the models and the channel's analog ends from an IBIS file

    double bit_rate = 10e9;  // bits per second
    int samples_per_bit = 32;
    int prbs = 15;           // order of the time-domain stimulus
    long bits = 40000;       // of the time-domain run
    long block_size = 1000;  // samples per AMI_GetWave call
    long fft_size = 0;       // samples per FFT segment of the channel convolution; 0: from the channel's length

    ChannelSettings channel;
    ImpairmentSettings impairments;

    double settle_tolerance = 0.125; // UI
    bool time_domain = true;         // run the time-domain flow after the statistical one
    bool ber_eye = true;             // analyse the statistical eye at the target ratio
    // What a single run adds for its report and a sweep point leaves out:
    // the bits sent through the whole link's statistical response, and with
    // crosstalk a time-domain run without it first, for the eye it leaves.
    bool linear_reference = true;
    bool eye_without_crosstalk = true;
    Progress::Mode progress = Progress::Mode::Auto;

    double bit_time() const { return 1.0 / bit_rate; }
    double sample_interval() const { return 1.0 / (bit_rate * samples_per_bit); }
};

} // namespace ami_host
