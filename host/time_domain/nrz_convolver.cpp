// Bit-rate overlap-save with FFTW (FFTW_ESTIMATE plans: the same sizes give
// the same plan and the same rounding, run after run).
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

NrzConvolver::NrzConvolver(const std::vector<double> &kernel, int samples_per_bit)
    : per_bit_(static_cast<size_t>(samples_per_bit))
{
    assert(!kernel.empty() && samples_per_bit >= 1);
    const std::vector<double> pulse = bit_response(kernel, per_bit_);
    const size_t taps = (pulse.size() + per_bit_ - 1) / per_bit_;
    history_ = taps - 1;
    size_ = transform_size(taps);
    levels_ = std::make_unique<SegmentInput>(size_, history_);
    const size_t bins = size_ / 2 + 1;
    double *levels = levels_->data();
    phase_output_ = static_cast<double *>(fftw_malloc(sizeof(double) * size_));
    auto *spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    auto *product = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    auto *phase_spectra = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins * per_bit_));
    const int n = static_cast<int>(size_);
    auto forward = fftw_plan_dft_r2c_1d(n, levels, spectrum, FFTW_ESTIMATE);
    auto backward = fftw_plan_dft_c2r_1d(n, product, phase_output_, FFTW_ESTIMATE);

    // Each phase's taps, transformed once.
    for (size_t phase = 0; phase < per_bit_; ++phase) {
        std::fill(levels, levels + size_, 0.0);
        for (size_t m = 0; m < taps && m * per_bit_ + phase < pulse.size(); ++m)
            levels[m] = pulse[m * per_bit_ + phase];
        fftw_execute(forward);
        store_scaled(spectrum, size_, phase_spectra + phase * bins);
    }
    std::fill(levels, levels + size_, 0.0);
    samples_.resize(levels_->step() * per_bit_);
    spectrum_ = spectrum;
    product_ = product;
    phase_spectra_ = phase_spectra;
    forward_ = forward;
    backward_ = backward;
}

NrzConvolver::~NrzConvolver()
{
    fftw_destroy_plan(static_cast<fftw_plan>(forward_));
    fftw_destroy_plan(static_cast<fftw_plan>(backward_));
    fftw_free(phase_output_);
    fftw_free(spectrum_);
    fftw_free(product_);
    fftw_free(phase_spectra_);
}

void NrzConvolver::run_segment(const Convolver::Sink &out, size_t produced)
{
    const auto *spectrum = static_cast<const fftw_complex *>(spectrum_);
    const auto *phase_spectra = static_cast<const fftw_complex *>(phase_spectra_);
    auto *product = static_cast<fftw_complex *>(product_);
    fftw_execute(static_cast<fftw_plan>(forward_));
    const size_t bins = size_ / 2 + 1;
    for (size_t phase = 0; phase < per_bit_; ++phase) {
        multiply_spectra(spectrum, phase_spectra + phase * bins, product, bins);
        fftw_execute(static_cast<fftw_plan>(backward_));
        for (size_t b = 0; b < produced; ++b)
            samples_[b * per_bit_ + phase] = phase_output_[history_ + b];
    }
    out(samples_.data(), produced * per_bit_);
}

void NrzConvolver::push(const double *levels, size_t count, const Convolver::Sink &out)
{
    levels_->push(levels, count, [&](size_t produced) { run_segment(out, produced); });
}

void NrzConvolver::finish(const Convolver::Sink &out)
{
    levels_->finish([&](size_t produced) { run_segment(out, produced); });
}

} // namespace ami_host
