// The aggressors' patterns, Tx stages and crosstalk convolutions, and the
// sum that joins them to the victim.
#include "time_domain/crosstalk_sources.h"

#include "time_domain/prbs.h"

#include <algorithm>

namespace ami_host {

class SummingStage::Input : public Stage {
public:
    Input(SummingStage &owner) : owner_(owner) {}
    void push(const double *samples, size_t count) override
    {
        held.insert(held.end(), samples, samples + count);
        owner_.flush();
    }
    void finish() override { owner_.finished(); }
    std::vector<double> held;

private:
    SummingStage &owner_;
};

SummingStage::SummingStage(size_t inputs, Stage &next) : next_(next)
{
    for (size_t k = 0; k < inputs; ++k)
        inputs_.push_back(std::make_unique<Input>(*this));
}

Stage &SummingStage::input(size_t k) { return *inputs_[k]; }

void SummingStage::flush()
{
    size_t ready = inputs_[0]->held.size();
    for (const auto &in : inputs_)
        ready = std::min(ready, in->held.size());
    if (ready == 0)
        return;
    // Victim first, then the aggressors in order: the same sums whatever
    // the pieces the stages hand on.
    sum_.assign(inputs_[0]->held.begin(), inputs_[0]->held.begin() + static_cast<long>(ready));
    for (size_t k = 1; k < inputs_.size(); ++k)
        for (size_t n = 0; n < ready; ++n)
            sum_[n] += inputs_[k]->held[n];
    for (const auto &in : inputs_)
        in->held.erase(in->held.begin(), in->held.begin() + static_cast<long>(ready));
    next_.push(sum_.data(), sum_.size());
}

void SummingStage::finished()
{
    if (++finished_ == inputs_.size())
        next_.finish();
}

struct CrosstalkSources::Chain {
    PrbsSource prbs;
    ConvolutionStage channel;
    std::unique_ptr<GetWaveStage> tx;
    Chain(int order, const AggressorLink &link, const TimeDomainSettings &settings, Stage &sum)
        : prbs(order), channel(link.channel, settings.fft_size, sum)
    {
        if (link.tx != nullptr)
            tx = std::make_unique<GetWaveStage>(*link.tx, settings.block_size, channel);
    }
    Stage &head() { return tx ? static_cast<Stage &>(*tx) : channel; }
};

CrosstalkSources::CrosstalkSources(const std::vector<AggressorLink> &aggressors, const TimeDomainSettings &settings,
                                   Stage &next)
    : sum_(aggressors.size() + 1, next), samples_per_bit_(static_cast<size_t>(settings.samples_per_bit))
{
    // The same sequence as the victim's, each aggressor at its own phase of
    // it, spread evenly over the period (at most 2^24 bits apart).
    const uint64_t period = (uint64_t{1} << settings.prbs_order) - 1;
    const uint64_t spacing = std::min<uint64_t>(period / (aggressors.size() + 1), uint64_t{1} << 24);
    for (size_t k = 0; k < aggressors.size(); ++k) {
        chains_.push_back(std::make_unique<Chain>(settings.prbs_order, aggressors[k], settings, sum_.input(k + 1)));
        for (uint64_t skip = 0; skip < spacing * (k + 1); ++skip)
            chains_.back()->prbs.next();
    }
}

CrosstalkSources::~CrosstalkSources() = default;

Stage &CrosstalkSources::victim_input() { return sum_.input(0); }

void CrosstalkSources::send(size_t bits)
{
    pattern_.resize(bits);
    for (const auto &chain : chains_) {
        for (uint8_t &bit : pattern_)
            bit = chain->prbs.next();
        nrz_samples(pattern_, samples_per_bit_, stimulus_);
        chain->head().push(stimulus_.data(), stimulus_.size());
    }
}

void CrosstalkSources::finish()
{
    for (const auto &chain : chains_)
        chain->head().finish();
}

} // namespace ami_host
