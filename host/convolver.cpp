// Overlap-save convolution with FFTW. Plans are made with FFTW_ESTIMATE so
// that the same sizes always give the same plan and therefore the same
// rounding, run after run.
#include "convolver.h"

#include <fftw3.h>

#include <algorithm>
#include <cassert>

namespace ami_host {

namespace {

size_t segment_size(size_t kernel_size, size_t requested)
{
    size_t size = 8192;
    while (size < 4 * kernel_size)
        size *= 2;
    if (requested == 0)
        return size;
    size_t least = 2;
    while (least < 2 * kernel_size)
        least *= 2;
    return std::max(requested, least);
}

} // namespace

Convolver::Convolver(const std::vector<double> &kernel, size_t fft_size)
    : history_(kernel.size() - 1), size_(segment_size(kernel.size(), fft_size)), step_(size_ - history_)
{
    assert(!kernel.empty() && (size_ & (size_ - 1)) == 0);
    const size_t bins = size_ / 2 + 1;
    input_ = static_cast<double *>(fftw_malloc(sizeof(double) * size_));
    output_ = static_cast<double *>(fftw_malloc(sizeof(double) * size_));
    auto *spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    auto *kernel_spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    const int n = static_cast<int>(size_);
    // The forward transform leaves its input as it was (FFTW's default for
    // real input), so the input buffer keeps the history for the next segment.
    auto forward = fftw_plan_dft_r2c_1d(n, input_, spectrum, FFTW_ESTIMATE);
    auto backward = fftw_plan_dft_c2r_1d(n, spectrum, output_, FFTW_ESTIMATE);

    std::fill(input_, input_ + size_, 0.0);
    std::copy(kernel.begin(), kernel.end(), input_);
    fftw_execute(forward);
    std::fill(input_, input_ + size_, 0.0);
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
    fftw_free(input_);
    fftw_free(output_);
    fftw_free(spectrum_);
    fftw_free(kernel_spectrum_);
}

void Convolver::run_segment(const Sink &out, size_t produced)
{
    auto *spectrum = static_cast<fftw_complex *>(spectrum_);
    const auto *kernel = static_cast<const fftw_complex *>(kernel_spectrum_);
    fftw_execute(static_cast<fftw_plan>(forward_));
    const size_t bins = size_ / 2 + 1;
    for (size_t k = 0; k < bins; ++k) {
        const double re = spectrum[k][0] * kernel[k][0] - spectrum[k][1] * kernel[k][1];
        const double im = spectrum[k][0] * kernel[k][1] + spectrum[k][1] * kernel[k][0];
        spectrum[k][0] = re;
        spectrum[k][1] = im;
    }
    fftw_execute(static_cast<fftw_plan>(backward_));
    out(output_ + history_, produced);
    // The last history_ inputs open the next segment.
    std::copy(input_ + size_ - history_, input_ + size_, input_);
    std::fill(input_ + history_, input_ + size_, 0.0);
    filled_ = 0;
}

void Convolver::push(const double *in, size_t count, const Sink &out)
{
    while (count > 0) {
        const size_t take = std::min(count, step_ - filled_);
        std::copy(in, in + take, input_ + history_ + filled_);
        filled_ += take;
        in += take;
        count -= take;
        if (filled_ == step_)
            run_segment(out, step_);
    }
}

void Convolver::finish(const Sink &out)
{
    if (filled_ > 0)
        run_segment(out, filled_);
}

void Convolver::apply(const double *in, size_t count, double *out)
{
    auto collect = [&out](const double *outputs, size_t produced) {
        out = std::copy(outputs, outputs + produced, out);
    };
    push(in, count, collect);
    finish(collect);
}

} // namespace ami_host
