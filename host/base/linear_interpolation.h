// Reading a sampled response between its samples.
#pragma once

#include <cstddef>
#include <vector>

namespace ami_host {

// Linear interpolation at fractional sample `x`; 0 outside the samples.
inline double sample_at(const std::vector<double> &samples, double x)
{
    if (!(x >= 0.0) || x > static_cast<double>(samples.size() - 1))
        return 0.0;
    const size_t i = static_cast<size_t>(x);
    if (i + 1 >= samples.size())
        return samples[i];
    const double f = x - static_cast<double>(i);
    return samples[i] + f * (samples[i + 1] - samples[i]);
}

} // namespace ami_host
