// Checks that a model library and its .ami file behave before any eye drawn
// with them is trusted: the file, the parameter echo, AMI_Init's linearity
// and repeatability, AMI_Init against AMI_GetWave, independence of the block
// size, of the samples per bit and of other instances, the clock times, and
// robustness. Every check drives the model in a child process.
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

// Runs every check; never throws for a fault of the model or its file (those
// are failed checks). It reports each of check_names() once, in that order.
std::vector<CheckResult> check_model(const CheckSubject &subject, const CheckOptions &options = {});

// The names of the checks, in the order check_model reports them.
std::vector<std::string> check_names();

} // namespace ami_host
