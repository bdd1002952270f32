// Crosstalk: peak distortion in the statistical flow, independent aggressor
// patterns summed at the receiver in the time domain.
#include "time_domain/crosstalk.h"

#include "statistical/worst_case_eye.h"
#include "time_domain/prbs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace ami_host {

CrosstalkFigures crosstalk_figures(const StatisticalResult &result, int samples_per_bit, double sample_interval)
{
    CrosstalkFigures figures;
    const StageResponse &victim = result.stages.back();
    figures.eye_without = victim.metrics.eye_height;
    const size_t bit = static_cast<size_t>(samples_per_bit);
    const size_t phase = victim.metrics.cursor_index % bit;
    for (const std::vector<double> &impulse : result.aggressors) {
        // An aggressor's data are independent of the victim's: every bit of
        // its pulse, the main one too, may add to the victim's worst case.
        const std::vector<double> pulse = pulse_response(impulse, samples_per_bit, sample_interval);
        double distortion = 0.0;
        for (size_t i = phase; i < pulse.size(); i += bit)
            distortion += std::fabs(pulse[i]);
        figures.peak_distortion.push_back(distortion);
        figures.total += distortion;
    }
    figures.eye_with = figures.eye_without - figures.total;
    return figures;
}

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
