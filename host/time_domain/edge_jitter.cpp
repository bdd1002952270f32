// Seeded jitter of edges and sampling instants, and the jittered NRZ stimulus.
#include "time_domain/edge_jitter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace ami_host {

namespace {

// A well-mixed 64-bit value for (seed, index, stream): every draw is
// addressed directly, with no generator state to carry between blocks.
uint64_t mix(uint64_t seed, uint64_t index, uint64_t stream)
{
    uint64_t z = seed ^ (index * 0x9E3779B97F4A7C15ull) ^ (stream * 0xD1B54A32D192ED03ull);
    for (int round = 0; round < 2; ++round) {
        z += 0x9E3779B97F4A7C15ull;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
    }
    return z;
}

// Uniform in (0, 1).
double uniform(uint64_t bits) { return (static_cast<double>(bits >> 11) + 0.5) * 0x1.0p-53; }

// Standard normal by Box-Muller.
double normal(uint64_t seed, uint64_t index, uint64_t stream)
{
    const double u1 = uniform(mix(seed, index, stream));
    const double u2 = uniform(mix(seed, index, stream + 1));
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * std::numbers::pi * u2);
}

enum Stream : uint64_t { kGaussian = 0, kNoise = 2, kDualDirac = 16, kSinusoidPhase = 1024 };

} // namespace

EdgeJitter tx_edge_jitter(const Impairments &im, double bit_time, uint64_t seed)
{
    EdgeJitter j;
    j.seed = seed;
    j.rj = im.tx_rj.seconds(bit_time);
    j.dual_dirac = {im.tx_dj.seconds(bit_time)};
    j.dcd = im.tx_dcd.seconds(bit_time);
    j.sinusoids.push_back({im.tx_sj.seconds(bit_time), im.tx_sj_frequency});
    return j;
}

EdgeJitter rx_sampling_jitter(const Impairments &im, double bit_time, bool ideal_clock, uint64_t seed)
{
    EdgeJitter j;
    j.seed = seed;
    j.rj = im.rx_rj.seconds(bit_time);
    j.dual_dirac = {im.rx_dj.seconds(bit_time)};
    j.dcd = im.rx_dcd.seconds(bit_time);
    j.sinusoids.push_back({im.rx_sj.seconds(bit_time), im.rx_sj_frequency});
    if (ideal_clock) {
        j.rj = std::hypot(j.rj, im.rx_clock_recovery_rj.seconds(bit_time));
        j.dual_dirac.push_back(im.rx_clock_recovery_dj.seconds(bit_time));
        j.dcd += im.rx_clock_recovery_dcd.seconds(bit_time);
        j.sinusoids.push_back({im.rx_clock_recovery_sj.seconds(bit_time), 0.0});
        j.offset = im.rx_clock_recovery_mean.seconds(bit_time);
    }
    return j;
}

double edge_displacement(const EdgeJitter &jitter, int64_t index, bool rising, double time)
{
    const uint64_t n = static_cast<uint64_t>(index);
    double d = jitter.offset + (rising ? jitter.dcd : -jitter.dcd);
    if (jitter.rj > 0.0)
        d += jitter.rj * normal(jitter.seed, n, kGaussian);
    for (size_t c = 0; c < jitter.dual_dirac.size(); ++c)
        if (jitter.dual_dirac[c] != 0.0)
            d += (mix(jitter.seed, n, kDualDirac + c) >> 63 ? 1.0 : -1.0) * jitter.dual_dirac[c];
    for (size_t c = 0; c < jitter.sinusoids.size(); ++c) {
        const Sinusoid &s = jitter.sinusoids[c];
        if (s.amplitude == 0.0)
            continue;
        const double cycles =
            s.frequency > 0.0 ? s.frequency * time : uniform(mix(jitter.seed, n, kSinusoidPhase + c));
        d += s.amplitude * std::sin(2.0 * std::numbers::pi * cycles);
    }
    return d;
}

double displacement_bound(const EdgeJitter &jitter)
{
    // Box-Muller's radius is largest at the smallest uniform draw, 2^-54.
    const double gaussian_reach = std::sqrt(-2.0 * std::log(0x1.0p-54));
    double bound = std::fabs(jitter.offset) + std::fabs(jitter.dcd) + gaussian_reach * jitter.rj;
    for (double a : jitter.dual_dirac)
        bound += std::fabs(a);
    for (const Sinusoid &s : jitter.sinusoids)
        bound += std::fabs(s.amplitude);
    return bound;
}

int64_t bits_reached(const EdgeJitter &jitter, double bit_time)
{
    return static_cast<int64_t>(std::ceil(displacement_bound(jitter) / bit_time)) + 1;
}

std::vector<double> jittered_nrz(const EdgeJitter &jitter, const std::vector<uint8_t> &bits, int64_t first_bit,
                                 double bit_time, double sample_interval, int64_t first_sample, size_t count,
                                 double low, double high)
{
    std::vector<double> out(count);
    if (bits.empty() || count == 0)
        return out;
    const int64_t last_bit = first_bit + static_cast<int64_t>(bits.size()) - 1;
    auto level = [&](int64_t n) {
        return bits[static_cast<size_t>(std::clamp(n, first_bit, last_bit) - first_bit)] ? high : low;
    };

    // Edge n starts bit n; the edges a block can see, each drawn once, then
    // each made the earliest of itself and every later one.
    const int64_t reach = bits_reached(jitter, bit_time);
    const double start_time = static_cast<double>(first_sample) * sample_interval;
    const double end_time = static_cast<double>(first_sample + static_cast<int64_t>(count)) * sample_interval;
    const int64_t n_lo = static_cast<int64_t>(std::floor(start_time / bit_time)) - 1 - reach;
    const int64_t n_hi = static_cast<int64_t>(std::floor(end_time / bit_time)) + 2 + reach;
    std::vector<double> edge(static_cast<size_t>(n_hi + reach - n_lo + 1));
    for (int64_t n = n_lo; n <= n_hi + reach; ++n) {
        const double nominal = static_cast<double>(n) * bit_time;
        edge[static_cast<size_t>(n - n_lo)] = nominal + edge_displacement(jitter, n, level(n) == high, nominal);
    }
    for (size_t i = edge.size() - 1; i-- > 0;)
        edge[i] = std::min(edge[i], edge[i + 1]);
    auto edge_at = [&](int64_t n) { return edge[static_cast<size_t>(n - n_lo)]; };

    for (size_t i = 0; i < count; ++i) {
        const double a = static_cast<double>(first_sample + static_cast<int64_t>(i)) * sample_interval;
        const double b = a + sample_interval;
        // The bit in force at the sample's start, then every edge inside it.
        int64_t n = std::clamp(static_cast<int64_t>(std::floor(a / bit_time)), n_lo + 1, n_hi - 1);
        while (n > n_lo && edge_at(n) > a)
            --n;
        while (n < n_hi && edge_at(n + 1) <= a)
            ++n;
        double v = level(n);
        for (int64_t m = n + 1; m <= n_hi && edge_at(m) < b; ++m)
            v += (level(m) - level(m - 1)) * (b - edge_at(m)) / sample_interval;
        out[i] = v;
    }
    return out;
}

double decision_noise(double sigma, uint64_t seed, int64_t index)
{
    return sigma > 0.0 ? sigma * normal(seed, static_cast<uint64_t>(index), kNoise) : 0.0;
}

int decide(double sample, double threshold, double sensitivity)
{
    if (std::fabs(sample - threshold) < sensitivity)
        return -1;
    return sample > threshold ? 1 : 0;
}

} // namespace ami_host
