// Deterministic test signals: the same samples on every run and every width.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

// Uniform noise in [-0.5, 0.5) from a linear congruential generator.
inline std::vector<double> noise(size_t count, uint32_t seed)
{
    std::vector<double> samples(count);
    for (double &s : samples) {
        seed = seed * 1664525u + 1013904223u;
        s = static_cast<double>(seed >> 8) / (1u << 24) - 0.5;
    }
    return samples;
}

// 1.0 followed by count - 1 zeros.
inline std::vector<double> unit_impulse(size_t count)
{
    std::vector<double> samples(count, 0.0);
    samples[0] = 1.0;
    return samples;
}

// True when every sample is a finite number.
inline bool all_finite(const std::vector<double> &samples)
{
    for (double s : samples)
        if (!std::isfinite(s))
            return false;
    return true;
}
