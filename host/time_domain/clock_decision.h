// The receiver's decision on one clock, as every part of the analysis sees it.
#pragma once

namespace ami_host {

struct ClockDecision {
    double time; // sampling instant, seconds
    long long slot; // the bit slot it falls in: the instant less its phase, in bits
    bool one;
    bool resolved;  // false: too close to the threshold, an error whatever was sent
    bool after_gap; // the clock before it was not counted
    // The decision at the clock's own instant without the host's jitter and
    // noise: the latency is a property of the link, judged on these, as
    // jitter of a UI or more would otherwise line the decisions up with a
    // neighbouring bit.
    bool undisturbed_one = false;
};

} // namespace ami_host
