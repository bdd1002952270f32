// Phase unwrapping, lock detection and the bounded phase trace.
#include "time_domain/clock_tracker.h"

#include <algorithm>
#include <cmath>

namespace ami_host {

namespace {

// Phases are sums of the model's steps and pick up rounding; a spread that
// equals the allowed one to within this is within it.
constexpr double kRoundingGuard = 1e-9; // UI

} // namespace

ClockTracker::ClockTracker(double bit_time, double tolerance, bool ideal) : bit_time_(bit_time), tolerance_(tolerance)
{
    r_.lock_window = ideal ? 0 : kLockWindow;
    r_.settled = ideal;
    locked_ = ideal;
}

double ClockTracker::add(double time)
{
    const double raw = time / bit_time_ - std::floor(time / bit_time_);
    const double phase = r_.clocks == 0 ? raw : raw + std::round(previous_phase_ - raw);
    previous_phase_ = phase;
    if (locked_ && r_.lock_window > 0 && std::fabs(phase - centre_) > tolerance_ + kRoundingGuard) {
        locked_ = false; // lock lost: wait for the next steady window
        ++r_.lock_losses;
    }
    const bool first = !r_.settled;
    just_settled_ = !locked_ && detect_lock(time, phase);
    if (just_settled_ && first)
        summed_ = 0; // the figures after settling start at the clock that first settles it
    if (summed_ == 0) {
        sum_ = 0.0;
        low_ = high_ = phase;
    }
    low_ = std::min(low_, phase);
    high_ = std::max(high_, phase);
    sum_ += phase;
    ++summed_;
    record(time, phase);
    ++r_.clocks;
    return phase;
}

bool ClockTracker::detect_lock(double time, double phase)
{
    const size_t k = r_.clocks;
    while (!lows_.empty() && lows_.back().second >= phase)
        lows_.pop_back();
    while (!highs_.empty() && highs_.back().second <= phase)
        highs_.pop_back();
    lows_.emplace_back(k, phase);
    highs_.emplace_back(k, phase);
    window_.emplace_back(time, phase);
    if (window_.size() > kLockWindow)
        window_.pop_front();
    if (k + 1 < kLockWindow)
        return false;
    const size_t oldest = k + 1 - kLockWindow;
    while (lows_.front().first < oldest)
        lows_.pop_front();
    while (highs_.front().first < oldest)
        highs_.pop_front();
    const double spread = highs_.front().second - lows_.front().second;
    if (spread > tolerance_ + kRoundingGuard)
        return false;
    // A loop still pulling in moves one way through its band; a settled one
    // dithers about its phase (or stands still) and ends near where it began.
    if (std::fabs(phase - window_.front().second) > 0.5 * spread + kRoundingGuard)
        return false;
    locked_ = true;
    centre_ = 0.5 * (highs_.front().second + lows_.front().second);
    if (!r_.settled) {
        r_.settled = true;
        r_.settle_clock = oldest;
        r_.settle_time = window_.front().first;
    }
    lows_.clear();
    highs_.clear();
    window_.clear();
    return true;
}

void ClockTracker::record(double time, double phase)
{
    PhaseTrace &t = r_.trace;
    if (t.first_time.size() < kTraceFirst) {
        t.first_time.push_back(time);
        t.first_phase.push_back(phase);
    }
    if (in_bucket_ == 0) {
        t.bucket_time.push_back(time);
        t.bucket_low.push_back(phase);
        t.bucket_high.push_back(phase);
    } else {
        t.bucket_low.back() = std::min(t.bucket_low.back(), phase);
        t.bucket_high.back() = std::max(t.bucket_high.back(), phase);
    }
    if (++in_bucket_ < t.clocks_per_bucket)
        return;
    in_bucket_ = 0;
    if (t.bucket_time.size() < kTraceBuckets)
        return;
    // Full: merge neighbouring buckets, each now twice as long.
    const size_t half = t.bucket_time.size() / 2;
    for (size_t i = 0; i < half; ++i) {
        t.bucket_time[i] = t.bucket_time[2 * i];
        t.bucket_low[i] = std::min(t.bucket_low[2 * i], t.bucket_low[2 * i + 1]);
        t.bucket_high[i] = std::max(t.bucket_high[2 * i], t.bucket_high[2 * i + 1]);
    }
    t.bucket_time.resize(half);
    t.bucket_low.resize(half);
    t.bucket_high.resize(half);
    t.clocks_per_bucket *= 2;
}

ClockResult ClockTracker::result() const
{
    ClockResult r = r_;
    r.locked_at_end = locked_;
    if (summed_ > 0) {
        r.final_phase = sum_ / static_cast<double>(summed_);
        r.phase_spread = high_ - low_;
    }
    return r;
}

} // namespace ami_host
