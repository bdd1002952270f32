// The victim's stimulus: its PRBS as NRZ levels of -0.5 and +0.5 V, on the
// sample grid or with the transmitter's jitter moving its transitions.
#pragma once

#include "time_domain/edge_jitter.h"
#include "time_domain/prbs.h"
#include "time_domain/time_domain_link.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace ami_host {

// The stimulus in pieces of whole bits. A jittered piece needs the bits its
// edges can reach after it, so the source runs that far ahead.
class Stimulus {
public:
    Stimulus(const TimeDomainSettings &settings, double sample_interval);

    // The next `count` bits into `bits`, and their samples into `samples`;
    // `last`: no piece follows.
    void next(size_t count, bool last, std::vector<uint8_t> &bits, std::vector<double> &samples);

private:
    void next_jittered(size_t count, bool last, std::vector<uint8_t> &bits, std::vector<double> &samples);

    PrbsSource prbs_;
    size_t per_bit_;
    double dt_;
    std::optional<EdgeJitter> jitter_;
    int64_t reach_ = 0;          // bits_reached() of the jitter
    std::vector<uint8_t> window_; // bits from window_first_ on
    int64_t window_first_ = 0;
    int64_t done_ = 0;
};

} // namespace ami_host
