// The options of ami_host's end-to-end run: models, parameter settings,
// signal, channel, impairments, analysis and output. ami_host sweep takes
// the same ones for its points.
#pragma once

#include "cli/command_line.h"
#include "run/run_settings.h"

#include <string>

namespace ami_host {

struct RunCommand {
    RunSettings settings;
    OutputSettings output;
    std::string plot_script; // empty: plot_results.py beside ami_host
    double model_timeout = 600.0; // seconds per model call
};

// Parses the command line into `command`, resolving the default models.
// Returns -1 to go on, or the exit code when the program should stop now
// (after --help, or after printing what is wrong with the command line).
int parse_run_command(int argc, char **argv, RunCommand &command);

// The largest AMI_GetWave block and FFT segment, in samples.
constexpr long kMaxBlockSamples = 1L << 25;
// The longest time-domain run, in bits; the run streams, so only time limits it.
constexpr long kMaxBits = 1000000000L;

} // namespace ami_host
