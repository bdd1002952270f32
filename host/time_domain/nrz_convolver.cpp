// Bit-rate overlap-save with FFTW: one forward transform of the levels per
// segment, one backward transform per phase.
#include "time_domain/nrz_convolver.h"

#include "time_domain/overlap_save.h"

#include <algorithm>
#include <cassert>

namespace ami_host {

namespace {

// The response to one bit of level 1: sample q sums kernel[q - per_bit + 1 .. q].
std::vector<double> bit_response(const std::vector<double> &kernel, size_t per_bit)
{
    std::vector<double> pulse(kernel.size() + per_bit - 1, 0.0);
    for (size_t q = 0; q < pulse.size(); ++q) {
        const size_t first = q + 1 > per_bit ? q + 1 - per_bit : 0;
        const size_t last = std::min(q, kernel.size() - 1);
        double sum = 0.0;
        for (size_t k = first; k <= last; ++k)
            sum += kernel[k];
        pulse[q] = sum;
    }
    return pulse;
}

size_t transform_size(size_t taps)
{
    size_t size = 64;
    while (size < 4 * taps)
        size *= 2;
    return size;
}

} // namespace

struct NrzConvolver::Transforms {
    SegmentInput levels;                   // the segment's levels, history first
    FftwArray<double> phase_output;        // one phase's outputs for the segment, valid from history on
    FftwArray<fftw_complex> spectrum;      // size / 2 + 1 bins: the levels'
    FftwArray<fftw_complex> product;       // size / 2 + 1 bins: the levels' times one phase's response
    FftwArray<fftw_complex> phase_spectra; // size / 2 + 1 bins per phase, scaled by 1 / size
    FftPlan forward, backward;

    Transforms(size_t size, size_t history, size_t phases)
        : levels(size, history), phase_output(size), spectrum(size / 2 + 1), product(size / 2 + 1),
          phase_spectra((size / 2 + 1) * phases), forward(FftPlan::forward(size, levels.data(), spectrum.get())),
          backward(FftPlan::backward(size, product.get(), phase_output.get()))
    {
    }
};

NrzConvolver::NrzConvolver(const std::vector<double> &kernel, int samples_per_bit)
    : per_bit_(static_cast<size_t>(samples_per_bit))
{
    assert(!kernel.empty() && samples_per_bit >= 1);
    const std::vector<double> pulse = bit_response(kernel, per_bit_);
    const size_t taps = (pulse.size() + per_bit_ - 1) / per_bit_;
    history_ = taps - 1;
    size_ = transform_size(taps);
    fft_ = std::make_unique<Transforms>(size_, history_, per_bit_);
    const size_t bins = size_ / 2 + 1;
    double *levels = fft_->levels.data();
    // Each phase's taps, transformed once.
    for (size_t phase = 0; phase < per_bit_; ++phase) {
        std::fill(levels, levels + size_, 0.0);
        for (size_t m = 0; m < taps && m * per_bit_ + phase < pulse.size(); ++m)
            levels[m] = pulse[m * per_bit_ + phase];
        fft_->forward.execute();
        store_scaled(fft_->spectrum.get(), size_, fft_->phase_spectra.get() + phase * bins);
    }
    std::fill(levels, levels + size_, 0.0);
    samples_.resize(fft_->levels.step() * per_bit_);
}

NrzConvolver::~NrzConvolver() = default;

void NrzConvolver::run_segment(const Convolver::Sink &out, size_t produced)
{
    fft_->forward.execute();
    const size_t bins = size_ / 2 + 1;
    const double *phase_output = fft_->phase_output.get();
    for (size_t phase = 0; phase < per_bit_; ++phase) {
        multiply_spectra(fft_->spectrum.get(), fft_->phase_spectra.get() + phase * bins, fft_->product.get(), bins);
        fft_->backward.execute();
        for (size_t b = 0; b < produced; ++b)
            samples_[b * per_bit_ + phase] = phase_output[history_ + b];
    }
    out(samples_.data(), produced * per_bit_);
}

void NrzConvolver::push(const double *levels, size_t count, const Convolver::Sink &out)
{
    fft_->levels.push(levels, count, [&](size_t produced) { run_segment(out, produced); });
}

void NrzConvolver::finish(const Convolver::Sink &out)
{
    fft_->levels.finish([&](size_t produced) { run_segment(out, produced); });
}

} // namespace ami_host
