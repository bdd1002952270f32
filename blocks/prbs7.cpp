// Conversions between responses and PRBS7 waveforms, and the PRBS7 bit sequence.
#include "ami_patterns.h"
#include "prbs7_period.h"
#include "side_by_side.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kBits = 127;

// One period of x^7 + x^6 + 1 from an all-ones register:
// bit(k) = bit(k-1) XOR bit(k-7); true for bit 1.
constexpr std::array<bool, kBits> prbs7_bits()
{
    std::array<bool, kBits> bits{};
    for (int k = 0; k < kBits; ++k)
        bits[k] = k < 7 ? true : bits[k - 1] != bits[k - 7];
    return bits;
}

constexpr std::array<bool, kBits> kPRBS7 = prbs7_bits();

static_assert(kPRBS7[7] == false && kPRBS7[8] == true && kPRBS7[14] == false && kPRBS7[15] == true);

// Number of ones in the period: 64 ones and 63 zeros.
constexpr int count_ones()
{
    int ones = 0;
    for (bool b : kPRBS7)
        ones += b ? 1 : 0;
    return ones;
}
static_assert(count_ones() == 64);

double *allocate(long long count)
{
    return static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(std::max(count, 1LL))));
}

void zero(double *out, long long count)
{
    if (count > 0)
        std::fill_n(out, count, 0.0);
}

// Index of the largest |x[i]|, i = 0..count-1: strictly greater replaces,
// so the first of equal maxima wins; 0 when all are zero.
int cursor(const double *x, int count)
{
    int m = 0;
    double largest = 0.0;
    for (int i = 0; i < count; ++i) {
        const double a = std::fabs(x[i]);
        if (a > largest) {
            largest = a;
            m = i;
        }
    }
    return m;
}

// Whether one PRBS7 period of S samples per UI has a length that fits an int.
bool period_fits(int S)
{
    return S >= 1 && S <= INT_MAX / kBits;
}

// Whether n samples can hold one PRBS7 period of S samples per UI.
bool holds_period(int n, int S)
{
    return S >= 1 && n / kBits >= S;
}

// x mod n for |x| < 2n, result in 0..n-1.
long long wrap(long long x, long long n)
{
    if (x < 0)
        return x + n;
    return x >= n ? x - n : x;
}

// out[i] += v*in[i] for i < count, two at a time.
void add_scaled(double *out, double v, const double *in, int count)
{
    const __m128d scale = _mm_set1_pd(v);
    int i = 0;
    for (; i + 2 <= count; i += 2)
        _mm_storeu_pd(out + i, _mm_add_pd(_mm_loadu_pd(out + i), _mm_mul_pd(scale, _mm_loadu_pd(in + i))));
    for (; i < count; ++i)
        out[i] = out[i] + v * in[i];
}

// The ripple correction of PRBS2P at sample k of the extended pulse x (read
// as if periodic: x[-pad..n+pad-1] holds it): the UI-spaced window's weighted
// mean less the dense window's.
struct Window {
    const double *x;
    int S;
    long long E;
    const double *ui_weight;    // [17] taps -8..8 UI
    const double *dense_weight; // [2E - 1] taps -E+1..E-1 samples
    double A;                   // sum of the dense weights
    double B;                   // sum of the UI-spaced weights

    double correction(long long k) const
    {
        double spaced = 0.0;
        for (int u = -8; u <= 8; ++u)
            spaced = spaced + ui_weight[u + 8] * x[k + static_cast<long long>(u) * S];
        double local = 0.0;
        for (long long l = -E + 1; l <= E - 1; ++l)
            local = local + dense_weight[l + E - 1] * x[k + l];
        return spaced / B - local / A;
    }

