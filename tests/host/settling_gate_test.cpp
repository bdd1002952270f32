// Which decisions count around the clock's settling: from the first clock of
// the window that settled it, in order, none before the bits left out, and
// the first marked as following a clock that did not count.
#include "time_domain/settling_gate.h"

#include <gtest/gtest.h>

#include <vector>

using namespace ami_host;

namespace {

struct GateCase {
    const char *name;
    double ignore_before;        // seconds (1 s bits)
    std::vector<long long> gaps; // slots of the counted decisions after a clock that did not count
    size_t counted;
};

class SettlingGateCounts : public testing::TestWithParam<GateCase> {};

// 700 clocks of a 1 s bit: the phase alternates 0 and 0.4 UI over the first
// ten, then holds still, settling the clock at clock 265.
TEST_P(SettlingGateCounts, FromTheSettlingWindowsFirstClockWithGapsMarked)
{
    const GateCase &c = GetParam();
    ClockTracker clock(1.0, 0.125, false);
    SettlingGate gate(c.ignore_before);
    std::vector<long long> gaps;
    size_t counted = 0;
    long long previous = -1;
    for (size_t k = 0; k < 700; ++k) {
        const double phase = k < 10 ? 0.4 * static_cast<double>(k % 2) : 0.0;
        const double t = static_cast<double>(k) + phase;
        clock.add(t);
        for (const ClockDecision &d : gate.take({t, static_cast<long long>(k), true, true, true}, clock)) {
            if (d.after_gap)
                gaps.push_back(d.slot);
            else
                EXPECT_EQ(d.slot, previous + 1); // in order, none skipped
            previous = d.slot;
            ++counted;
        }
    }
    EXPECT_EQ(gaps, c.gaps);
    EXPECT_EQ(counted, c.counted);
}

INSTANTIATE_TEST_SUITE_P(Gate, SettlingGateCounts,
                         testing::Values(GateCase{"AllCounted", 0.0, {10}, 690},
                                         GateCase{"StartLeftOut", 50.0, {50}, 650}),
                         [](const testing::TestParamInfo<GateCase> &info) { return info.param.name; });

} // namespace
