// The work that the model benchmarks time, shared by the Google Benchmark
// programs and the dlopen timing program: realistic receiver input, the
// impulse-response columns, a plain order-6 IIR and 12-tap FIR as yardsticks,
// and checks of the models' outputs against the reference loops.
#pragma once

#include "Quorvane_pelisk4.h"
#include "dorvex8_tx.h"
#include "reference.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace workloads {

using Samples = std::vector<double>;
using InitFn = long (*)(double *, long, long, double, double, char *, char **, void **, char **);
using GetWaveFn = long (*)(double *, long, double *, char **, void *);
using CloseFn = long (*)(void *);

using CtleIndexFn = int (*)(int, int);

// A model's entry points; for the receiver also its CTLE row look-up
// (RxCTLEGetIndex), which the reference check needs.
struct Model {
    InitFn init;
    GetWaveFn get_wave;
    CloseFn close;
    CtleIndexFn ctle_index;
};

constexpr double kRxSampleInterval = 1e-12;
constexpr double kTxSampleInterval = 1e-11;
constexpr int kSamplesPerBit = 32;
constexpr long kWaveBlock = 65536;

// PRBS15 bits of +-0.5 at `samples_per_bit`, through a lossy channel: a
// fast and a slow low-pass pole (the loss) and a small reflection 5 UI later.
// The result swings over about +-0.65, the whole range of the limiting
// amplifier's curve and a little beyond.
inline Samples channel_wave(size_t samples, int samples_per_bit)
{
    Samples wave(samples);
    unsigned state = 0x7fff;
    double level = 0.5, fast = 0.0, slow = 0.0;
    const size_t echo = 5 * static_cast<size_t>(samples_per_bit);
    const double fast_pole = std::exp(-1.0 / (0.6 * samples_per_bit));
    const double slow_pole = std::exp(-1.0 / (8.0 * samples_per_bit));
    for (size_t n = 0; n < samples; ++n) {
        if (n % static_cast<size_t>(samples_per_bit) == 0) {
            const unsigned bit = ((state >> 14) ^ (state >> 13)) & 1u;
            state = ((state << 1) | bit) & 0x7fffu;
            level = bit ? 0.5 : -0.5;
        }
        fast = fast_pole * fast + (1.0 - fast_pole) * level;
        slow = slow_pole * slow + (1.0 - slow_pole) * level;
        wave[n] = 1.25 * (0.8 * fast + 0.2 * slow);
    }
    for (size_t n = samples; n-- > echo;)
        wave[n] += 0.06 * wave[n - echo];
    return wave;
}

// A receiver impulse-response column: a one-UI bump and a slowly decaying tail.
inline Samples rx_column(long rows, int samples_per_bit)
{
    Samples column(static_cast<size_t>(rows), 0.0);
    const double bump = 3.0 * samples_per_bit;
    for (long i = 0; i < rows; ++i) {
        const double t = static_cast<double>(i);
        column[static_cast<size_t>(i)] =
            (t < bump ? 1e10 * std::sin(M_PI * t / bump) : 0.0) + 2e8 * std::exp(-t / (20.0 * samples_per_bit));
    }
    return column;
}

// y[n] = sum_k b[k] x[n-k] - sum_k a[k] y[n-k], k up to 6: a plain direct-form
// loop, histories in arrays.
inline void plain_iir(const double *x, size_t count, double *y)
{
    static const double b[7] = {0.02, 0.05, 0.08, 0.1, 0.08, 0.05, 0.02};
    static const double a[7] = {1.0, -1.2, 0.9, -0.4, 0.15, -0.03, 0.004};
    double xh[7] = {}, yh[7] = {};
    for (size_t n = 0; n < count; ++n) {
        for (int k = 6; k > 0; --k)
            xh[k] = xh[k - 1];
        xh[0] = x[n];
        double acc = 0.0;
        for (int k = 0; k <= 6; ++k)
            acc += b[k] * xh[k];
        for (int k = 1; k <= 6; ++k)
            acc -= a[k] * yh[k - 1];
        for (int k = 6; k > 0; --k)
            yh[k] = yh[k - 1];
        yh[0] = acc;
        y[n] = acc;
    }
}

// A plain 12-tap FIR, history in an array.
inline void plain_fir(const double *x, size_t count, double *y)
{
    static const double c[12] = {0.01, -0.02, 0.05, 0.1, 0.2, 0.3, 0.2, 0.1, 0.05, -0.02, 0.01, 0.005};
    double h[12] = {};
    for (size_t n = 0; n < count; ++n) {
        for (int k = 11; k > 0; --k)
            h[k] = h[k - 1];
        h[0] = x[n];
        double acc = 0.0;
        for (int k = 0; k < 12; ++k)
            acc += c[k] * h[k];
        y[n] = acc;
    }
}

