// Overlap-save convolution with FFTW, segment by segment.
#include "time_domain/convolver.h"

#include "time_domain/overlap_save.h"

#include <algorithm>
#include <cassert>

namespace ami_host {

size_t least_fft_size(size_t kernel_size)
{
    size_t least = 2;
    while (least < 2 * kernel_size)
        least *= 2;
    return least;
}

namespace {

size_t segment_size(size_t kernel_size, size_t requested)
{
    size_t size = 8192;
    while (size < 4 * kernel_size)
        size *= 2;
    if (requested == 0)
        return size;
    return std::max(requested, least_fft_size(kernel_size));
}

} // namespace

struct Convolver::Transforms {
    SegmentInput input;                      // the segment's inputs, history first
    FftwArray<double> output;                // the segment's outputs, valid from history on
    FftwArray<fftw_complex> spectrum;        // size / 2 + 1 bins
    FftwArray<fftw_complex> kernel_spectrum; // size / 2 + 1 bins, scaled by 1 / size
    // The forward transform leaves its input as it was (FFTW's default for
    // real input), so the input keeps the history for the next segment.
    FftPlan forward, backward;

    Transforms(size_t size, size_t history)
        : input(size, history), output(size), spectrum(size / 2 + 1), kernel_spectrum(size / 2 + 1),
          forward(FftPlan::forward(size, input.data(), spectrum.get())),
          backward(FftPlan::backward(size, spectrum.get(), output.get()))
    {
    }
};

Convolver::Convolver(const std::vector<double> &kernel, size_t fft_size)
    : history_(kernel.size() - 1), size_(segment_size(kernel.size(), fft_size)),
      fft_(std::make_unique<Transforms>(size_, history_))
{
    assert(!kernel.empty() && (size_ & (size_ - 1)) == 0);
    double *input = fft_->input.data();
    std::copy(kernel.begin(), kernel.end(), input);
    fft_->forward.execute();
    std::fill(input, input + size_, 0.0);
    store_scaled(fft_->spectrum.get(), size_, fft_->kernel_spectrum.get());
}

Convolver::~Convolver() = default;

void Convolver::run_segment(const Sink &out, size_t produced)
{
    fft_->forward.execute();
    multiply_spectra(fft_->spectrum.get(), fft_->kernel_spectrum.get(), fft_->spectrum.get(), size_ / 2 + 1);
    fft_->backward.execute();
    out(fft_->output.get() + history_, produced);
}

void Convolver::push(const double *in, size_t count, const Sink &out)
{
    fft_->input.push(in, count, [&](size_t produced) { run_segment(out, produced); });
}

void Convolver::finish(const Sink &out)
{
    fft_->input.finish([&](size_t produced) { run_segment(out, produced); });
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
