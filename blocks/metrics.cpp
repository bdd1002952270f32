// Figures of merit of an impulse response: peak, eye opening, SNR.
#include "ami_agc.h"
#include "ami_patterns.h"

#include <cmath>
#include <cstdlib>

namespace {

// The pulse response of an impulse response and its cursor, the index of
// the largest magnitude (first of equal maxima, 0 when all are zero).
struct Pulse {
    double *p = nullptr;
    int m = 0;
};

Pulse make_pulse(const double *impulse, int n, int S, double dt)
{
    Pulse pulse;
    if (n < 1 || S < 1)
        return pulse;
    pulse.p = static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
    if (pulse.p == nullptr)
        return pulse;
    I2P(pulse.p, impulse, n, S, dt);
    double largest = 0.0;
    for (int i = 0; i < n; ++i) {
        const double a = std::fabs(pulse.p[i]);
        if (a > largest) {
            largest = a;
            pulse.m = i;
        }
    }
    return pulse;
}

// |p[m]| plus sign times |p[(m + k*S) mod n]| for k = 1..K, K the smallest k
// with (k + 1)*S >= n: each other UI-spaced sample of the circular pulse once.
double ui_sum(const double *impulse, int n, int S, double dt, double sign)
{
    const Pulse pulse = make_pulse(impulse, n, S, dt);
    if (pulse.p == nullptr)
        return 0.0;
    double result = std::fabs(pulse.p[pulse.m]);
    if (n > S) {
        for (long long k = 1; (k * S) < n; ++k) {
            const long long index = (pulse.m + k * S) % n;
            if (sign > 0.0)
                result = result + std::fabs(pulse.p[index]);
            else
                result = result - std::fabs(pulse.p[index]);
        }
    }
    std::free(pulse.p);
    return result;
}

} // namespace

extern "C" double MAX(const double *impulse, int n, int S, double dt)
{
    return ui_sum(impulse, n, S, dt, 1.0);
}

extern "C" double PDA(const double *impulse, int n, int S, double dt)
{
    return ui_sum(impulse, n, S, dt, -1.0);
}

extern "C" double SNR(const double *impulse, int n, int S, double dt, double threshold)
{
    const Pulse pulse = make_pulse(impulse, n, S, dt);
    if (pulse.p == nullptr)
        return 0.0;
    const double *const p = pulse.p;
    const long long m = pulse.m;
    const long long h = S / 2;
    double noise = 0.0;
    for (long long i = 0; i < n; ++i)
        if (i < m - h || i >= m + h)
            noise = noise + p[i] * p[i];
    double signal = 0.0;
    for (long long i = m - h; i < m + h; ++i)
        if (i >= 0 && i < n && p[i] > threshold)
            signal = signal + (p[i] - threshold) * (p[i] - threshold);
    std::free(pulse.p);
    return noise > 0.0 ? signal / noise : signal * 1e9;
}
