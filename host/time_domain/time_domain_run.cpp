// The streaming time-domain pipeline: stimulus, model and channel stages,
// and the analysis at its end.
#include "time_domain/time_domain_run.h"

#include "time_domain/convolver.h"
#include "time_domain/crosstalk_sources.h"
#include "time_domain/nrz_convolver.h"
#include "time_domain/prbs.h"
#include "time_domain/stages.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace ami_host {

namespace {

// The end of the pipeline: the receiver's output (or the linear reference)
// into the analyses that are still running.
class AnalysisInput : public Stage {
public:
    AnalysisInput(std::vector<WaveformAnalyser *> &analysers, bool reference)
        : analysers_(analysers), reference_(reference)
    {
    }
    void push(const double *samples, size_t count) override
    {
        for (WaveformAnalyser *a : analysers_) {
            if (reference_)
                a->reference(samples, count);
            else
                a->output(samples, count);
        }
    }
    void finish() override {}

private:
    std::vector<WaveformAnalyser *> &analysers_;
    bool reference_;
};

constexpr size_t kStimulusBits = 256; // bits generated at a time


// The linear reference: the stimulus through the whole link's statistical
// response. On the sample grid the stimulus is NRZ, and the bit-rate
// convolution gives the same samples (to rounding) for less than half the work;
// jittered transitions need the convolution sample by sample.
class ReferenceStage {
public:
    ReferenceStage(const std::vector<double> &kernel, const TimeDomainSettings &settings, Stage &next)
        : next_(next), hand_on_([&next](const double *out, size_t count) { next.push(out, count); })
    {
        if (settings.tx_jitter)
            samples_ = std::make_unique<Convolver>(kernel, settings.fft_size);
        else
            bits_ = std::make_unique<NrzConvolver>(kernel, settings.samples_per_bit);
    }
    void send(const std::vector<uint8_t> &bits, const std::vector<double> &samples)
    {
        if (samples_) {
            samples_->push(samples.data(), samples.size(), hand_on_);
            return;
        }
        levels_.resize(bits.size());
        std::transform(bits.begin(), bits.end(), levels_.begin(), level_of);
        bits_->push(levels_.data(), levels_.size(), hand_on_);
    }
    void finish()
    {
        if (samples_)
            samples_->finish(hand_on_);
        else
            bits_->finish(hand_on_);
        next_.finish();
    }

private:
    Stage &next_;
    Convolver::Sink hand_on_;
    std::unique_ptr<Convolver> samples_;
    std::unique_ptr<NrzConvolver> bits_;
    std::vector<double> levels_;
};

// The NRZ stimulus, levels -0.5 and +0.5 V, in pieces of whole bits: on the
// sample grid, or with the transmitter's jitter moving its transitions. A
// jittered piece needs the bit after it, so the source runs a bit ahead.
class Stimulus {
public:
    Stimulus(const TimeDomainSettings &settings, double sample_interval)
        : prbs_(settings.prbs_order), per_bit_(static_cast<size_t>(settings.samples_per_bit)), dt_(sample_interval),
          jitter_(settings.tx_jitter)
    {
        if (jitter_)
            window_.push_back(prbs_.next());
    }

    // The next `count` bits into `bits`, and their samples into `samples`.
    void next(size_t count, bool last, std::vector<uint8_t> &bits, std::vector<double> &samples)
    {
        bits.resize(count);
        samples.clear();
        if (!jitter_) {
            for (uint8_t &bit : bits)
                bit = prbs_.next();
            nrz_samples(bits, per_bit_, samples);
            done_ += static_cast<int64_t>(count);
            return;
        }
        // window_ holds the bit before this piece (none at the start) and its first bit.
        for (size_t i = 1; i < count; ++i)
            window_.push_back(prbs_.next());
        if (!last)
            window_.push_back(prbs_.next());
        const int64_t first_bit = done_ == 0 ? 0 : done_ - 1;
        const size_t skip = done_ == 0 ? 0 : 1;
        std::copy(window_.begin() + static_cast<std::ptrdiff_t>(skip),
                  window_.begin() + static_cast<std::ptrdiff_t>(skip + count), bits.begin());
        samples = jittered_nrz(*jitter_, window_, first_bit, dt_ * static_cast<double>(per_bit_), dt_,
                               done_ * static_cast<int64_t>(per_bit_), count * per_bit_);
        done_ += static_cast<int64_t>(count);
        // Keep the piece's last bit and the next one's first.
        window_.erase(window_.begin(), window_.end() - std::min<std::ptrdiff_t>(2, static_cast<std::ptrdiff_t>(window_.size())));
    }

private:
    PrbsSource prbs_;
    size_t per_bit_;
    double dt_;
    std::optional<EdgeJitter> jitter_;
    std::vector<uint8_t> window_;
    int64_t done_ = 0;
};

} // namespace

