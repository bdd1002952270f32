// Sample clock, slicers, ticks and step threshold shared by the two bang-bang clock recovery loops.
#pragma once

#include "IBIS_AMI_tree.h"
#include "ami_cdr.h"

#include <climits>
#include <cmath>
#include <cstdlib>

namespace ami::cdr {

// The low part of the sample counter wraps here into the high part.
inline constexpr int kCounterWrap = 2147483647;

inline constexpr const char *kHistoryLengthWarning =
    "CDR: History length must be greater than or equal to 1. Setting History length equal to 1.\n\n";
inline constexpr const char *kSamplesPerBitWarning =
    "CDR: Samples per bit must be greater than or equal to 1. Setting Samples per bit equal to 1.\n\n";

// A loop needs entry 0 of its data history and at least one sample per UI:
// a smaller count is raised to 1, with `warning` appended.
inline int at_least_one(int value, const char *warning, char *message, int message_size)
{
    if (value >= 1)
        return value;
    WarnPrt(message, message_size, warning);
    return 1;
}

inline bool is_tracking(int mode)
{
    return mode == CONTROL_AUTO || mode == CONTROL_ADAPT;
}

template <class T>
T *cell(T value)
{
    T *p = static_cast<T *>(std::malloc(sizeof(T)));
    if (p)
        *p = value;
    return p;
}

// Frees the cells and the data history that both loops have (fields 1 to 24).
template <class Record>
void free_cells(const Record &r)
{
    std::free(r.clock_phase);
    std::free(r.threshold);
    std::free(r.sample_count_low);
    std::free(r.sample_count_high);
    std::free(r.edge_countdown);
    std::free(r.data_countdown);
    std::free(r.data_offset);
    std::free(r.previous_sample);
    std::free(r.data_history);
    std::free(r.data_decision);
    std::free(r.edge_decision);
    std::free(r.retimed_data);
    std::free(r.vote_accumulator);
    std::free(r.reference_time);
    std::free(r.previous_reference_time);
}

template <class Record>
bool has_cells(const Record &r)
{
    return r.clock_phase && r.threshold && r.sample_count_low && r.sample_count_high && r.edge_countdown &&
           r.data_countdown && r.data_offset && r.previous_sample && r.data_history && r.data_decision &&
           r.edge_decision && r.retimed_data && r.vote_accumulator && r.reference_time &&
           r.previous_reference_time;
}

template <class Record>
void null_cells(Record &r)
{
    r.clock_phase = nullptr;
    r.threshold = nullptr;
    r.sample_count_low = nullptr;
    r.sample_count_high = nullptr;
    r.edge_countdown = nullptr;
    r.data_countdown = nullptr;
    r.data_offset = nullptr;
    r.previous_sample = nullptr;
    r.data_history = nullptr;
    r.data_decision = nullptr;
    r.edge_decision = nullptr;
    r.retimed_data = nullptr;
    r.vote_accumulator = nullptr;
    r.reference_time = nullptr;
    r.previous_reference_time = nullptr;
}

// Allocates the cells and the data history with their starting values, from
// the record's history_length and samples_per_bit (both >= 1). Returns false
// when an allocation failed; the caller then frees what was allocated.
template <class Record>
bool allocate_cells(Record &r)
{
    const double half_bit = static_cast<double>(r.samples_per_bit / 2);
    r.clock_phase = cell(0.0);
    r.threshold = cell(0);
    r.sample_count_low = cell(0);
    r.sample_count_high = cell(0);
    r.edge_countdown = cell(0.0);
    r.data_countdown = cell(half_bit);
    r.data_offset = cell(half_bit);
    r.previous_sample = cell(0.0);
    r.data_history = static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(r.history_length)));
    if (r.data_history)
        for (int i = 0; i < r.history_length; ++i)
            r.data_history[i] = -0.5;
    r.data_decision = cell(-0.5);
    r.edge_decision = cell(0.0);
    r.retimed_data = cell(0.0);
    r.vote_accumulator = cell(0);
    r.reference_time = cell(0.0);
    r.previous_reference_time = cell(0.0);
    return has_cells(r);
}

// Moves the vote accumulator by one, saturating rather than overflowing in a
// loop that counts without ever stepping (a free-running one).
inline void count_early(int &votes)
{
    if (votes < INT_MAX)
        ++votes;
}

inline void count_late(int &votes)
{
    if (votes > INT_MIN)
        --votes;
}

// votes <= -threshold, also for a threshold of INT_MIN (a negative count_limit).
inline bool late_enough(int votes, int threshold)
{
    return static_cast<long long>(votes) <= -static_cast<long long>(threshold);
}

// A phase step of delta samples (positive: the next edge comes later): the
// vote accumulator restarts and the threshold ramps one higher, up to
// count_limit.
template <class Record>
void take_step(const Record &r, double &h, double delta)
{
    *r.vote_accumulator = 0;
    *r.threshold = *r.threshold < r.count_limit ? *r.threshold + 1 : r.count_limit;
    h = h + delta;
}

// Phase-detector outcome at a data tick, from the edge decision E, the
// previous data decision D0 and the new one D1.
enum class Detector { early, late, none };

inline Detector detect(double e, double d0, double d1)
{
    if (e == d0 && e != d1)
        return Detector::early; // edge sampled before the transition
    if (e != d0 && e == d1)
        return Detector::late; // edge sampled after the transition
    return Detector::none;
}

