// The bit errors and clock slips of the counted decisions.
#pragma once

#include "time_domain/clock_decision.h"
#include "time_domain/sample_windows.h"
#include "time_domain/analysis_records.h"

#include <optional>

namespace ami_host {

class ErrorCount {
public:
    // `bits_in_run`: bits sent in all.
    explicit ErrorCount(long long bits_in_run) : bits_in_run_(bits_in_run) {}

    // Counts `d` into `data` against the bit sent data.latency slots before
    // it. Returns that bit, or -1 when none was sent (then only a slip of the
    // clock counts).
    int count(const ClockDecision &d, const SentBits &bits, DataResult &data);
    // The slot of the last decision counted (none yet: empty).
    std::optional<long long> last_slot() const;

private:
    long long bits_in_run_;
    bool have_slot_ = false;
    long long previous_slot_ = 0;
};

} // namespace ami_host
