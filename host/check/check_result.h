// What a check of a model reports, and what the checks are run on.
#pragma once

#include <string>
#include <vector>

namespace ami_host {

enum class CheckStatus { Pass, Warn, Fail, Skip };

const char *status_name(CheckStatus status); // "pass", "warn", "fail", "skip"

// A response a check compared, for the report's picture.
struct CheckCurve {
    std::string label;          // "16 samples per bit"
    double step = 0.0;          // seconds between values
    std::vector<double> values; // volts
};

// One line of the report.
struct CheckResult {
    std::string name;        // "block_size"
    CheckStatus status = CheckStatus::Skip;
    bool has_figure = false; // whether `figure` was measured
    double figure = 0.0;     // the measured figure, in `unit`
    std::string unit;        // "relative", "clocks/UI", "" for a count
    std::string detail;      // what was seen, in words
    std::vector<CheckCurve> curves; // what samples_per_bit and init_vs_getwave compared
};

struct CheckSubject {
    std::string library; // the model's shared library
    std::string ami;     // its .ami file
    std::string side;    // "Tx" or "Rx", for messages
};

struct CheckOptions {
    double timeout_seconds = 60.0; // per child process
    double bit_time = 100e-12;
    int samples_per_bit = 32;
    long bits = 1000;              // bits of the data waveform run through AMI_GetWave
};

} // namespace ami_host
