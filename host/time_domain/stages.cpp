// The pipeline's stages: convolution with a response, a model's
// AMI_GetWave in blocks, and the NRZ levels of the stimulus.
#include "time_domain/stages.h"

#include "base/host_error.h"
#include "time_domain/convolver.h"

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
    // Every model gets a clock_times array, a transmitter too (models write
    // at least the terminator whatever their side): room for a clock at
    // every sample and the terminator, then guard slots that must stay
    // untouched.
    clock_times_.assign(block_size_ + 1, -1.0);
    clock_times_.resize(block_size_ + 1 + kClockGuardSlots, std::numeric_limits<double>::quiet_NaN());
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
    parameters_out_ = model_.get_wave(block_.data(), static_cast<long>(block_.size()), clock_times_.data(),
                                      samples_before_);
    ++calls_;
    refuse_non_finite();
    take_clocks();
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
    throw ModelFault("the " + model_.library().label() + "'s AMI_GetWave wrote " +
                     (std::isnan(*bad) ? "NaN" : "infinity") + " at sample " + std::to_string(sample) +
                     " of the run (call " + std::to_string(calls_) +
                     "); the run stops, as its figures would mean nothing");
}

void GetWaveStage::take_clocks()
{
    const size_t capacity = block_size_ + 1;
    if (std::any_of(clock_times_.begin() + static_cast<long>(capacity), clock_times_.end(),
                    [](double guard) { return !std::isnan(guard); }))
        throw ModelFault("the " + model_.library().label() + " wrote past the clock_times array of " +
                         std::to_string(capacity) + " slots");
    if (!on_clocks_)
        return; // a transmitter's clock times are not read, so they need no refill
    size_t count = 0;
    while (count < capacity && clock_times_[count] != -1.0)
        ++count;
    on_clocks_(clock_times_.data(), count);
    std::fill(clock_times_.begin(), clock_times_.begin() + static_cast<long>(capacity), -1.0);
}

double level_of(uint8_t bit) { return bit ? 0.5 : -0.5; }

void nrz_samples(const std::vector<uint8_t> &bits, size_t samples_per_bit, std::vector<double> &samples)
{
    samples.clear();
    for (uint8_t bit : bits)
        samples.insert(samples.end(), samples_per_bit, level_of(bit));
}

} // namespace ami_host
