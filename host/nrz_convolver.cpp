// Bit-rate overlap-save with FFTW (FFTW_ESTIMATE plans: the same sizes give
// the same plan and the same rounding, run after run).
#include "nrz_convolver.h"

#include <fftw3.h>

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

NrzConvolver::NrzConvolver(const std::vector<double> &kernel, int samples_per_bit)
    : per_bit_(static_cast<size_t>(samples_per_bit))
{
    assert(!kernel.empty() && samples_per_bit >= 1);
    const std::vector<double> pulse = bit_response(kernel, per_bit_);
    const size_t taps = (pulse.size() + per_bit_ - 1) / per_bit_;
    history_ = taps - 1;
    size_ = transform_size(taps);
    step_ = size_ - history_;
    const size_t bins = size_ / 2 + 1;
    levels_ = static_cast<double *>(fftw_malloc(sizeof(double) * size_));
    phase_output_ = static_cast<double *>(fftw_malloc(sizeof(double) * size_));
    auto *spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    auto *product = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    const int n = static_cast<int>(size_);
    auto forward = fftw_plan_dft_r2c_1d(n, levels_, spectrum, FFTW_ESTIMATE);
    auto backward = fftw_plan_dft_c2r_1d(n, product, phase_output_, FFTW_ESTIMATE);

    // Each phase's taps, transformed once, with the inverse's scaling folded in.
    phase_spectra_.resize(per_bit_ * bins * 2);
    for (size_t phase = 0; phase < per_bit_; ++phase) {
        std::fill(levels_, levels_ + size_, 0.0);
        for (size_t m = 0; m < taps && m * per_bit_ + phase < pulse.size(); ++m)
            levels_[m] = pulse[m * per_bit_ + phase];
        fftw_execute(forward);
        double *to = phase_spectra_.data() + phase * bins * 2;
        for (size_t k = 0; k < bins; ++k) {
            to[2 * k] = spectrum[k][0] / static_cast<double>(size_);
            to[2 * k + 1] = spectrum[k][1] / static_cast<double>(size_);
        }
    }
    std::fill(levels_, levels_ + size_, 0.0);
    samples_.resize(step_ * per_bit_);
    spectrum_ = spectrum;
    product_ = product;
    forward_ = forward;
    backward_ = backward;
}

NrzConvolver::~NrzConvolver()
{
    fftw_destroy_plan(static_cast<fftw_plan>(forward_));
    fftw_destroy_plan(static_cast<fftw_plan>(backward_));
    fftw_free(levels_);
    fftw_free(phase_output_);
    fftw_free(spectrum_);
    fftw_free(product_);
}

void NrzConvolver::run_segment(const Convolver::Sink &out, size_t produced)
{
    const auto *spectrum = static_cast<const fftw_complex *>(spectrum_);
    auto *product = static_cast<fftw_complex *>(product_);
    fftw_execute(static_cast<fftw_plan>(forward_));
    const size_t bins = size_ / 2 + 1;
    for (size_t phase = 0; phase < per_bit_; ++phase) {
        const double *taps = phase_spectra_.data() + phase * bins * 2;
        for (size_t k = 0; k < bins; ++k) {
            product[k][0] = spectrum[k][0] * taps[2 * k] - spectrum[k][1] * taps[2 * k + 1];
            product[k][1] = spectrum[k][0] * taps[2 * k + 1] + spectrum[k][1] * taps[2 * k];
        }
        fftw_execute(static_cast<fftw_plan>(backward_));
        for (size_t b = 0; b < produced; ++b)
            samples_[b * per_bit_ + phase] = phase_output_[history_ + b];
    }
    out(samples_.data(), produced * per_bit_);
    // The last history_ levels open the next segment.
    std::copy(levels_ + size_ - history_, levels_ + size_, levels_);
    std::fill(levels_ + history_, levels_ + size_, 0.0);
    filled_ = 0;
}

void NrzConvolver::push(const double *levels, size_t count, const Convolver::Sink &out)
{
    while (count > 0) {
        const size_t take = std::min(count, step_ - filled_);
        std::copy(levels, levels + take, levels_ + history_ + filled_);
        filled_ += take;
        levels += take;
        count -= take;
        if (filled_ == step_)
            run_segment(out, step_);
    }
}

void NrzConvolver::finish(const Convolver::Sink &out)
{
    if (filled_ > 0)
        run_segment(out, filled_);
}

} // namespace ami_host
