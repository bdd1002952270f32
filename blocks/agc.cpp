// Automatic gain control block: scales a signal towards a target RMS level.
#include "ami_agc.h"
#include "ami_patterns.h"
#include "copy_samples.h"

#include <cmath>
#include <cstdlib>

extern "C" AGC SetupAGC(double target, const double *impulse, int n, double dt, int S)
{
    AGC agc{};
    agc.target = std::fabs(target);
    agc.gain = static_cast<double *>(std::malloc(sizeof(double)));
    agc.level = static_cast<double *>(std::malloc(sizeof(double)));
    if (agc.gain == nullptr || agc.level == nullptr) {
        DeleteAGC(agc);
        agc.gain = nullptr;
        agc.level = nullptr;
        return agc;
    }
    *agc.gain = 1.0;
    *agc.level = agc.target;
    if (S == 0 || n <= 0)
        return agc;

    // Energy of the pulse scaled to a +/-0.5 swing.
    double *const pulse = static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(n)));
    if (pulse == nullptr)
        return agc;
    I2P(pulse, impulse, n, S, dt);
    double E = 0.0;
    for (int i = 0; i < n; ++i)
        E = E + pulse[i] * (pulse[i] * 0.25);
    std::free(pulse);
    if (E != 0.0) {
        *agc.level = std::sqrt(E / S);
        *agc.gain = agc.target / *agc.level;
    }
    return agc;
}

extern "C" void ApplyAGC(const double *input, int sample_count, AGC agc, int impulse, double *output)
{
    if (sample_count <= 0)
        return;
    if (agc.gain == nullptr || agc.level == nullptr) {
        ami::copy_samples(input, sample_count, output);
        return;
    }
    if (impulse == 0) {
        double sum = 0.0;
        for (int i = 0; i < sample_count; ++i)
            sum = sum + input[i] * input[i];
        const double r = std::sqrt(sum / sample_count);
        *agc.level = 0.99 * *agc.level + 0.01 * r;
        *agc.gain = agc.target / *agc.level;
    }
    const double gain = *agc.gain;
    for (int i = 0; i < sample_count; ++i)
        output[i] = input[i] * gain;
}

extern "C" void DeleteAGC(AGC agc)
{
    std::free(agc.gain);
    std::free(agc.level);
}
