// The streaming time-domain pipeline: stimulus, model and channel stages,
// and the analysis at its end.
#include "time_domain/time_domain_run.h"

#include "time_domain/convolver.h"
#include "time_domain/crosstalk.h"
#include "base/host_error.h"
#include "time_domain/nrz_convolver.h"
#include "time_domain/prbs.h"

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ami_host {

struct ConvolutionStage::Impl {
    Convolver convolver;
    Convolver::Sink hand_on;
    Impl(const std::vector<double> &kernel, size_t fft_size, Stage &next)
        : convolver(kernel, fft_size), hand_on([&next](const double *out, size_t count) { next.push(out, count); })
    {
    }
};

ConvolutionStage::ConvolutionStage(const std::vector<double> &kernel, size_t fft_size, Stage &next)
    : impl_(std::make_unique<Impl>(kernel, fft_size, next)), next_(next)
{
}

ConvolutionStage::~ConvolutionStage() = default;

void ConvolutionStage::push(const double *samples, size_t count)
{
    impl_->convolver.push(samples, count, impl_->hand_on);
}

void ConvolutionStage::finish()
{
    impl_->convolver.finish(impl_->hand_on);
    next_.finish();
}

size_t ConvolutionStage::fft_size() const { return impl_->convolver.fft_size(); }

GetWaveStage::GetWaveStage(ModelInstance &model, long block_size, Stage &next, ClockSink on_clocks)
    : model_(model), block_size_(static_cast<size_t>(block_size)), next_(next), on_clocks_(std::move(on_clocks))
{
    block_.reserve(block_size_);
    if (on_clocks_) {
        // Room for a clock at every sample, the terminator, and a guard slot
        // that must stay untouched.
        clock_times_.assign(block_size_ + 2, -1.0);
        clock_times_.back() = std::numeric_limits<double>::quiet_NaN();
    }
}

void GetWaveStage::push(const double *samples, size_t count)
{
    while (count > 0) {
        const size_t take = std::min(count, block_size_ - block_.size());
        block_.insert(block_.end(), samples, samples + take);
        samples += take;
        count -= take;
        if (block_.size() == block_size_)
            call();
    }
}

void GetWaveStage::finish()
{
    if (!block_.empty())
        call();
    next_.finish();
}

void GetWaveStage::call()
{
    double *clocks = on_clocks_ ? clock_times_.data() : nullptr;
    parameters_out_ = model_.get_wave(block_.data(), static_cast<long>(block_.size()), clocks);
    ++calls_;
    refuse_non_finite();
    if (on_clocks_)
        hand_on_clocks();
    next_.push(block_.data(), block_.size());
    samples_before_ += static_cast<long long>(block_.size());
    block_.clear();
}

namespace {

// Two samples at a time (SSE2 is part of both target widths here): a sample
// is finite when its magnitude is at most the largest double; NaN is not.
bool all_finite(const std::vector<double> &samples)
{
    const __m128d magnitude = _mm_castsi128_pd(_mm_set1_epi64x(0x7fffffffffffffff));
    const __m128d largest = _mm_set1_pd(std::numeric_limits<double>::max());
    __m128d finite = _mm_castsi128_pd(_mm_set1_epi64x(-1));
    size_t i = 0;
    for (; i + 2 <= samples.size(); i += 2)
        finite = _mm_and_pd(finite, _mm_cmple_pd(_mm_and_pd(_mm_loadu_pd(samples.data() + i), magnitude), largest));
    return _mm_movemask_pd(finite) == 3 && (i == samples.size() || std::isfinite(samples[i]));
}

} // namespace

// A model's NaN or infinity would spread through everything after it and
// leave figures that mean nothing.
void GetWaveStage::refuse_non_finite() const
{
    if (all_finite(block_))
        return;
    const auto bad = std::find_if(block_.begin(), block_.end(), [](double v) { return !std::isfinite(v); });
    const long long sample = samples_before_ + (bad - block_.begin());
    throw Error("the " + model_.library().label() + "'s AMI_GetWave wrote " + (std::isnan(*bad) ? "NaN" : "infinity") +
                " at sample " + std::to_string(sample) + " of the run (call " + std::to_string(calls_) +
                "); the run stops, as its figures would mean nothing");
}

void GetWaveStage::hand_on_clocks()
{
    const size_t capacity = clock_times_.size() - 1;
    if (!std::isnan(clock_times_[capacity]))
        throw Error("the " + model_.library().label() + " wrote past the clock_times array of " +
                    std::to_string(capacity) + " slots");
    size_t count = 0;
    while (count < capacity && clock_times_[count] != -1.0)
        ++count;
    on_clocks_(clock_times_.data(), count);
    std::fill(clock_times_.begin(), clock_times_.end() - 1, -1.0);
}

double level_of(uint8_t bit) { return bit ? 0.5 : -0.5; }

void nrz_samples(const std::vector<uint8_t> &bits, size_t samples_per_bit, std::vector<double> &samples)
{
    samples.clear();
    for (uint8_t bit : bits)
        samples.insert(samples.end(), samples_per_bit, level_of(bit));
}

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
