// The latency from sent to received bits: the first counted decisions
// compared with the bits sent at every latency from 0 to the most, and the
// latency at which the most agree (of the decisions without the host's
// jitter and noise).
#pragma once

#include "time_domain/clock_decision.h"
#include "time_domain/sample_windows.h"
#include "time_domain/analysis_records.h"

#include <cstddef>
#include <vector>

namespace ami_host {

class LatencySearch {
public:
    static constexpr size_t kJudgedClocks = 4000; // counted clocks on which the latency is judged

    // `bits_in_run`: bits sent in all.
    LatencySearch(long max_latency, long long bits_in_run);

    bool decided() const { return decided_; }
    // Compares `d` with the bits sent at every latency; true once
    // kJudgedClocks are judged.
    bool judge(const ClockDecision &d, const SentBits &bits);
    // Decides on the decisions judged so far: sets `data`'s latency, its
    // match and whether one was found, and hands the judged decisions back.
    std::vector<ClockDecision> decide(DataResult &data);

    // The oldest decision judged and not yet handed back (null: none).
    const ClockDecision *oldest() const { return judged_.empty() ? nullptr : &judged_.front(); }

private:
    long long bits_in_run_;
    std::vector<ClockDecision> judged_;
    std::vector<long long> matches_, undisturbed_matches_, compared_; // per latency
    bool decided_ = false;
};

} // namespace ami_host
