// The sampling instants waiting for the waveform around them: the host's
// ideal clock's, placed as the waveform arrives, or those of the receiver's
// clock times.
#pragma once

#include "time_domain/analysis_records.h"

#include <cstddef>
#include <deque>

namespace ami_host {

class SamplingInstants {
public:
    // `bit_time` = samples_per_bit x sample_interval.
    SamplingInstants(const AnalysisSettings &settings, double bit_time);

    // The ideal clock's instants whose window of a bit after them ends by
    // sample `wave_end`.
    void add_ideal(long long wave_end);
    // The receiver's clock times: edges, the data sampled half a bit later.
    void add_edges(const double *edges, size_t count);
    // Whether the receiver has given a clock time.
    bool any_from_model() const { return model_clock_seen_; }

    bool empty() const { return pending_.empty(); }
    double front() const { return pending_.front(); }
    void pop() { pending_.pop_front(); }

private:
    double dt_, ui_;
    int samples_per_bit_;
    double ideal_position_; // samples after each bit's start
    std::deque<double> pending_;
    long long next_ideal_ = 0; // bit index of the next ideal sampling instant
    bool model_clock_seen_ = false;
};

} // namespace ami_host