    // Corrections k to k + kSideBySide - 1 side by side, each lane with the
    // operations of correction() in the same order.
    void corrections(long long k, double *corr) const
    {
        constexpr int pairs = ami::kSideBySidePairs;
        __m128d spaced[pairs];
#pragma GCC unroll 8
        for (int v = 0; v < pairs; ++v)
            spaced[v] = _mm_setzero_pd();
        for (int u = -8; u <= 8; ++u) {
            const __m128d w = _mm_set1_pd(ui_weight[u + 8]);
            const double *const at = x + k + static_cast<long long>(u) * S;
#pragma GCC unroll 8
            for (int v = 0; v < pairs; ++v)
                spaced[v] = _mm_add_pd(spaced[v], _mm_mul_pd(_mm_loadu_pd(at + 2 * v), w));
        }
        // Parked in memory, so that the dense window's sums have the registers.
        double spaced_sums[ami::kSideBySide];
#pragma GCC unroll 8
        for (int v = 0; v < pairs; ++v)
            _mm_storeu_pd(spaced_sums + 2 * v, spaced[v]);
        __m128d local[pairs];
#pragma GCC unroll 8
        for (int v = 0; v < pairs; ++v)
            local[v] = _mm_setzero_pd();
        for (long long l = -E + 1; l <= E - 1; ++l) {
            const __m128d w = _mm_set1_pd(dense_weight[l + E - 1]);
            const double *at = x + k + l;
            // Hides that the next tap's loads overlap these by one sample:
            // reusing them across taps costs more registers than i386 and
            // x86-64 have, and the sums then spill.
            asm("" : "+r"(at));
#pragma GCC unroll 8
            for (int v = 0; v < pairs; ++v)
                local[v] = _mm_add_pd(local[v], _mm_mul_pd(_mm_loadu_pd(at + 2 * v), w));
        }
        const __m128d a = _mm_set1_pd(A);
        const __m128d b = _mm_set1_pd(B);
#pragma GCC unroll 8
        for (int v = 0; v < pairs; ++v)
            _mm_storeu_pd(corr + k + 2 * v,
                          _mm_sub_pd(_mm_div_pd(_mm_loadu_pd(spaced_sums + 2 * v), b), _mm_div_pd(local[v], a)));
    }
};

// For k .. k + kSideBySide - 1 side by side: the sum from 0.0 over bits
// b = first .. 126, in that order, of x[(k + l + b*S) mod L], negated where
// the pattern's bit is 0 when `signed_bits`. L = 127*S >= kSideBySide.
void period_sums(const double *x, int S, int k, int first, bool signed_bits, double *out)
{
    constexpr int pairs = ami::kSideBySidePairs;
    const int L = kBits * S;
    const __m128d negate = _mm_set1_pd(-0.0);
    __m128d sums[pairs];
#pragma GCC unroll 8
    for (int v = 0; v < pairs; ++v)
        sums[v] = _mm_setzero_pd();
    int p = k + first * S;
    if (p >= L)
        p -= L;
    for (int b = first; b < kBits; ++b) {
        // Flipping the sign bit is what negation does.
        const __m128d sign = signed_bits && !kPRBS7[b] ? negate : _mm_setzero_pd();
        if (p + ami::kSideBySide <= L) {
#pragma GCC unroll 8
            for (int v = 0; v < pairs; ++v)
                sums[v] = _mm_add_pd(sums[v], _mm_xor_pd(_mm_loadu_pd(x + p + 2 * v), sign));
        } else {
            for (int v = 0; v < pairs; ++v) {
                const int a = p + 2 * v < L ? p + 2 * v : p + 2 * v - L;
                const int c = a + 1 < L ? a + 1 : a + 1 - L;
                sums[v] = _mm_add_pd(sums[v], _mm_xor_pd(_mm_set_pd(x[c], x[a]), sign));
            }
        }
        p += S;
        if (p >= L)
            p -= L;
    }
#pragma GCC unroll 8
    for (int v = 0; v < pairs; ++v)
        _mm_storeu_pd(out + 2 * v, sums[v]);
}

} // namespace

