// Convolution of a waveform of any length with a channel's sampled response
// by FFT (overlap-save), fed in pieces of any size.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

namespace ami_host {

// The shortest FFT segment, a power of two, for a kernel of `kernel_size`
// samples: twice its length, so each segment gives as many new outputs.
size_t least_fft_size(size_t kernel_size);

class Convolver {
public:
    // `kernel`: the discrete response, one weight per sample (the impulse
    // response in V/s times the sample interval); at least one sample.
    // `fft_size`: samples per FFT segment, a power of two; 0 takes the
    // smallest of at least 8192 and four kernel lengths, and one shorter
    // than least_fft_size takes that.
    explicit Convolver(const std::vector<double> &kernel, size_t fft_size = 0);
    ~Convolver();
    Convolver(const Convolver &) = delete;
    Convolver &operator=(const Convolver &) = delete;

    // Receives outputs in order; the pointer is valid during the call.
    using Sink = std::function<void(const double *outputs, size_t count)>;

    // Takes the next `count` input samples and hands `out` the outputs of
    // every segment they complete: out[n] = sum over m of kernel[m] x
    // in[n - m], with zeros before the first input. The segments lie at fixed
    // places in the stream, so the outputs do not depend on how the input is
    // split into pieces.
    void push(const double *in, size_t count, const Sink &out);
    // Ends the input (zeros after it) and hands on the outputs still owed, so
    // that every input sample has given one output.
    void finish(const Sink &out);

    // The whole waveform at once: `count` outputs into `out` (not overlapping `in`).
    void apply(const double *in, size_t count, double *out);

    size_t fft_size() const { return size_; }

private:
    void run_segment(const Sink &out, size_t produced);

    struct Transforms; // the segment's arrays and the plans between them

    size_t history_; // kernel samples - 1: inputs carried over from the previous segment
    size_t size_;    // FFT length, a power of two
    std::unique_ptr<Transforms> fft_;
};

} // namespace ami_host
