// Convolution of an NRZ waveform (each bit's level held for a whole number of
// samples) with a sampled response, computed at the bit rate: for each
// sample phase within the bit, the bits' levels convolved with the response
// to one bit at that phase. It gives what Convolver gives for the same
// waveform (to rounding) for less than half the work: its transforms are a
// bit's samples shorter, though there is one per phase.
#pragma once

#include "time_domain/convolver.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace ami_host {

class NrzConvolver {
public:
    // `kernel`: the discrete response, one weight per sample; at least one.
    // `samples_per_bit`: at least 1.
    NrzConvolver(const std::vector<double> &kernel, int samples_per_bit);
    ~NrzConvolver();
    NrzConvolver(const NrzConvolver &) = delete;
    NrzConvolver &operator=(const NrzConvolver &) = delete;

    // Takes the levels (volts) of the next `count` bits and hands `out` the
    // samples of every segment they complete: out[n] = sum over m of
    // kernel[m] x level[(n - m) / samples_per_bit], zero before the first
    // bit. Segments lie at fixed places in the stream of bits, so the
    // outputs do not depend on how the bits are split into pieces.
    void push(const double *levels, size_t count, const Convolver::Sink &out);
    // Ends the input and hands on the samples still owed: samples_per_bit
    // for every bit taken.
    void finish(const Convolver::Sink &out);

private:
    void run_segment(const Convolver::Sink &out, size_t produced);

    struct Transforms; // the segment's arrays and the plans between them

    size_t per_bit_;  // samples per bit
    size_t history_;  // bits carried over from the previous segment: taps per phase - 1
    size_t size_;     // FFT length in bits, a power of two
    std::unique_ptr<Transforms> fft_;
    std::vector<double> samples_; // the segment's samples in time order
};

} // namespace ami_host
