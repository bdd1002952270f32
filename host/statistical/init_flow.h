// The statistical flow: the channel's impulse response through the Tx and
// then the Rx AMI_Init, with the pulse response and its eye after each.
#pragma once

#include "statistical/worst_case_eye.h"
#include "model/model_loader.h"

#include <string>
#include <vector>

namespace ami_host {

// One model taking part in a flow.
struct FlowModel {
    ModelInstance *instance = nullptr; // null: no model on this side
    std::string parameters;            // the parameter string for AMI_Init
    bool returns_impulse = true;       // Init_Returns_Impulse of its .ami file
};

struct StageResponse {
    std::string name;            // "channel", "after Tx", "after Rx"
    std::vector<double> impulse; // V/s, row_size samples
    std::vector<double> pulse;   // volts
    PulseMetrics metrics;
};

struct StatisticalResult {
    long row_size = 0;                // samples in the impulse column handed to AMI_Init
    std::vector<StageResponse> stages;
    InitOutcome tx_init, rx_init;     // status 0 with no message when the side has no model
    // Crosstalk, row_size samples per aggressor: its impulse response after
    // its Tx AMI_Init (the Rx's extra columns), and after the Rx AMI_Init.
    std::vector<std::vector<double>> aggressors_into_rx, aggressors;
};

// The number of samples of the impulse column for a channel response of
// `channel_samples`: room for the models' own responses (32 bits) and at
// least 128 bits, in whole bits.
long impulse_row_size(size_t channel_samples, int samples_per_bit);

// Runs the flow. Each aggressor's impulse response goes through its own Tx
// model instance (`aggressor_tx`, one per aggressor, or none without a Tx
// model) and then, as the extra columns of the matrix, through the Rx
// AMI_Init with the victim's. Throws Error, with the model's message, when an
// AMI_Init returns 0.
StatisticalResult run_statistical(const std::vector<double> &channel_impulse, double sample_interval,
                                  double bit_time, int samples_per_bit, const FlowModel &tx, const FlowModel &rx,
                                  const std::vector<std::vector<double>> &aggressors = {},
                                  const std::vector<FlowModel> &aggressor_tx = {});

} // namespace ami_host
