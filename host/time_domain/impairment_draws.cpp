// Jitter and noise for the time-domain flow.
#include "time_domain/impairment_draws.h"

#include <algorithm>

namespace ami_host {

namespace {

bool moves_edges(const EdgeJitter &j)
{
    const bool dual_dirac = std::any_of(j.dual_dirac.begin(), j.dual_dirac.end(), [](double a) { return a != 0.0; });
    const bool sinusoid =
        std::any_of(j.sinusoids.begin(), j.sinusoids.end(), [](const Sinusoid &s) { return s.amplitude != 0.0; });
    return j.rj != 0.0 || dual_dirac || j.dcd != 0.0 || sinusoid || j.offset != 0.0;
}

// The receiver's draws use their own seed, apart from the transmitter's.
constexpr uint64_t kReceiverSeedOffset = 0x9e3779b97f4a7c15ULL;

} // namespace

std::optional<EdgeJitter> stimulus_jitter(const Impairments &impairments, double bit_time, uint64_t seed)
{
    EdgeJitter j = tx_edge_jitter(impairments, bit_time, seed);
    if (!moves_edges(j))
        return std::nullopt;
    return j;
}

DecisionImpairments decision_impairments(const Impairments &impairments, double bit_time, uint64_t seed)
{
    const uint64_t rx_seed = seed + kReceiverSeedOffset;
    DecisionImpairments d;
    d.recovered_clock_jitter = rx_sampling_jitter(impairments, bit_time, false, rx_seed);
    d.ideal_clock_jitter = rx_sampling_jitter(impairments, bit_time, true, rx_seed);
    d.noise = impairments.rx_noise;
    d.sensitivity = impairments.rx_sensitivity;
    d.noise_seed = rx_seed;
    return d;
}

} // namespace ami_host
