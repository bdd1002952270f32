// Overlap-save convolution with FFTW. Plans are made with FFTW_ESTIMATE so
// that the same sizes always give the same plan and therefore the same
// rounding, run after run.
#include "convolver.h"

#include <fftw3.h>

#include <algorithm>
#include <cassert>

namespace ami_host {

Convolver::Convolver(const std::vector<double> &kernel) : kernel_size_(kernel.size())
{
    assert(!kernel.empty());
    size_ = 8192;
    while (size_ < 4 * kernel_size_)
        size_ *= 2;
    const size_t bins = size_ / 2 + 1;
    buffer_ = static_cast<double *>(fftw_malloc(sizeof(double) * size_));
    auto *spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    auto *kernel_spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    const int n = static_cast<int>(size_);
    auto forward = fftw_plan_dft_r2c_1d(n, buffer_, spectrum, FFTW_ESTIMATE);
    auto backward = fftw_plan_dft_c2r_1d(n, spectrum, buffer_, FFTW_ESTIMATE);

    std::fill(buffer_, buffer_ + size_, 0.0);
    std::copy(kernel.begin(), kernel.end(), buffer_);
    fftw_execute(forward);
    // Fold the inverse transform's scaling into the kernel once.
    for (size_t k = 0; k < bins; ++k) {
        kernel_spectrum[k][0] = spectrum[k][0] / static_cast<double>(size_);
        kernel_spectrum[k][1] = spectrum[k][1] / static_cast<double>(size_);
    }
    spectrum_ = spectrum;
    kernel_spectrum_ = kernel_spectrum;
    forward_ = forward;
    backward_ = backward;
}

Convolver::~Convolver()
{
    fftw_destroy_plan(static_cast<fftw_plan>(forward_));
    fftw_destroy_plan(static_cast<fftw_plan>(backward_));
    fftw_free(buffer_);
    fftw_free(spectrum_);
    fftw_free(kernel_spectrum_);
}

void Convolver::apply(const double *in, size_t count, double *out, const std::function<void(double)> &progress)
{
    auto *spectrum = static_cast<fftw_complex *>(spectrum_);
    const auto *kernel = static_cast<const fftw_complex *>(kernel_spectrum_);
    const size_t history = kernel_size_ - 1;
    const size_t step = size_ - history; // new outputs per segment
    const size_t bins = size_ / 2 + 1;
    for (size_t start = 0; start < count; start += step) {
        // buffer[i] holds in[start - history + i], zero outside the input.
        for (size_t i = 0; i < size_; ++i) {
            const size_t at = start + i;
            buffer_[i] = at >= history && at - history < count ? in[at - history] : 0.0;
        }
        fftw_execute(static_cast<fftw_plan>(forward_));
        for (size_t k = 0; k < bins; ++k) {
            const double re = spectrum[k][0] * kernel[k][0] - spectrum[k][1] * kernel[k][1];
            const double im = spectrum[k][0] * kernel[k][1] + spectrum[k][1] * kernel[k][0];
            spectrum[k][0] = re;
            spectrum[k][1] = im;
        }
        fftw_execute(static_cast<fftw_plan>(backward_));
        const size_t produced = std::min(step, count - start);
        std::copy(buffer_ + history, buffer_ + history + produced, out + start);
        if (progress)
            progress(static_cast<double>(start + produced) / static_cast<double>(count));
    }
}

} // namespace ami_host
