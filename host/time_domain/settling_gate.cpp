// A settled stretch counts from the first clock of its lock window: the
// clocks of that window wait until the clock settles or loses them.
#include "time_domain/settling_gate.h"

namespace ami_host {

const std::vector<ClockDecision> &SettlingGate::take(const ClockDecision &d, const ClockTracker &clock)
{
    counted_.clear();
    if (!clock.settled()) {
        if (counting_stretch_) // lock lost: a new window starts here
            waiting_.clear();
        counting_stretch_ = false;
        gap_ = true;
        waiting_.push_back(d);
        if (waiting_.size() >= ClockTracker::kLockWindow)
            waiting_.pop_front();
        return counted_;
    }
    if (clock.just_settled()) {
        for (const ClockDecision &p : waiting_)
            pass(p);
        waiting_.clear();
    }
    counting_stretch_ = true;
    pass(d);
    return counted_;
}

void SettlingGate::pass(ClockDecision d)
{
    if (d.time < ignore_before_) {
        gap_ = true;
        return;
    }
    d.after_gap = gap_;
    gap_ = false;
    counted_.push_back(d);
}

} // namespace ami_host
