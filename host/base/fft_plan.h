// FFTW's arrays and plans, each freed by its owner. Plans are made with
// FFTW_ESTIMATE: the same sizes always give the same plan, and so the same
// rounding, run after run.
#pragma once

#include <fftw3.h>

#include <cstddef>
#include <utility>

namespace ami_host {

// `count` values from fftw_malloc, aligned as FFTW's vector code wants them.
template <class T>
class FftwArray {
public:
    explicit FftwArray(size_t count) : data_(static_cast<T *>(fftw_malloc(sizeof(T) * count))) {}
    ~FftwArray() { fftw_free(data_); }
    FftwArray(FftwArray &&other) noexcept : data_(std::exchange(other.data_, nullptr)) {}
    FftwArray &operator=(FftwArray &&other) noexcept
    {
        std::swap(data_, other.data_);
        return *this;
    }

    T *get() const { return data_; }

private:
    T *data_;
};

// A one-dimensional transform between `size` real samples and their
// size / 2 + 1 bins, always on the arrays it was made for.
class FftPlan {
public:
    // Samples to bins; the samples are left as they were.
    static FftPlan forward(size_t size, double *samples, fftw_complex *bins)
    {
        return FftPlan(fftw_plan_dft_r2c_1d(static_cast<int>(size), samples, bins, FFTW_ESTIMATE));
    }
    // Bins to samples, unnormalised (size times the inverse); the bins are overwritten.
    static FftPlan backward(size_t size, fftw_complex *bins, double *samples)
    {
        return FftPlan(fftw_plan_dft_c2r_1d(static_cast<int>(size), bins, samples, FFTW_ESTIMATE));
    }

    ~FftPlan()
    {
        if (plan_ != nullptr)
            fftw_destroy_plan(plan_);
    }
    FftPlan(FftPlan &&other) noexcept : plan_(std::exchange(other.plan_, nullptr)) {}
    FftPlan &operator=(FftPlan &&other) noexcept
    {
        std::swap(plan_, other.plan_);
        return *this;
    }

    void execute() const { fftw_execute(plan_); }

private:
    explicit FftPlan(fftw_plan plan) : plan_(plan) {}

    fftw_plan plan_;
};

} // namespace ami_host
