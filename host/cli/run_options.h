// The host's command line: models, parameter overrides, signal, channel,
// analysis and output options.
#pragma once

#include "channel/channel.h"
#include "cli/channel_options.h"
#include "cli/impairment_options.h"
#include "base/progress.h"

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
    long fft_size = 0; // samples per channel FFT segment; 0: chosen from the channel's length

    std::string channel_file; // empty: the embedded line
    ResponseKind channel_kind = ResponseKind::Impulse;
    LineParameters line;
    ChannelOptions channels; // Touchstone choices and crosstalk

    ImpairmentOptions impairments; // jitter, noise, target ratio and seed

    double settle_tolerance = 0.125; // UI
    bool statistical_only = false;

    std::string out_dir = "ami_host_out";
    bool plots = true;
    std::string python;
    std::string plot_script;
    Progress::Mode progress = Progress::Mode::Auto;

    double bit_time() const { return 1.0 / bit_rate; }
    double sample_interval() const { return 1.0 / (bit_rate * samples_per_bit); }
};

// Parses the command line into `options`, resolving the default models.
// Returns -1 to go on, or the exit code when the program should stop now
// (after --help, or after printing what is wrong with the command line).
int parse_command_line(int argc, char **argv, Options &options);

// The largest AMI_GetWave block and FFT segment, in samples.
constexpr long kMaxBlockSamples = 1L << 25;
// The longest time-domain run, in bits; the run streams, so only time limits it.
constexpr long kMaxBits = 1000000000L;

} // namespace ami_host