// The state of a loop taken into locals for one apply call: construct it,
// step it over the samples in order, and finish it to lay the state back out
// and learn the clock-times index after the last time written. At every data
// tick, after the data decision, on_data_tick(Detector, double h) decides on
// a phase step and returns h (the samples left to the next edge tick) moved
// by it; the data countdown then follows h. h goes in and out by value so
// that the loop's state can stay in registers. The caller has checked the arguments and the
// cells.
template <class Record>
class Loop {
public:
    Loop(const Record &r, double dt, int clock_index, double *clock_times)
        : r_(r), dt_(dt), s_(static_cast<double>(r.samples_per_bit)), ui_(s_ * dt),
          period_((1.0 + r.freq_offset) * s_), data_offset_(*r.data_offset), history_(r.data_history),
          history_last_(r.history_length - 1), clock_times_(clock_times), k_(clock_index), h_(*r.edge_countdown),
          l_(*r.data_countdown), low_(*r.sample_count_low), high_(*r.sample_count_high), p_(*r.previous_sample),
          edge_decision_(*r.edge_decision), data_decision_(*r.data_decision), retimed_(*r.retimed_data)
    {
        if (clock_times[k_] > 0.0) {
            *r.reference_time = clock_times[k_];
            clock_times[k_] = -1.0;
        }
    }

    template <class OnDataTick>
    [[gnu::always_inline]] void step(double x, OnDataTick &on_data_tick)
    {
        if (h_ < 0.0 || l_ < 0.0) {
            const double t_now = sample_time();
            if (h_ < 0.0)
                edge_tick(x, t_now);
            else
                between_edges();
            if (l_ < 0.0) {
                data_tick(x, t_now, on_data_tick);
            } else {
                l_ = l_ - 1.0;
            }
        } else {
            between_edges();
            l_ = l_ - 1.0;
        }
        if (++low_ == kCounterWrap) {
            low_ = 0;
            ++high_;
        }
        p_ = x;
    }

    int finish()
    {
        // The phase of the last edge tick only is kept, so it is formed once.
        if (ticked_)
            *r_.clock_phase = std::fmod(last_tick_, ui_);
        *r_.edge_countdown = h_;
        *r_.data_countdown = l_;
        *r_.sample_count_low = low_;
        *r_.sample_count_high = high_;
        *r_.previous_sample = p_;
        *r_.edge_decision = edge_decision_;
        *r_.data_decision = data_decision_;
        *r_.retimed_data = retimed_;
        return k_;
    }

private:
    double sample_time() const
    {
        return static_cast<double>(low_) * dt_ + static_cast<double>(high_) * (dt_ * 2147483647.0);
    }

    void edge_tick(double x, double t_now)
    {
        // The slicer interpolates at t_now + h*dt; the clock time written is
        // one sample interval after that instant.
        const double t = (h_ + 1.0) * dt_ + t_now;
        last_tick_ = t;
        ticked_ = true;
        const double reference = *r_.reference_time;
        clock_times_[k_] = t;
        ++k_;
        *r_.reference_time = clock_times_[k_];
        clock_times_[k_] = -1.0;
        edge_decision_ = (h_ + 1.0) * x - h_ * p_ + r_.feedback * edge_decision_ > 0.0 ? 0.5 : -0.5;
        retimed_ = data_decision_;
        for (int j = history_last_; j > 0; --j)
            history_[j] = history_[j - 1];
        history_[0] = data_decision_;
        h_ = h_ + period_ - 1.0;
        if (r_.reference_enabled && reference > 0.0) {
            h_ = h_ + s_ * (std::fmod(reference - *r_.previous_reference_time + ui_ / 2.0, ui_) - ui_ / 2.0) / ui_;
            *r_.previous_reference_time = reference;
        }
    }

    void between_edges()
    {
        retimed_ = h_ < 1.0 ? h_ * history_[0] + (1.0 - h_) * data_decision_ : history_[0];
        h_ = h_ - 1.0;
    }

    template <class OnDataTick>
    void data_tick(double x, double t_now, OnDataTick &on_data_tick)
    {
        // Slicer interpolated at t_now + l*dt.
        const double d = (l_ + 1.0) * x - l_ * p_ + r_.feedback * history_[0] > 0.0 ? 0.5 : -0.5;
        data_decision_ = r_.flip_time - ui_ <= t_now && t_now < r_.flip_time ? -d : d;
        h_ = on_data_tick(detect(edge_decision_, history_[0], data_decision_), h_);
        l_ = h_ + data_offset_;
    }

    const Record &r_;
    const double dt_;
    const double s_;
    const double ui_;
    const double period_;
    const double data_offset_;
    double *const history_;
    const int history_last_;
    double *const clock_times_;
    int k_;
    double h_;
    double l_;
    int low_;
    int high_;
    double p_;
    double edge_decision_;
    double data_decision_;
    double retimed_;
    double last_tick_ = 0.0;
    bool ticked_ = false;
};

// Runs a loop over wave_size samples and returns the clock-times index after
// the last time written (see Loop).
template <class Record, class OnDataTick>
int run(const double *wave, int wave_size, const Record &r, double dt, int clock_index, double *clock_times,
        OnDataTick on_data_tick)
{
    Loop<Record> loop(r, dt, clock_index, clock_times);
    for (int n = 0; n < wave_size; ++n)
        loop.step(wave[n], on_data_tick);
    return loop.finish();
}

} // namespace ami::cdr
