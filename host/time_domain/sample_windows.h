// The streams the analysis reads, each kept from the oldest part still
// needed: a waveform's samples and the bits sent.
#pragma once

#include "time_domain/eye_columns.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <utility>
#include <vector>

namespace ami_host {

// Samples [begin, end) of a stream, the older ones dropped when no longer needed.
class SampleWindow {
public:
    void append(const double *samples, size_t count) { data_.insert(data_.end(), samples, samples + count); }
    long long begin() const { return base_; }
    long long end() const { return base_ + static_cast<long long>(data_.size()); }
    void discard_before(long long index)
    {
        const long long drop = std::min(index, end()) - base_;
        if (drop > 65536 && 2 * drop > static_cast<long long>(data_.size())) {
            data_.erase(data_.begin(), data_.begin() + static_cast<long>(drop));
            base_ += drop;
        }
    }
    // Linear interpolation at fractional sample `x`, inside the window.
    double at(double x) const
    {
        const double local = x - static_cast<double>(base_);
        const size_t i = static_cast<size_t>(local);
        assert(local >= 0.0 && i < data_.size());
        if (i + 1 >= data_.size())
            return data_[i];
        const double f = local - static_cast<double>(i);
        return data_[i] + f * (data_[i + 1] - data_[i]);
    }
    // `count` values by linear interpolation from fractional sample `x` on,
    // `step` samples apart, all inside the window. Offsets from the window's
    // start are exact, so where the window starts does not change a bit of
    // the result.
    void interpolate(double x, double step, size_t count, double *out) const
    {
        assert(x >= static_cast<double>(base_) &&
               x + step * static_cast<double>(count - 1) - static_cast<double>(base_) <
                   static_cast<double>(data_.size()));
        interpolate_columns(data_.data(), data_.size(), static_cast<double>(base_), x, step, count, out);
    }
    // The lowest and highest sample from index `from` to `to` (inclusive).
    std::pair<double, double> extremes(long long from, long long to) const
    {
        const auto first = data_.begin() + static_cast<long>(from - base_);
        const auto last = data_.begin() + static_cast<long>(std::min(to, end() - 1) - base_) + 1;
        const auto [lo, hi] = std::minmax_element(first, last);
        return {*lo, *hi};
    }

private:
    std::vector<double> data_;
    long long base_ = 0;
};

// The bits sent, the older ones dropped when no longer needed.
class SentBits {
public:
    void append(const uint8_t *bits, size_t count) { bits_.insert(bits_.end(), bits, bits + count); }
    // -1 when bit `index` has not been sent (or was dropped).
    int at(long long index) const
    {
        if (index < base_ || index >= base_ + static_cast<long long>(bits_.size()))
            return -1;
        return bits_[static_cast<size_t>(index - base_)];
    }
    void discard_before(long long index)
    {
        while (base_ < index && !bits_.empty()) {
            bits_.pop_front();
            ++base_;
        }
    }

private:
    std::deque<uint8_t> bits_;
    long long base_ = 0;
};

} // namespace ami_host