namespace ami {

void invert_prbs7_period(double *pulse, double *w, const double *waveform, int S)
{
    const int L = kBits * S;
    int k = 0;
    // 1. Correlation with the pattern, bit 1 counting +1 and bit 0 -1.
    for (; k + ami::kSideBySide <= L; k += ami::kSideBySide)
        period_sums(waveform, S, k, 0, true, w + k);
    for (; k < L; ++k) {
        double sum = 0.0;
        int position = k;
        for (int b = 0; b < kBits; ++b) {
            sum = sum + (kPRBS7[b] ? waveform[position] : -waveform[position]);
            position += S;
            if (position >= L)
                position -= L;
        }
        w[k] = sum;
    }
    // 2. Inversion: the autocorrelation is 127 at lag 0 and -1 elsewhere.
    double sums[ami::kSideBySide];
    for (k = 0; k + ami::kSideBySide <= L; k += ami::kSideBySide) {
        period_sums(w, S, k, 1, false, sums);
        for (int l = 0; l < ami::kSideBySide; ++l)
            pulse[k + l] = w[k + l] * 0.03125 + sums[l] * 0.015625;
    }
    for (; k < L; ++k) {
        double sum = 0.0;
        int position = k;
        for (int j = 1; j < kBits; ++j) {
            position += S;
            if (position >= L)
                position -= L;
            sum = sum + w[position];
        }
        pulse[k] = w[k] * 0.03125 + sum * 0.015625;
    }
}

} // namespace ami

using ami::invert_prbs7_period;

extern "C" void P2PRBS(double *out, const double *in, int n, int S, double)
{
    if (!period_fits(S))
        return;
    const int L = kBits * S;
    zero(out, L);
    for (int b = 0; b < kBits; ++b) {
        const double v = kPRBS7[b] ? 0.5 : -0.5;
        // Position (j + b*S) mod L, in runs that end where it wraps.
        int position = b * S;
        for (int j = 0; j < n;) {
            const int run = n - j < L - position ? n - j : L - position;
            add_scaled(out + position, v, in + j, run);
            j += run;
            position = 0;
        }
    }
}

extern "C" void PRBS2P(double *out, const double *in, int n, int S, double)
{
    if (n <= 0)
        return;
    if (!holds_period(n, S)) {
        zero(out, n);
        return;
    }
    const int L = kBits * S;
    const long long E = 17LL * S / 2;
    const long long dense = 2 * E - 1; // window taps l = -E+1 .. E-1
    // The extended pulse is also laid out with `pad` samples of wrap-around
    // on either side, so that no tap of the correction has to wrap.
    const long long pad = std::max(8LL * S, E - 1);
    double *const work = allocate(static_cast<long long>(L) + n + dense + 17 + n + 2 * pad);
    if (work == nullptr) {
        zero(out, n);
        return;
    }
    double *const w = work;
    double *const corr = w + L;
    double *const dense_weight = corr + n;
    double *const ui_weight = dense_weight + dense;
    double *const padded = ui_weight + 17;

    invert_prbs7_period(out, w, in, S);

    // 3. Cursor within the period.
    const long long m = cursor(out, L);

    // 4. Extension to n samples.
    const long long S12 = 12LL * S;
    if (m > S12) {
        // One period in the window m - 12 UI .. m + 115 UI - 1, wrapping
        // round the array. Each source out[i - L] lies before the window and
        // is read before anything is written over it.
        for (long long i = L; i <= m + 115LL * S - 1; ++i)
            out[i % n] = out[i - L];
        // The rest: the UI starting 12 UI before the cursor, repeated, in
        // phase with the running index.
        for (long long i = m + 115LL * S; i <= n + m - S12 - 1; ++i)
            out[i % n] = out[m - S12 + i % S];
    } else {
        // The last UI of the period, repeated.
        for (long long i = L; i < n; ++i)
            out[i] = out[126LL * S + i % S];
    }

    // 5. Ripple and baseline correction, all from the extended array.
    const long long G = 289LL * S * S / 4;
    const auto window = [G](long long x) { return 1.0 - static_cast<double>(x * x) / static_cast<double>(G); };
    double A = 0.0;
    for (long long l = -E + 1; l <= E - 1; ++l) {
        dense_weight[l + E - 1] = window(l);
        A = A + dense_weight[l + E - 1];
    }
    double B = 0.0;
    for (int u = -8; u <= 8; ++u) {
        ui_weight[u + 8] = window(static_cast<long long>(u) * S);
        B = B + ui_weight[u + 8];
    }
    for (long long i = -pad; i < n + pad; ++i)
        padded[i + pad] = out[wrap(i, n)];
    const Window window_sums{padded + pad, S, E, ui_weight, dense_weight, A, B};
    long long k = 0;
    for (; k + ami::kSideBySide <= n; k += ami::kSideBySide)
        window_sums.corrections(k, corr);
    for (; k < n; ++k)
        corr[k] = window_sums.correction(k);
    const long long tail = 16LL * S;
    double T = 0.0;
    for (long long i = n - tail; i < n; ++i)
        T = T + out[i];
    T = T / static_cast<double>(tail);
    for (long long k = 0; k < n; ++k)
        out[k] = out[k] - T - corr[k];

    std::free(work);
}

