// What the two overlap-save convolutions share: segments of the stream at
// fixed places, each opening with the values before it, and the spectral
// products between their transforms.
#pragma once

#include "base/fft_plan.h"

#include <algorithm>
#include <cstddef>

namespace ami_host {

// The input side: a segment of `size` values whose first `history` are the
// last ones of the segment before (zeros before the stream starts), then up
// to size - history new ones.
class SegmentInput {
public:
    SegmentInput(size_t size, size_t history) : data_(size), size_(size), history_(history)
    {
        std::fill(data(), data() + size_, 0.0);
    }

    double *data() { return data_.get(); }
    size_t step() const { return size_ - history_; }

    // Takes the next `count` values; `full(step())` runs on every segment
    // they complete, after which the next segment opens.
    template <class Full>
    void push(const double *in, size_t count, Full &&full)
    {
        while (count > 0) {
            const size_t take = std::min(count, step() - filled_);
            std::copy(in, in + take, data() + history_ + filled_);
            filled_ += take;
            in += take;
            count -= take;
            if (filled_ == step())
                close(full);
        }
    }
    // Ends the stream: `full(new values)` runs on a partly filled segment.
    template <class Full>
    void finish(Full &&full)
    {
        if (filled_ > 0)
            close(full);
    }

private:
    template <class Full>
    void close(Full &full)
    {
        full(filled_);
        // The last history_ values open the next segment.
        std::copy(data() + size_ - history_, data() + size_, data());
        std::fill(data() + history_, data() + size_, 0.0);
        filled_ = 0;
    }

    FftwArray<double> data_;
    size_t size_, history_;
    size_t filled_ = 0; // new values in the segment
};

// out[k] = a[k] x b[k] for `bins` values; `out` may be `a`.
inline void multiply_spectra(const fftw_complex *a, const fftw_complex *b, fftw_complex *out, size_t bins)
{
    for (size_t k = 0; k < bins; ++k) {
        const double re = a[k][0] * b[k][0] - a[k][1] * b[k][1];
        const double im = a[k][0] * b[k][1] + a[k][1] * b[k][0];
        out[k][0] = re;
        out[k][1] = im;
    }
}

// `to` = `spectrum` / `size`: a response's transform with the unnormalised
// inverse transform's scaling folded in once.
inline void store_scaled(const fftw_complex *spectrum, size_t size, fftw_complex *to)
{
    for (size_t k = 0; k < size / 2 + 1; ++k) {
        to[k][0] = spectrum[k][0] / static_cast<double>(size);
        to[k][1] = spectrum[k][1] / static_cast<double>(size);
    }
}

} // namespace ami_host
