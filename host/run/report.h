// The run's results: the JSON report with every figure, the waveform data
// for the pictures, and the short summary for a person.
#pragma once

#include "channel/channel.h"
#include "statistical/crosstalk_figures.h"
#include "statistical/worst_case_eye.h"
#include "time_domain/waveform_analysis.h"
#include "model/model_loader.h"
#include "model/parameter_string.h"
#include "statistical/ber_analysis.h"
#include "statistical/init_flow.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace ami_host {

// What the report says of the crosstalk.
struct CrosstalkRecord {
    std::vector<std::string> aggressors;         // one line each
    std::vector<std::vector<std::string>> notes; // per aggressor: assumptions and warnings
    CrosstalkFigures figures;
    bool time_domain = false;  // both time-domain runs made
    EyeResult eye_without;     // the time-domain eye of the run without crosstalk
    DensityResult density_without; // and its traces, drawn beside the eye with crosstalk
    long bits_without = 0;         // the bits that eye holds
};

struct ModelRecord {
    bool present = false;
    std::string side;  // "Tx" or "Rx"
    std::string library, ami_file, root, ami_version;
    ParameterSet parameters;
    InitOutcome init;
    bool getwave_used = false;
    long ignore_bits = 0;
    std::string getwave_parameters_out; // the last one
};

struct RunRecord {
    int host_bits = 0;
    double bit_time = 0.0, sample_interval = 0.0;
    int samples_per_bit = 0;
    int prbs = 0;
    long bits = 0, block_size = 0;
    double settle_tolerance = 0.0;

    std::string channel_source, channel_description;
    size_t channel_samples = 0;
    double channel_delay_removed = 0.0;
    double channel_loss_nyquist_db = 0.0; // insertion loss at half the bit rate, dB (positive for a loss)
    // The insertion loss (dB) up to the bit rate, for the report's picture.
    std::vector<double> channel_loss_frequency, channel_loss_db;
    double channel_data_top = 0.0;        // Hz: the highest frequency the channel's data give (0: not frequency data)
    std::vector<std::string> channel_notes; // assumptions and warnings of a Touchstone channel
    std::optional<CrosstalkRecord> crosstalk;

    ModelRecord tx, rx;
    StatisticalResult statistical;

    bool time_domain = false;
    long tx_calls = 0, rx_calls = 0;
    long fft_size = 0; // samples per FFT segment of the channel convolution
    bool clock_from_model = false; // false: the Rx gave no clock times, the ideal clock was used
    long ignore_bits = 0;          // bits left out of the statistics (the models' Ignore_Bits)
    WaveformResult waveform;
    // The statistical eye (after the last model) sampled at the recovered
    // clock's final phase, for comparison with the time-domain eye.
    std::optional<double> statistical_eye_at_clock;

    // The statistical eye with the link's jitter and noise.
    std::optional<BerAnalysis> ber;

    double seconds = 0.0; // wall time of the run
};

// Writes <dir>/report.json (every figure) and <dir>/waveforms.json (the
// curves behind the pictures). Throws Error when a file cannot be written.
void write_report(const RunRecord &run, const std::string &dir);

// Removes report.json and waveforms.json from `dir`, so that a run that
// fails leaves no earlier report that looks like its own.
void remove_report(const std::string &dir);

// The short human-readable summary.
void print_summary(const RunRecord &run, std::ostream &out);

} // namespace ami_host
