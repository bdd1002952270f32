// Convolution of a long waveform with a channel's sampled response by FFT
// (overlap-save), independent of how the caller splits the waveform.
#pragma once

#include <cstddef>
#include <functional>
#include <vector>

namespace ami_host {

class Convolver {
public:
    // `kernel`: the discrete response, one weight per sample (the impulse
    // response in V/s times the sample interval); at least one sample.
    explicit Convolver(const std::vector<double> &kernel);
    ~Convolver();
    Convolver(const Convolver &) = delete;
    Convolver &operator=(const Convolver &) = delete;

    // out[n] = sum over m of kernel[m] x in[n - m], for n = 0 .. count - 1,
    // with zeros before the first input. `out` must not overlap `in`. The
    // FFT segments depend on the kernel length alone, so the result is the
    // same whatever blocks the input came in. `progress` (may be empty) is
    // called with the fraction done after each segment.
    void apply(const double *in, size_t count, double *out,
               const std::function<void(double)> &progress = {});

    size_t fft_size() const { return size_; }

private:
    size_t kernel_size_;
    size_t size_; // FFT length, a power of two
    double *buffer_;
    void *spectrum_;        // fftw_complex[size_ / 2 + 1]
    void *kernel_spectrum_; // fftw_complex[size_ / 2 + 1]
    void *forward_;         // fftw_plan
    void *backward_;        // fftw_plan
};

} // namespace ami_host
