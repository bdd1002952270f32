// The host's command line: models, parameter overrides, signal, channel,
// analysis and output options.
#pragma once

#include "channel.h"

#include <string>
#include <vector>

namespace ami_host {

struct Options {
    std::string tx_model, tx_ami; // empty model: no Tx model
    std::string rx_model, rx_ami; // empty model: no Rx model
    std::vector<std::string> tx_overrides, rx_overrides;

    double bit_rate = 10e9;
    int samples_per_bit = 32;
    int prbs = 15;
    long bits = 40000;
    long block_size = 1000;

    std::string channel_file; // empty: the embedded line
    std::string channel_kind = "impulse";
    LineParameters line;

    double settle_tolerance = 0.125; // UI
    bool statistical_only = false;

    std::string out_dir = "ami_host_out";
    bool plots = true;
    std::string python;
    std::string plot_script;
    std::string progress = "auto";

    double bit_time() const { return 1.0 / bit_rate; }
    double sample_interval() const { return 1.0 / (bit_rate * samples_per_bit); }
};

// Parses the command line into `options`, resolving the default models.
// Returns -1 to go on, or the exit code when the program should stop now
// (after --help, or after printing what is wrong with the command line).
int parse_command_line(int argc, char **argv, Options &options);

// The largest time-domain run, in samples (bits x samples per bit).
constexpr long kMaxWaveformSamples = 1L << 25;

} // namespace ami_host