TimeDomainRun run_time_domain(const TimeDomainSettings &settings, const TimeDomainLink &link,
                              const AnalysisSettings &analysis, Progress &progress)
{
    // The Rx's clock, and the ideal clock in case the Rx gives none; the
    // ideal clock's analysis stops at the Rx's first clock time.
    AnalysisSettings ideal_settings = analysis;
    ideal_settings.ideal_clock = true;
    WaveformAnalyser ideal(ideal_settings);
    std::unique_ptr<WaveformAnalyser> recovered;
    std::vector<WaveformAnalyser *> running{&ideal};
    if (link.rx != nullptr) {
        AnalysisSettings recovered_settings = analysis;
        recovered_settings.ideal_clock = false;
        recovered = std::make_unique<WaveformAnalyser>(recovered_settings);
        running.push_back(recovered.get());
    }

    AnalysisInput output(running, false), reference_input(running, true);
    std::unique_ptr<GetWaveStage> rx_stage;
    Stage *after_channel = &output;
    if (link.rx != nullptr) {
        rx_stage = std::make_unique<GetWaveStage>(*link.rx, settings.block_size, output,
                                                  [&](const double *times, size_t count) {
                                                      if (count > 0 && running.size() > 1)
                                                          running.erase(running.begin()); // the ideal clock
                                                      recovered->clock_times(times, count);
                                                  });
        after_channel = rx_stage.get();
    }
    std::unique_ptr<CrosstalkSources> crosstalk;
    if (!link.aggressors.empty()) {
        crosstalk = std::make_unique<CrosstalkSources>(link.aggressors, settings, *after_channel);
        after_channel = &crosstalk->victim_input();
    }
    ConvolutionStage channel(link.channel, settings.fft_size, *after_channel);
    std::unique_ptr<GetWaveStage> tx_stage;
    Stage *head = &channel;
    if (link.tx != nullptr) {
        tx_stage = std::make_unique<GetWaveStage>(*link.tx, settings.block_size, channel);
        head = tx_stage.get();
    }
    std::unique_ptr<ReferenceStage> reference;
    if (!link.reference.empty())
        reference = std::make_unique<ReferenceStage>(link.reference, settings, reference_input);

    progress.start("time-domain run");
    Stimulus source(settings, analysis.sample_interval);
    std::vector<uint8_t> bits;
    std::vector<double> stimulus;
    for (long long done = 0; done < settings.bits;) {
        const size_t count = static_cast<size_t>(std::min<long long>(kStimulusBits, settings.bits - done));
        source.next(count, done + static_cast<long long>(count) == settings.bits, bits, stimulus);
        for (WaveformAnalyser *a : running)
            a->sent(bits.data(), bits.size());
        if (reference)
            reference->send(bits, stimulus);
        head->push(stimulus.data(), stimulus.size());
        if (crosstalk)
            crosstalk->send(count);
        done += static_cast<long long>(count);
        progress.update(static_cast<double>(done) / static_cast<double>(settings.bits));
    }
    if (reference)
        reference->finish();
    head->finish();
    if (crosstalk)
        crosstalk->finish();
    progress.finish();

    TimeDomainRun run;
    WaveformAnalyser &used = recovered && recovered->any_clock() ? *recovered : ideal;
    used.finish();
    run.waveform = used.result();
    run.clock_from_model = &used != &ideal;
    run.fft_size = channel.fft_size();
    if (tx_stage)
        run.tx_calls = tx_stage->calls();
    if (rx_stage) {
        run.rx_calls = rx_stage->calls();
        run.rx_parameters_out = rx_stage->parameters_out();
    }
    return run;
}

} // namespace ami_host
