// The reference convolution, at the bit rate or sample by sample.
#include "time_domain/reference_stage.h"

#include <algorithm>

namespace ami_host {

ReferenceStage::ReferenceStage(const std::vector<double> &kernel, const TimeDomainSettings &settings, Stage &next)
    : next_(next), hand_on_([&next](const double *out, size_t count) { next.push(out, count); })
{
    if (settings.tx_jitter)
        samples_ = std::make_unique<Convolver>(kernel, settings.fft_size);
    else
        bits_ = std::make_unique<NrzConvolver>(kernel, settings.samples_per_bit);
}

void ReferenceStage::send(const std::vector<uint8_t> &bits, const std::vector<double> &samples)
{
    if (samples_) {
        samples_->push(samples.data(), samples.size(), hand_on_);
        return;
    }
    levels_.resize(bits.size());
    std::transform(bits.begin(), bits.end(), levels_.begin(), level_of);
    bits_->push(levels_.data(), levels_.size(), hand_on_);
}

void ReferenceStage::finish()
{
    if (samples_)
        samples_->finish(hand_on_);
    else
        bits_->finish(hand_on_);
    next_.finish();
}

} // namespace ami_host
