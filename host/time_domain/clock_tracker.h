// The recovered clock as the analysis sees it, one sampling instant at a
// time: its phase within the bit, when it has settled, how far it wanders
// afterwards, and a trace of bounded size for the pictures.
#pragma once

#include <cstddef>
#include <deque>
#include <vector>

namespace ami_host {

// The phase over the run, at most kTraceFirst clocks in full from the start
// (the acquisition) and an envelope of the whole run in at most
// kTraceBuckets buckets of equal numbers of clocks.
struct PhaseTrace {
    std::vector<double> first_time, first_phase; // seconds, UI
    std::vector<double> bucket_time;             // seconds: each bucket's first clock
    std::vector<double> bucket_low, bucket_high; // UI
    size_t clocks_per_bucket = 1;
};

struct ClockResult {
    size_t clocks = 0;          // sampling instants whose window of one bit either side lies in the waveform
    bool settled = false;       // the clock settled at some time in the run
    size_t settle_clock = 0;    // first clock of the window in which it first settled
    double settle_time = 0.0;   // seconds: that clock's sampling instant (0 for the ideal clock)
    size_t lock_window = 0;     // clocks the phase had to stay within tolerance to count as settled
    size_t lock_losses = 0;     // times a settled phase left its band again (the clock then settles anew)
    bool locked_at_end = false; // settled when the run ended
    double final_phase = 0.0;   // UI: mean sampling phase after first settling (of the whole run if it never does)
    double phase_spread = 0.0;  // UI: peak-to-peak phase after first settling (of the whole run if it never does)
    PhaseTrace trace;
};

class ClockTracker {
public:
    static constexpr size_t kTraceFirst = 20000;
    static constexpr size_t kTraceBuckets = 2048;
    static constexpr size_t kLockWindow = 256;

    // `tolerance`: UI. The clock has settled once kLockWindow phases in a
    // row lie within a band of that width and the last of them lies at most
    // half the band's width from the first (a loop still pulling in crosses
    // its band one way, even a slow one whose steps all fit in it). It loses
    // lock when a phase strays more than the tolerance from the middle of
    // that band, and settles anew in the same way. Deciding on the clocks
    // seen so far, the answer does not depend on how long the run goes on.
    // The ideal clock is settled from its first instant.
    ClockTracker(double bit_time, double tolerance, bool ideal);

    // Takes the next sampling instant (seconds). Returns its unwrapped phase
    // (UI); the instant minus the phase is then a whole number of bits.
    double add(double time);
    // Whether the instant last added lies in a settled stretch.
    bool settled() const { return locked_; }
    // Whether the instant last added settled the clock: the kLockWindow - 1
    // instants before it belong to the settled stretch too.
    bool just_settled() const { return just_settled_; }

    ClockResult result() const;

private:
    // Whether the last kLockWindow phases, up to this one, show a settled clock.
    bool detect_lock(double time, double phase);
    void record(double time, double phase);

    double bit_time_, tolerance_;
    ClockResult r_;
    bool locked_ = false;
    bool just_settled_ = false;
    double previous_phase_ = 0.0;
    double centre_ = 0.0; // middle of the band in which the clock settled
    // Monotonic queues of (clock, phase) for the running extremes of the
    // last kLockWindow phases, while the clock has not settled.
    std::deque<std::pair<size_t, double>> lows_, highs_;
    std::deque<std::pair<double, double>> window_; // (seconds, UI) of the last kLockWindow clocks
    double sum_ = 0.0, low_ = 0.0, high_ = 0.0; // after settling (from the start until it does)
    size_t summed_ = 0;
    size_t in_bucket_ = 0;
};

} // namespace ami_host
