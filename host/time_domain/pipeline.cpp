// Assembling the stages and sending the stimulus through them.
#include "time_domain/pipeline.h"

namespace ami_host {

Pipeline::Pipeline(const TimeDomainSettings &settings, const TimeDomainLink &link, RunAnalyses &analyses)
{
    Stage &after_channel = build_receiver_side(settings, link, analyses);
    channel_ = std::make_unique<ConvolutionStage>(link.channel, settings.fft_size, after_channel);
    head_ = channel_.get();
    if (link.tx != nullptr) {
        tx_ = std::make_unique<GetWaveStage>(*link.tx, settings.block_size, *channel_);
        head_ = tx_.get();
    }
    if (!link.reference.empty())
        reference_ = std::make_unique<ReferenceStage>(link.reference, settings, analyses.reference());
}

Stage &Pipeline::build_receiver_side(const TimeDomainSettings &settings, const TimeDomainLink &link,
                                     RunAnalyses &analyses)
{
    Stage *after_channel = &analyses.output();
    if (link.rx != nullptr) {
        rx_ = std::make_unique<GetWaveStage>(
            *link.rx, settings.block_size, *after_channel,
            [&analyses](const double *times, size_t count) { analyses.clock_times(times, count); });
        after_channel = rx_.get();
    }
    if (!link.aggressors.empty()) {
        crosstalk_ = std::make_unique<CrosstalkSources>(link.aggressors, settings, *after_channel);
        after_channel = &crosstalk_->victim_input();
    }
    return *after_channel;
}

void Pipeline::send(const std::vector<uint8_t> &bits, const std::vector<double> &samples)
{
    if (reference_)
        reference_->send(bits, samples);
    head_->push(samples.data(), samples.size());
    if (crosstalk_)
        crosstalk_->send(bits.size());
}

void Pipeline::finish()
{
    if (reference_)
        reference_->finish();
    head_->finish();
    if (crosstalk_)
        crosstalk_->finish();
}

} // namespace ami_host
