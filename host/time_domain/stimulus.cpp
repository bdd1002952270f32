// Pieces of the PRBS as NRZ samples; the jittered ones from a window of bits
// that runs one ahead.
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
        window_.push_back(prbs_.next());
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
    // window_ holds the bit before this piece (none at the start) and its first bit.
    for (size_t i = 1; i < count; ++i)
        window_.push_back(prbs_.next());
    if (!last)
        window_.push_back(prbs_.next());
    const int64_t first_bit = done_ == 0 ? 0 : done_ - 1;
    const size_t skip = done_ == 0 ? 0 : 1;
    std::copy(window_.begin() + static_cast<std::ptrdiff_t>(skip),
              window_.begin() + static_cast<std::ptrdiff_t>(skip + count), bits.begin());
    samples = jittered_nrz(*jitter_, window_, first_bit, dt_ * static_cast<double>(per_bit_), dt_,
                           done_ * static_cast<int64_t>(per_bit_), count * per_bit_);
    done_ += static_cast<int64_t>(count);
    // Keep the piece's last bit and the next one's first.
    window_.erase(window_.begin(), window_.end() - std::min<std::ptrdiff_t>(2, static_cast<std::ptrdiff_t>(window_.size())));
}

} // namespace ami_host
