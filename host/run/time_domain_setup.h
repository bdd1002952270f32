// What the time-domain flow takes from the options and from the statistical
// flow: the same for a single run and for each point of a sweep.
#pragma once

#include "cli/run_options.h"
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

// The victim's link: `tx` and `rx` where `use` runs their AMI_GetWave, the
// response between them (see response_between) as a discrete response, and
// neither the linear reference nor aggressors.
TimeDomainLink victim_link(const std::vector<double> &channel, const StatisticalResult &statistical,
                           ModelInstance *tx, ModelInstance *rx, bool tx_present, bool rx_present, GetWaveUse use,
                           double sample_interval);

TimeDomainSettings time_domain_settings(const Options &o);

// The analysis of a run whose models ignore `ignore_bits` bits, without the
// linear reference and the decision's impairments.
AnalysisSettings analysis_settings(const Options &o, const StatisticalResult &statistical, long ignore_bits);

} // namespace ami_host
