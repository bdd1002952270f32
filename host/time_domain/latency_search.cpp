// The latency with the most agreeing undisturbed decisions wins; of equals,
// the shortest. Its match is that of the decisions as counted.
#include "time_domain/latency_search.h"

#include <utility>

namespace ami_host {

LatencySearch::LatencySearch(long max_latency, long long bits_in_run)
    : bits_in_run_(bits_in_run), matches_(static_cast<size_t>(max_latency) + 1, 0),
      undisturbed_matches_(matches_), compared_(matches_)
{
}

bool LatencySearch::judge(const ClockDecision &d, const SentBits &bits)
{
    judged_.push_back(d);
    for (size_t latency = 0; latency < matches_.size(); ++latency) {
        const long long sent = d.slot - static_cast<long long>(latency);
        if (sent < 0 || sent >= bits_in_run_)
            continue;
        const int bit = bits.at(sent);
        if (bit < 0)
            continue;
        ++compared_[latency];
        matches_[latency] += d.resolved && (bit == 1) == d.one;
        undisturbed_matches_[latency] += (bit == 1) == d.undisturbed_one;
    }
    return judged_.size() == kJudgedClocks;
}

std::vector<ClockDecision> LatencySearch::decide(DataResult &data)
{
    decided_ = true;
    long long best = -1;
    for (size_t latency = 0; latency < matches_.size(); ++latency) {
        if (compared_[latency] > 0 && undisturbed_matches_[latency] > best) {
            best = undisturbed_matches_[latency];
            data.latency = static_cast<long>(latency);
            data.latency_match = static_cast<double>(matches_[latency]) / static_cast<double>(compared_[latency]);
        }
    }
    data.latency_found = best >= 0;
    return std::exchange(judged_, {});
}

} // namespace ami_host
