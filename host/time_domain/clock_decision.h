// The receiver's decision on one clock, as every part of the analysis sees it.
#pragma once

namespace ami_host {

struct ClockDecision {
    double time; // sampling instant, seconds
    long long slot; // the bit slot it falls in: the instant less its phase, in bits
    bool one;
    bool resolved;  // false: too close to the threshold, an error whatever was sent
    bool after_gap; // the clock before it was not counted
};

} // namespace ami_host
