// Conversions between impulse, step and pulse responses.
#include "ami_patterns.h"
#include "side_by_side.h"

#include <algorithm>
#include <cstdlib>

namespace {

// S2I over x[0..n-1]; n >= 1. Indices of the stencil are clamped to the array.
void differentiate(double *out, const double *x, int n, double dt)
{
    const auto at = [x, n](long long k) { return x[std::clamp(k, 0LL, static_cast<long long>(n) - 1)]; };
    for (int k = 0; k < n; ++k)
        out[k] = (0.59 * (at(k + 1LL) - at(k - 1LL)) - 0.03 * (at(k + 3LL) - at(k - 3LL))) / dt;
}

// Step i: in[i] + in[i - S] + in[i - 2S] + ..., added newest first.
double step_sum(const double *in, int i, int S)
{
    double s = in[i];
    for (int j = i - S; j >= 0; j -= S)
        s = s + in[j];
    return s;
}

// Steps i to i + kSideBySide - 1 side by side: the terms that every lane has
// in SSE2 registers, then each lane's last few alone, in the order of
// step_sum.
void step_sums(const double *in, int i, int S, double *step)
{
    constexpr int pairs = ami::kSideBySidePairs;
    __m128d sums[pairs];
#pragma GCC unroll 8
    for (int v = 0; v < pairs; ++v)
        sums[v] = _mm_loadu_pd(in + i + 2 * v);
    int j = i - S;
    for (; j >= 0; j -= S) {
#pragma GCC unroll 8
        for (int v = 0; v < pairs; ++v)
            sums[v] = _mm_add_pd(sums[v], _mm_loadu_pd(in + j + 2 * v));
    }
    double lanes[ami::kSideBySide];
#pragma GCC unroll 8
    for (int v = 0; v < pairs; ++v)
        _mm_storeu_pd(lanes + 2 * v, sums[v]);
    // Lane l goes on from in[j + l], j being negative now.
    for (int l = 0; l < ami::kSideBySide; ++l) {
        double s = lanes[l];
        for (int k = j + l; k >= 0; k -= S)
            s = s + in[k];
        step[i + l] = s;
    }
}

// Pulse samples i to i + kSideBySide - 1 side by side (i >= S - 1): each
// dt*(in[i] + in[i - 1] + ... + in[i - S + 1]), added newest first. All
// inputs are read before any output is written.
void window_sums(const double *in, int i, int S, double dt, double *out)
{
    constexpr int pairs = ami::kSideBySidePairs;
    __m128d sums[pairs];
#pragma GCC unroll 8
    for (int v = 0; v < pairs; ++v)
        sums[v] = _mm_loadu_pd(in + i + 2 * v);
    for (int m = 1; m < S; ++m) {
#pragma GCC unroll 8
        for (int v = 0; v < pairs; ++v)
            sums[v] = _mm_add_pd(sums[v], _mm_loadu_pd(in + i - m + 2 * v));
    }
    const __m128d scale = _mm_set1_pd(dt);
#pragma GCC unroll 8
    for (int v = 0; v < pairs; ++v)
        _mm_storeu_pd(out + i + 2 * v, _mm_mul_pd(scale, sums[v]));
}

} // namespace

extern "C" void I2S(double *out, const double *in, int n, double dt)
{
    if (n <= 0)
        return;
    const size_t half = static_cast<size_t>(n);
    double r = 0.0;
    for (size_t i = 0; i < half; ++i) {
        out[i] = 0.0;
        out[half + i] = r;
        r = r + dt * in[i];
    }
    const double offset = r / 2;
    for (size_t k = 0; k < 2 * half; ++k)
        out[k] = out[k] - offset;
}

extern "C" void S2I(double *out, const double *in, int n, double dt)
{
    if (n <= 0)
        return;
    differentiate(out, in + n, n, dt);
}

extern "C" void I2P(double *out, const double *in, int n, int S, double dt)
{
    if (n <= 0)
        return;
    if (S < 1) {
        std::fill_n(out, n, 0.0);
        return;
    }
    // From the end down: out[i] reads in[i] and earlier samples only, so out
    // may be in itself.
    int i = n;
    while (i - ami::kSideBySide >= S - 1 && i - ami::kSideBySide >= 0) {
        i -= ami::kSideBySide;
        window_sums(in, i, S, dt, out);
    }
    while (--i >= 0) {
        double sum = in[i];
        for (int j = i - 1; j >= 0 && j > i - S; --j)
            sum = sum + in[j];
        out[i] = dt * sum;
    }
}

extern "C" void P2I(double *out, const double *in, int n, int S, double dt)
{
    if (n <= 0)
        return;
    // Only the step's second half is read by the differentiation, so the
    // work array holds just that half.
    double *const step = S < 1 ? nullptr : static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
    if (step == nullptr) {
        std::fill_n(out, n, 0.0);
        return;
    }
    int i = 0;
    for (; i + ami::kSideBySide <= n; i += ami::kSideBySide)
        step_sums(in, i, S, step);
    for (; i < n; ++i)
        step[i] = step_sum(in, i, S);
    differentiate(out, step, n, dt);
    std::free(step);
}
