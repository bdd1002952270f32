// Which decisions count: those of a settled stretch of the clock, from the
// first clock of the window that settled it, and none before the bits the
// statistics leave out.
#pragma once

#include "time_domain/clock_decision.h"
#include "time_domain/clock_tracker.h"

#include <deque>
#include <vector>

namespace ami_host {

class SettlingGate {
public:
    // `ignore_before`: seconds; decisions before it never count.
    explicit SettlingGate(double ignore_before) : ignore_before_(ignore_before) {}

    // The decision on the clock `clock` took last. Returns those that count
    // now, in order, each marked when the clock before it did not count:
    // while the clock has not settled, the decisions that may yet join a
    // settled stretch wait here.
    const std::vector<ClockDecision> &take(const ClockDecision &d, const ClockTracker &clock);

    // The oldest decision waiting (null: none).
    const ClockDecision *oldest() const { return waiting_.empty() ? nullptr : &waiting_.front(); }

private:
    void pass(ClockDecision d);

    double ignore_before_;
    std::deque<ClockDecision> waiting_; // the clocks since the last unsettled one, while unsettled
    bool counting_stretch_ = false;
    bool gap_ = true; // the last clock did not count
    std::vector<ClockDecision> counted_;
};

} // namespace ami_host
