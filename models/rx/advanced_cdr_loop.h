// The receiver clock recovery's work at a data tick, shared by the library
// function and the receiver's per-sample pipeline: the latency line, the vote
// and the step test.
#pragma once

#include "ami_advanced_cdr.h"
#include "cdr_core.h"

#include <cstring>

namespace quorvane {

// Whether ApplyAdvancedNerovaCDR has what it needs to run.
inline bool cdr_runs(const AdvancedNerovaCDR &cdr, int clock_index, const double *clock_times)
{
    return clock_times && clock_index >= 0 && ami::cdr::has_cells(cdr) && cdr.pd_history && cdr.vote_counter;
}

// The latency line of phase-detector decisions. The record keeps it newest
// first; during a call a line that fits the local buffer is appended to it
// instead, oldest first, and moved back to the buffer's start only when the
// buffer is full, rather than shifted at every data tick.
class LatencyLine {
public:
    explicit LatencyLine(const AdvancedNerovaCDR &cdr)
        : pd_(cdr.pd_history), latency_(cdr.latency), buffered_(cdr.latency <= kCapacity / 2), top_(cdr.latency)
    {
        if (buffered_)
            for (int i = 0; i < latency_; ++i)
                buffer_[latency_ - 1 - i] = pd_[i];
    }

    void push(int decision)
    {
        if (!buffered_) {
            for (int j = latency_ - 1; j > 0; --j)
                pd_[j] = pd_[j - 1];
            pd_[0] = decision;
            return;
        }
        if (top_ == kCapacity) {
            const int kept = latency_ - 1;
            std::memmove(buffer_, buffer_ + top_ - kept, sizeof(int) * static_cast<size_t>(kept));
            top_ = kept;
        }
        buffer_[top_++] = decision;
    }

    // Sum of the `count` oldest decisions in the line.
    int oldest_sum(int count) const
    {
        int sum = 0;
        if (buffered_)
            for (int i = top_ - latency_; i < top_ - latency_ + count; ++i)
                sum += buffer_[i];
        else
            for (int j = latency_ - 1; j >= latency_ - count; --j)
                sum += pd_[j];
        return sum;
    }

    // Lays the line back out in the record, newest first.
    void store() const
    {
        if (buffered_)
            for (int i = 0; i < latency_; ++i)
                pd_[i] = buffer_[top_ - 1 - i];
    }

private:
    static constexpr int kCapacity = 1024;
    int *const pd_;
    const int latency_;
    const bool buffered_;
    int top_;
    int buffer_[kCapacity];
};

// At each data tick: the detector's decision enters the latency line; the
// vote reads the oldest `vote` entries, made latency - vote to latency - 1
// data ticks ago.
class DataTick {
public:
    DataTick(const AdvancedNerovaCDR &cdr, LatencyLine &line)
        : cdr_(cdr), line_(line), tracking_(ami::cdr::is_tracking(cdr.mode)),
          delta_((1.0 + cdr.freq_offset) * cdr.step * static_cast<double>(cdr.samples_per_bit))
    {
    }

    double operator()(ami::cdr::Detector decision, double h)
    {
        using namespace ami::cdr;
        line_.push(decision == Detector::early ? 1 : decision == Detector::late ? -1 : 0);

        int &votes = *cdr_.vote_accumulator;
        int &counter = *cdr_.vote_counter;
        if (counter >= 0 && counter < cdr_.vote) {
            ++counter;
        } else {
            const int sum = line_.oldest_sum(cdr_.vote);
            if (sum > 0)
                count_early(votes);
            else if (sum < 0)
                count_late(votes);
            counter = 1;
        }

        // Tested at every data tick; a step later first, then, against the
        // threshold as it now stands, a step earlier.
        if (tracking_) {
            if (votes >= *cdr_.threshold)
                take_step(cdr_, h, delta_);
            if (late_enough(votes, *cdr_.threshold))
                take_step(cdr_, h, -delta_);
        }
        return h;
    }

private:
    const AdvancedNerovaCDR &cdr_;
    LatencyLine &line_;
    const bool tracking_;
    const double delta_;
};

} // namespace quorvane