extern "C" void PRBS2I(double *out, const double *in, int n, int S, double dt)
{
    if (n <= 0)
        return;
    double *const pulse = holds_period(n, S) ? static_cast<double *>(std::calloc(static_cast<size_t>(n), sizeof(double)))
                                             : nullptr;
    if (pulse == nullptr) {
        zero(out, n);
        return;
    }
    PRBS2P(pulse, in, n, S, dt);
    P2I(out, pulse, n, S, dt);
    std::free(pulse);
}

extern "C" void I2PRBS(double *out, const double *in, int n, int S, double dt)
{
    if (!period_fits(S))
        return;
    if (n <= 0) {
        zero(out, static_cast<long long>(kBits) * S);
        return;
    }
    double *const pulse = allocate(n);
    if (pulse == nullptr) {
        zero(out, static_cast<long long>(kBits) * S);
        return;
    }
    I2P(pulse, in, n, S, dt);
    P2PRBS(out, pulse, n, S, dt);
    std::free(pulse);
}

extern "C" void I2PRBS7(double **out, const double *in, int n, int S, int *out_length, int *rotation, double dt)
{
    if (out == nullptr || out_length == nullptr || rotation == nullptr)
        return;
    *out = nullptr;
    *out_length = 0;
    *rotation = 0;
    if (n < 1 || S < 1 || S > INT_MAX / (3 * kBits))
        return;

    // Rotation: the peak, moved back 4 UI when it lies beyond 8 UI.
    int r = cursor(in, n);
    if (r > 8LL * S)
        r = r - 4 * S;

    const int L = kBits * S;
    double *const rotated = allocate(n);
    double *const periods = allocate(3LL * L);
    if (rotated == nullptr || periods == nullptr) {
        std::free(rotated);
        std::free(periods);
        return;
    }
    // Every sample moves r places later, wrapping.
    for (long long i = 0; i < n; ++i)
        rotated[i] = in[(n + i - r) % n];
    I2PRBS(periods, rotated, n, S, dt);
    std::memcpy(periods + L, periods, sizeof(double) * static_cast<size_t>(L));
    std::memcpy(periods + 2 * static_cast<size_t>(L), periods, sizeof(double) * static_cast<size_t>(L));
    std::free(rotated);

    *out = periods;
    *out_length = 3 * L;
    *rotation = r;
}

extern "C" void PRBS72I(double *out, double **prbs, int n, int S, int *rotation, double dt)
{
    double *const periods = prbs != nullptr ? *prbs : nullptr;
    if (prbs != nullptr)
        *prbs = nullptr;
    if (n <= 0) {
        std::free(periods);
        return;
    }
    double *const impulse = periods != nullptr && holds_period(n, S) ? allocate(n) : nullptr;
    if (impulse == nullptr) {
        zero(out, n);
        std::free(periods);
        return;
    }
    // The middle period, then the rotation of I2PRBS7 undone.
    PRBS2I(impulse, periods + static_cast<size_t>(kBits) * S, n, S, dt);
    long long r = rotation != nullptr ? *rotation % n : 0;
    if (r < 0)
        r += n;
    for (long long i = 0; i < n; ++i)
        out[i] = impulse[(r + i) % n];
    std::free(impulse);
    std::free(periods);
}
