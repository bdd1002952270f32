// Pieces of the PRBS as NRZ samples; the jittered ones from a window of bits
// that runs as far ahead, and keeps as many behind, as an edge can move.
#include "time_domain/stimulus.h"

#include "time_domain/stages.h"

#include <algorithm>
#include <cstddef>

namespace ami_host {

Stimulus::Stimulus(const TimeDomainSettings &settings, double sample_interval)
    : prbs_(settings.prbs_order), per_bit_(static_cast<size_t>(settings.samples_per_bit)), dt_(sample_interval),
      jitter_(settings.tx_jitter)
{
    if (jitter_)
        reach_ = bits_reached(*jitter_, dt_ * static_cast<double>(per_bit_));
}

void Stimulus::next(size_t count, bool last, std::vector<uint8_t> &bits, std::vector<double> &samples)
{
    bits.resize(count);
    samples.clear();
    if (jitter_) {
        next_jittered(count, last, bits, samples);
        return;
    }
    for (uint8_t &bit : bits)
        bit = prbs_.next();
    nrz_samples(bits, per_bit_, samples);
    done_ += static_cast<int64_t>(count);
}

void Stimulus::next_jittered(size_t count, bool last, std::vector<uint8_t> &bits, std::vector<double> &samples)
{
    const int64_t end = done_ + static_cast<int64_t>(count);
    const int64_t wanted = last ? end : end + reach_;
    while (window_first_ + static_cast<int64_t>(window_.size()) < wanted)
        window_.push_back(prbs_.next());
    // The last piece's levels hold after it.
    window_.resize(static_cast<size_t>(std::min<int64_t>(wanted - window_first_, static_cast<int64_t>(window_.size()))));
    const auto first = window_.begin() + static_cast<std::ptrdiff_t>(done_ - window_first_);
    std::copy(first, first + static_cast<std::ptrdiff_t>(count), bits.begin());
    samples = jittered_nrz(*jitter_, window_, window_first_, dt_ * static_cast<double>(per_bit_), dt_,
                           done_ * static_cast<int64_t>(per_bit_), count * per_bit_);
    done_ = end;
    // Keep the bits an edge of the next piece can reach back to.
    const int64_t keep_from = std::max<int64_t>(window_first_, done_ - reach_ - 1);
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(keep_from - window_first_));
    window_first_ = keep_from;
}

} // namespace ami_host
