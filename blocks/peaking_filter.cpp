// Peaking filter: a bank of pole/weight configurations turned into IIR filters.
#include "ami_complex.h"
#include "ami_peaking_filter.h"
#include "copy_samples.h"
#include "peaking_run.h"

#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

bool is_zero(Complex c)
{
    return c.re == 0.0 && c.im == 0.0;
}

template <typename T> T *allocate(int count)
{
    // At least one element, so that a null result always means failure.
    const size_t n = count > 0 ? static_cast<size_t>(count) : 1;
    return static_cast<T *>(std::calloc(n, sizeof(T)));
}

// Adds the sections of configuration `config` to the common-denominator
// numerator P and denominator Q, and writes its real coefficients.
void design(const FilterConfig &config, int order, double sample_interval, Complex *P, Complex *Q, Complex *W,
            double *forward, double *feedback)
{
    const int taps = order + 1;
    for (int j = 0; j < taps; ++j) {
        P[j] = cmplx(0.0, 0.0);
        W[j] = cmplx(0.0, 0.0);
        Q[j] = cmplx(j == 0 ? 1.0 : 0.0, 0.0);
    }
    for (int k = 0; k < order; ++k) {
        const Complex p = config.poles[k];
        const Complex w = config.weights[k];
        // The sections of a configuration end at its first zero weight.
        if (is_zero(w))
            break;
        const Complex u = improduct(p, cmplx(-sample_interval, 0.0));
        const Complex e_half = imexp(imdiv(u, cmplx(-2.0, 0.0)));
        const Complex e_full = imexp(imdiv(u, cmplx(-1.0, 0.0)));
        // Section B/A: the pole section driven by a sample held for one
        // interval centred on its instant.
        const Complex B[2] = {improduct(w, imsub(cmplx(1.0, 0.0), e_half)), improduct(w, imsub(e_half, e_full))};
        const Complex A[2] = {cmplx(1.0, 0.0), improduct(cmplx(-1.0, 0.0), e_full)};
        // P/Q += B/A over the common denominator Q*A.
        std::memcpy(W, Q, sizeof(Complex) * static_cast<size_t>(taps));
        CPolyMult(P, taps, A, 2);
        CPolyMult(Q, taps, A, 2);
        CPolyMult(W, taps, B, 2);
        CPolyAdd(P, taps, W, taps);
        for (int j = 0; j < taps; ++j)
            forward[j] = P[j].re;
        for (int j = 1; j < taps; ++j)
            feedback[j - 1] = -(Q[j].re);
    }
}

} // namespace

extern "C" void SetupFilterConfig(FilterConfig *config, int pole_count, int index, double gain,
                                  const Complex *poles, const Complex *weights, char *, int)
{
    if (config == nullptr)
        return;
    config->index = index;
    config->pole_count = 0;
    config->poles = nullptr;
    config->weights = nullptr;
    if (pole_count < 1 || poles == nullptr || weights == nullptr)
        return;
    Complex *const p = allocate<Complex>(pole_count);
    Complex *const w = allocate<Complex>(pole_count);
    if (p == nullptr || w == nullptr) {
        std::free(p);
        std::free(w);
        return;
    }
    for (int k = 0; k < pole_count; ++k) {
        p[k] = poles[k];
        w[k] = improduct(weights[k], cmplx(gain, 0.0));
    }
    config->pole_count = pole_count;
    config->poles = p;
    config->weights = w;
}

