// What the time-domain flow takes from the run's settings and from the
// statistical flow: which models run AMI_GetWave, the responses between
// them, and the stimulus and analysis settings.
#pragma once

#include "run/run_settings.h"
#include "statistical/init_flow.h"
#include "time_domain/time_domain_run.h"

#include <vector>

namespace ami_host {

// An impulse response in V/s as a discrete response: one weight per sample.
std::vector<double> discrete(std::vector<double> impulse, double sample_interval);

// Which models run AMI_GetWave. A model without it acts through the impulse
// response its AMI_Init returned; a Tx runs AMI_GetWave only when the Rx
// does too (or there is no Rx), since without an Rx AMI_GetWave the stimulus
// meets the whole statistical response.
struct GetWaveUse {
    bool tx = false;
    bool rx = false;
};
GetWaveUse getwave_use(bool tx_present, bool tx_getwave, bool rx_present, bool rx_getwave);

// The response between the AMI_GetWave calls: `channel` (V/s), or the
// statistical response up to the last model that acts through AMI_Init.
// `through_rx` and `through_tx` are the responses after those models.
std::vector<double> response_between(const std::vector<double> &channel, const std::vector<double> &through_rx,
                                     const std::vector<double> &through_tx, bool tx_present, bool rx_present,
                                     GetWaveUse use);

// The models and responses of a time-domain run.
struct TimeDomainModels {
    ModelInstance *tx = nullptr; // null: no Tx model
    ModelInstance *rx = nullptr; // null: no Rx model
    std::vector<ModelInstance *> aggressor_tx; // one Tx instance per aggressor, with a Tx model
    GetWaveUse use;
};

// The link the time-domain flow runs: the victim's models where `models.use`
// runs their AMI_GetWave with the response between them, each aggressor's
// crosstalk response (`aggressor_channels`, V/s) through the same models up
// to the Rx, and with `linear_reference` the whole link's statistical
// response, all as discrete responses.
TimeDomainLink time_domain_link(const std::vector<double> &channel,
                                const std::vector<std::vector<double>> &aggressor_channels,
                                const StatisticalResult &statistical, const TimeDomainModels &models,
                                bool linear_reference, double sample_interval);

TimeDomainSettings time_domain_settings(const RunSettings &settings);

// The analysis of a run whose models ignore `ignore_bits` bits, without the
// linear reference and the decision's impairments.
AnalysisSettings analysis_settings(const RunSettings &settings, const StatisticalResult &statistical,
                                   long ignore_bits);

} // namespace ami_host