// Shortest of `repeats` runs of f, seconds: the least disturbed by other
// work on a shared machine.
template <class F>
double best_seconds(F f, int repeats)
{
    double best = 1e300;
    for (int i = 0; i < repeats; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// Samples per second of the plain filters over `input`, best of `repeats`.
inline double plain_rate(void (*filter)(const double *, size_t, double *), const Samples &input, int repeats)
{
    Samples out(input.size());
    const double t = best_seconds([&] { filter(input.data(), input.size(), out.data()); }, repeats);
    return static_cast<double>(input.size()) / t;
}

inline bool same_bits(const Samples &a, const Samples &b)
{
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

inline void *start(const Model &m, double *matrix, long rows, double dt, double bit_time, const char *settings)
{
    std::string text = settings ? settings : "";
    char *out = nullptr, *msg = nullptr;
    void *instance = nullptr;
    if (m.init(matrix, rows, 0, dt, bit_time, settings ? text.data() : nullptr, &out, &instance, &msg) != 1) {
        m.close(instance);
        return nullptr;
    }
    return instance;
}

// The receiver's AMI_GetWave on channel input against its blocks' reference
// loops run on a second instance: waveform and clock times.
inline bool rx_wave_matches_reference(const Model &m)
{
    const double bit_time = kRxSampleInterval * kSamplesPerBit;
    void *fast = start(m, nullptr, 0, kRxSampleInterval, bit_time, nullptr);
    void *slow = start(m, nullptr, 0, kRxSampleInterval, bit_time, nullptr);
    bool same = false;
    if (fast && slow && m.ctle_index) {
        Samples wave = channel_wave(20000, kSamplesPerBit), expected = wave;
        Samples times(wave.size() + 1, -1.0), expected_times = times;
        char *out = nullptr;
        m.get_wave(wave.data(), static_cast<long>(wave.size()), times.data(), &out, fast);
        RxInstance *rx = static_cast<RxInstance *>(slow);
        const int n = static_cast<int>(wave.size());
        double *x = expected.data();
        reference::ApplyPeakingFilter(x, n, rx->ctle, m.ctle_index(rx->rx_process, rx->eq_config), 0, x);
        reference::ApplyTable(x, n, rx->lim_amp, x);
        reference::ApplyRiseFall(x, n, rx->rise_fall, 0, x);
        reference::ApplyAdvancedNerovaCDR(x, n, rx->cdr, rx->sample_interval, 0, expected_times.data());
        same = same_bits(wave, expected) && same_bits(times, expected_times);
    }
    m.close(fast);
    m.close(slow);
    return same;
}

inline const char kTxSettings[] = "(dorvex8_tx (TX_Deemph 4))";

// The transmitter's AMI_GetWave against the reference FFE and FIR loops.
inline bool tx_wave_matches_reference(const Model &m)
{
    const double bit_time = kTxSampleInterval * kSamplesPerBit;
    void *fast = start(m, nullptr, 0, kTxSampleInterval, bit_time, kTxSettings);
    void *slow = start(m, nullptr, 0, kTxSampleInterval, bit_time, kTxSettings);
    bool same = false;
    if (fast && slow) {
        Samples wave = channel_wave(20000, kSamplesPerBit), expected = wave;
        m.get_wave(wave.data(), static_cast<long>(wave.size()), nullptr, nullptr, fast);
        TxInstance *tx = static_cast<TxInstance *>(slow);
        const int n = static_cast<int>(wave.size());
        reference::ApplyTxFFE(expected.data(), n, tx->ffe, 0, expected.data());
        reference::ApplyFIR(expected.data(), n, tx->fir, 0, 0, expected.data());
        same = same_bits(wave, expected);
    }
    m.close(fast);
    m.close(slow);
    return same;
}

// The receiver's AMI_Init on one column against the reference loops of its
// CTLE, limiting amplifier (through one PRBS7 period) and edge-rate filter.
inline bool rx_init_matches_reference(const Model &m, long rows, int samples_per_bit)
{
    const double bit_time = kRxSampleInterval * samples_per_bit;
    Samples column = rx_column(rows, samples_per_bit), expected = column;
    void *fast = start(m, column.data(), rows, kRxSampleInterval, bit_time, nullptr);
    void *slow = start(m, nullptr, 0, kRxSampleInterval, bit_time, nullptr);
    bool same = false;
    if (fast && slow && m.ctle_index) {
        RxInstance *rx = static_cast<RxInstance *>(slow);
        const int n = static_cast<int>(rows);
        double *x = expected.data();
        reference::ApplyPeakingFilter(x, n, rx->ctle, m.ctle_index(rx->rx_process, rx->eq_config), 1, x);
        reference::ApplyTablePRBS(x, n, samples_per_bit, rx->sample_interval, rx->lim_amp, x);
        reference::ApplyRiseFall(x, n, rx->rise_fall, 1, x);
        same = same_bits(column, expected);
    }
    m.close(fast);
    m.close(slow);
    return same;
}

} // namespace workloads
