// Reference loops of the pulse and PRBS7 conversions that AMI_Init spends its
// time in.
#include "reference.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kBits = 127;

constexpr std::array<bool, kBits> prbs7_bits()
{
    std::array<bool, kBits> bits{};
    for (int k = 0; k < kBits; ++k)
        bits[k] = k < 7 ? true : bits[k - 1] != bits[k - 7];
    return bits;
}

constexpr std::array<bool, kBits> kPRBS7 = prbs7_bits();

void differentiate(double *out, const double *x, int n, double dt)
{
    const auto at = [x, n](long long k) { return x[std::clamp(k, 0LL, static_cast<long long>(n) - 1)]; };
    for (int k = 0; k < n; ++k)
        out[k] = (0.59 * (at(k + 1LL) - at(k - 1LL)) - 0.03 * (at(k + 3LL) - at(k - 3LL))) / dt;
}

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

long long wrap(long long x, long long n)
{
    if (x < 0)
        return x + n;
    return x >= n ? x - n : x;
}

void invert_prbs7_period(double *pulse, double *w, const double *waveform, int S)
{
    const int L = kBits * S;
    for (int k = 0; k < L; ++k) {
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
    for (int k = 0; k < L; ++k) {
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

} // namespace

namespace reference {

void I2P(double *out, const double *in, int n, int S, double dt)
{
    if (n <= 0)
        return;
    if (S < 1) {
        std::fill_n(out, n, 0.0);
        return;
    }
    for (int i = n - 1; i >= 0; --i) {
        double sum = in[i];
        for (int j = i - 1; j >= 0 && j > i - S; --j)
            sum = sum + in[j];
        out[i] = dt * sum;
    }
}

void P2I(double *out, const double *in, int n, int S, double dt)
{
    if (n <= 0)
        return;
    if (S < 1) {
        std::fill_n(out, n, 0.0);
        return;
    }
    double *const step = static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
    for (int i = 0; i < n; ++i) {
        double s = in[i];
        for (int j = i - S; j >= 0; j -= S)
            s = s + in[j];
        step[i] = s;
    }
    differentiate(out, step, n, dt);
    std::free(step);
}

void P2PRBS(double *out, const double *in, int n, int S, double)
{
    if (S < 1 || S > INT_MAX / kBits)
        return;
    const int L = kBits * S;
    std::fill_n(out, L, 0.0);
    for (int b = 0; b < kBits; ++b) {
        const double v = kPRBS7[b] ? 0.5 : -0.5;
        int position = b * S;
        for (int j = 0; j < n; ++j) {
            out[position] = out[position] + v * in[j];
            position = position + 1 == L ? 0 : position + 1;
        }
    }
}

void PRBS2P(double *out, const double *in, int n, int S, double)
{
    if (n <= 0)
        return;
    if (!(S >= 1 && n / kBits >= S)) {
        std::fill_n(out, n, 0.0);
        return;
    }
    const int L = kBits * S;
    const long long E = 17LL * S / 2;
    const long long dense = 2 * E - 1;
    double *const work =
        static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(L + n + dense + 17)));
    double *const w = work;
    double *const corr = w + L;
    double *const dense_weight = corr + n;
    double *const ui_weight = dense_weight + dense;

    invert_prbs7_period(out, w, in, S);
    const long long m = cursor(out, L);
    const long long S12 = 12LL * S;
    if (m > S12) {
        for (long long i = L; i <= m + 115LL * S - 1; ++i)
            out[i % n] = out[i - L];
        for (long long i = m + 115LL * S; i <= n + m - S12 - 1; ++i)
            out[i % n] = out[m - S12 + i % S];
    } else {
        for (long long i = L; i < n; ++i)
            out[i] = out[126LL * S + i % S];
    }
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
    for (long long k = 0; k < n; ++k) {
        double spaced = 0.0;
        for (int u = -8; u <= 8; ++u)
            spaced = spaced + ui_weight[u + 8] * out[wrap(k + static_cast<long long>(u) * S, n)];
        double local = 0.0;
        for (long long l = -E + 1; l <= E - 1; ++l)
            local = local + dense_weight[l + E - 1] * out[wrap(k + l, n)];
        corr[k] = spaced / B - local / A;
    }
    const long long tail = 16LL * S;
    double T = 0.0;
    for (long long i = n - tail; i < n; ++i)
        T = T + out[i];
    T = T / static_cast<double>(tail);
    for (long long k = 0; k < n; ++k)
        out[k] = out[k] - T - corr[k];
    std::free(work);
}

// Impulse response -> one PRBS7 period -> table on every sample -> impulse
// response, as the receiver's AMI_Init applies its limiting amplifier.
void ApplyTablePRBS(const double *in, int count, int S, double dt, Table table, double *out)
{
    if (!(S >= 1 && count >= 6 && count / kBits >= S)) {
        std::memmove(out, in, sizeof(double) * static_cast<size_t>(std::max(count, 0)));
        return;
    }
    const size_t L = static_cast<size_t>(kBits) * static_cast<size_t>(S);
    std::vector<double> period(L), pulse(static_cast<size_t>(count));
    I2P(pulse.data(), in, count, S, dt);
    P2PRBS(period.data(), pulse.data(), count, S, dt);
    reference::ApplyTable(period.data(), static_cast<int>(L), table, period.data());
    PRBS2P(pulse.data(), period.data(), count, S, dt);
    P2I(out, pulse.data(), count, S, dt);
}

} // namespace reference
