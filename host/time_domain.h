// The time-domain flow: a PRBS stimulus through the Tx AMI_GetWave, the
// channel and the Rx AMI_GetWave, block by block, collecting the clock times.
#pragma once

#include "model_loader.h"
#include "progress.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ami_host {

struct TimeDomainSettings {
    int prbs_order = 15;
    long bits = 0;
    int samples_per_bit = 0;
    long block_size = 0; // samples per AMI_GetWave call (the last call takes the rest)
};

struct TimeDomainRun {
    std::vector<uint8_t> bits;       // sent
    std::vector<double> output;      // the receiver's output (the channel's, without an Rx AMI_GetWave)
    std::vector<double> clock_times; // every clock time the Rx handed out, in order (seconds)
    std::string rx_parameters_out;   // the Rx model's last output parameter string
    long tx_calls = 0;
    long rx_calls = 0;
};

// Runs the flow: bits of levels -0.5 and +0.5 V, samples_per_bit samples
// each; `tx` (may be null: no Tx AMI_GetWave) in place; convolution with
// `kernel` (the discrete channel response: impulse response x sample
// interval) over the whole waveform at once; `rx` (may be null) in place. The
// Rx gets a clock_times array with room for one clock per sample of its
// block plus the terminator, filled with -1 before every call, and is read
// up to the first -1. Throws Error when a model's AMI_GetWave fails or
// writes past the array.
TimeDomainRun run_time_domain(const TimeDomainSettings &settings, ModelInstance *tx,
                              const std::vector<double> &kernel, ModelInstance *rx, Progress &progress);

} // namespace ami_host
