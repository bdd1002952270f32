// The stages from the stimulus to the analyses, built from the end back:
// [Tx AMI_GetWave] -> channel -> [+ aggressors] -> [Rx AMI_GetWave] ->
// analyses, and beside them the linear reference.
#pragma once

#include "time_domain/crosstalk_sources.h"
#include "time_domain/reference_stage.h"
#include "time_domain/run_analyses.h"
#include "time_domain/stages.h"
#include "time_domain/time_domain_link.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ami_host {

class Pipeline {
public:
    Pipeline(const TimeDomainSettings &settings, const TimeDomainLink &link, RunAnalyses &analyses);
    Pipeline(const Pipeline &) = delete;
    Pipeline &operator=(const Pipeline &) = delete;

    // The next piece of the victim's stimulus, its bits and their samples;
    // the aggressors send as many bits of their own.
    void send(const std::vector<uint8_t> &bits, const std::vector<double> &samples);
    void finish();

    const GetWaveStage *tx() const { return tx_.get(); } // null: no Tx AMI_GetWave
    const GetWaveStage *rx() const { return rx_.get(); } // null: no Rx AMI_GetWave
    size_t fft_size() const { return channel_->fft_size(); }

private:
    // The Rx stage and the crosstalk sum; returns the stage the channel feeds.
    Stage &build_receiver_side(const TimeDomainSettings &settings, const TimeDomainLink &link, RunAnalyses &analyses);

    std::unique_ptr<GetWaveStage> rx_;
    std::unique_ptr<CrosstalkSources> crosstalk_;
    std::unique_ptr<ConvolutionStage> channel_;
    std::unique_ptr<GetWaveStage> tx_;
    std::unique_ptr<ReferenceStage> reference_;
    Stage *head_ = nullptr; // where the stimulus goes in
};

} // namespace ami_host
