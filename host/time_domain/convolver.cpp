// Overlap-save convolution with FFTW. Plans are made with FFTW_ESTIMATE so
// that the same sizes always give the same plan and therefore the same
// rounding, run after run.
#include "time_domain/convolver.h"

#include "time_domain/overlap_save.h"

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
    : history_(kernel.size() - 1), size_(segment_size(kernel.size(), fft_size)),
      input_(std::make_unique<SegmentInput>(size_, history_))
{
    assert(!kernel.empty() && (size_ & (size_ - 1)) == 0);
    const size_t bins = size_ / 2 + 1;
    double *input = input_->data();
    output_ = static_cast<double *>(fftw_malloc(sizeof(double) * size_));
    auto *spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    auto *kernel_spectrum = static_cast<fftw_complex *>(fftw_malloc(sizeof(fftw_complex) * bins));
    const int n = static_cast<int>(size_);
    // The forward transform leaves its input as it was (FFTW's default for
    // real input), so the input buffer keeps the history for the next segment.
    auto forward = fftw_plan_dft_r2c_1d(n, input, spectrum, FFTW_ESTIMATE);
    auto backward = fftw_plan_dft_c2r_1d(n, spectrum, output_, FFTW_ESTIMATE);

    std::copy(kernel.begin(), kernel.end(), input);
    fftw_execute(forward);
    std::fill(input, input + size_, 0.0);
    store_scaled(spectrum, size_, kernel_spectrum);
    spectrum_ = spectrum;
    kernel_spectrum_ = kernel_spectrum;
    forward_ = forward;
    backward_ = backward;
}

Convolver::~Convolver()
{
    fftw_destroy_plan(static_cast<fftw_plan>(forward_));
    fftw_destroy_plan(static_cast<fftw_plan>(backward_));
    fftw_free(output_);
    fftw_free(spectrum_);
    fftw_free(kernel_spectrum_);
}

void Convolver::run_segment(const Sink &out, size_t produced)
{
    auto *spectrum = static_cast<fftw_complex *>(spectrum_);
    fftw_execute(static_cast<fftw_plan>(forward_));
    multiply_spectra(spectrum, static_cast<const fftw_complex *>(kernel_spectrum_), spectrum, size_ / 2 + 1);
    fftw_execute(static_cast<fftw_plan>(backward_));
    out(output_ + history_, produced);
}

void Convolver::push(const double *in, size_t count, const Sink &out)
{
    input_->push(in, count, [&](size_t produced) { run_segment(out, produced); });
}

void Convolver::finish(const Sink &out)
{
    input_->finish([&](size_t produced) { run_segment(out, produced); });
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