extern "C" PeakingFilter SetupPeakingFilter(double sample_interval, int order, int config_count,
                                            const Complex *const *poles, const Complex *const *weights,
                                            const double *gains, char *message, int message_size)
{
    const PeakingFilter pass_through{};
    // order + 1 must stay an int.
    if (order < 0 || order == INT_MAX || config_count < 0)
        return pass_through;
    if (config_count == 0)
        return pass_through;
    if (gains == nullptr || poles == nullptr || weights == nullptr)
        return pass_through;
    if (order > 0)
        for (int i = 0; i < config_count; ++i)
            if (poles[i] == nullptr || weights[i] == nullptr)
                return pass_through;

    const int taps = order + 1;
    PeakingFilter filt{};
    filt.config_count = config_count;
    filt.tap_count = taps;
    filt.configs = allocate<FilterConfig>(config_count);
    filt.forward_coefs = allocate<double *>(config_count);
    filt.feedback_coefs = allocate<double *>(config_count);
    filt.peak_in = allocate<double>(taps);
    filt.peak_out = allocate<double>(taps);
    Complex *const P = allocate<Complex>(taps);
    Complex *const Q = allocate<Complex>(taps);
    Complex *const W = allocate<Complex>(taps);
    bool allocated = filt.configs && filt.forward_coefs && filt.feedback_coefs && filt.peak_in && filt.peak_out &&
                     P && Q && W;
    for (int i = 0; allocated && i < config_count; ++i) {
        SetupFilterConfig(&filt.configs[i], order, i, gains[i], order > 0 ? poles[i] : nullptr,
                          order > 0 ? weights[i] : nullptr, message, message_size);
        filt.forward_coefs[i] = allocate<double>(taps);
        filt.feedback_coefs[i] = allocate<double>(order);
        allocated = filt.configs[i].pole_count == order && filt.forward_coefs[i] && filt.feedback_coefs[i];
    }
    if (allocated)
        for (int i = 0; i < config_count; ++i)
            design(filt.configs[i], order, sample_interval, P, Q, W, filt.forward_coefs[i], filt.feedback_coefs[i]);
    std::free(P);
    std::free(Q);
    std::free(W);
    if (!allocated) {
        DeletePeakingFilter(filt);
        return pass_through;
    }
    return filt;
}

namespace {

// The general loop, for orders above kLocalPeakingOrder: histories shifted in
// place.
void filter_in_place(const double *in, int count, const PeakingFilter &filt, int s, double *out)
{
    const double *const b = filt.forward_coefs[s];
    const double *const f = filt.feedback_coefs[s];
    const int N = filt.tap_count - 1;
    double *const peak_in = filt.peak_in;
    double *const peak_out = filt.peak_out;
    for (int n = 0; n < count; ++n) {
        // Read the sample before out[n] is written, so in and out may be one array.
        const double x = in[n];
        for (int j = N; j >= 1; --j)
            peak_out[j] = peak_out[j - 1];
        double acc = b[0] * x;
        for (int j = N; j >= 1; --j) {
            acc = acc + (b[j] * peak_in[j - 1] + f[j - 1] * peak_out[j]);
            peak_in[j] = peak_in[j - 1];
        }
        peak_out[0] = acc;
        out[n] = acc;
        peak_in[0] = x;
    }
}

template <int N>
void filter_locally(const double *in, int count, const PeakingFilter &filt, int s, double *out)
{
    ami::PeakingRun<N> run(filt, s);
    for (int n = 0; n < count; ++n)
        out[n] = run.step(in[n]);
    run.store(filt);
}

template <int N>
void filter(const double *in, int count, const PeakingFilter &filt, int s, double *out)
{
    if constexpr (N > ami::kLocalPeakingOrder) {
        filter_in_place(in, count, filt, s, out);
    } else if (filt.tap_count - 1 == N) {
        filter_locally<N>(in, count, filt, s, out);
    } else {
        filter<N + 1>(in, count, filt, s, out);
    }
}

} // namespace

extern "C" void ApplyPeakingFilter(const double *in, int count, PeakingFilter filt, int select, int reset,
                                   double *out)
{
    if (filt.config_count <= 0) {
        ami::copy_samples(in, count, out);
        return;
    }
    // A filter with configurations always has its histories.
    assert(filt.peak_in);
    assert(filt.peak_out);

    const int s = select >= 0 && select < filt.config_count ? select : 0;
    const size_t history_bytes = sizeof(double) * static_cast<size_t>(filt.tap_count);
    if (reset) {
        std::memset(filt.peak_in, 0, history_bytes);
        std::memset(filt.peak_out, 0, history_bytes);
    }
    if (count > 0)
        filter<0>(in, count, filt, s, out);
    if (reset) {
        std::memset(filt.peak_in, 0, history_bytes);
        std::memset(filt.peak_out, 0, history_bytes);
    }
}

extern "C" void DeletePeakingFilter(PeakingFilter filt)
{
    for (int i = 0; i < filt.config_count; ++i) {
        if (filt.configs != nullptr) {
            std::free(filt.configs[i].poles);
            std::free(filt.configs[i].weights);
        }
        if (filt.forward_coefs != nullptr)
            std::free(filt.forward_coefs[i]);
        if (filt.feedback_coefs != nullptr)
            std::free(filt.feedback_coefs[i]);
    }
    std::free(filt.configs);
    std::free(filt.peak_in);
    std::free(filt.peak_out);
    std::free(filt.forward_coefs);
    std::free(filt.feedback_coefs);
}
