// The time-domain flow as a streaming pipeline: a PRBS stimulus through the
// Tx AMI_GetWave, the channel and the Rx AMI_GetWave, block by block, into
// the waveform analysis; nothing holds more than a block of the run.
#pragma once

#include "base/progress.h"
#include "time_domain/time_domain_link.h"
#include "time_domain/waveform_analysis.h"

#include <string>

namespace ami_host {

struct TimeDomainRun {
    WaveformResult waveform;
    bool clock_from_model = false; // false: the Rx gave no clock times, the ideal clock was used
    std::string rx_parameters_out; // the Rx model's last output parameter string
    long tx_calls = 0;
    long rx_calls = 0;
    size_t fft_size = 0;
};

// Runs the flow: bits of levels -0.5 and +0.5 V, samples_per_bit samples
// each, through the link into an analysis with `analysis` (its clock
// settings are chosen here: the Rx's clock times, or the ideal clock when
// it gives none). Throws Error when a model's AMI_GetWave fails, writes
// past the clock_times array or returns NaN or infinity.
TimeDomainRun run_time_domain(const TimeDomainSettings &settings, const TimeDomainLink &link,
                              const AnalysisSettings &analysis, Progress &progress);

} // namespace ami_host
