// What a time-domain run is made of: its stimulus and block sizes, and the
// link that carries the stimulus, with the aggressors beside it.
#pragma once

#include "model/model_loader.h"
#include "time_domain/edge_jitter.h"

#include <optional>
#include <vector>

namespace ami_host {

struct TimeDomainSettings {
    int prbs_order = 15;
    long long bits = 0;
    int samples_per_bit = 0;
    long block_size = 0; // samples per AMI_GetWave call
    size_t fft_size = 0; // samples per FFT segment of the convolutions; 0: from the kernel
    // The transmitter's jitter, which moves the stimulus's transitions
    // (absent: transitions on the sample grid).
    std::optional<EdgeJitter> tx_jitter;
};

// What runs in the pipeline: the models (null: no AMI_GetWave on that
// side), the channel's discrete response between them, and the discrete
// statistical response of the whole link for the linear reference (empty:
// none).
struct AggressorLink {
    ModelInstance *tx = nullptr; // its own Tx instance; null: no Tx AMI_GetWave
    std::vector<double> channel; // discrete crosstalk response
};

struct TimeDomainLink {
    ModelInstance *tx = nullptr;
    std::vector<double> channel;
    ModelInstance *rx = nullptr;
    std::vector<double> reference;
    std::vector<AggressorLink> aggressors; // crosstalk summed ahead of the Rx, each with its own pattern
};

} // namespace ami_host
