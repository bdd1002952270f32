// Reference loop of the receiver clock recovery: the latency line shifted at
// every data tick, the clock phase and sample time formed at every sample.
#include "cdr_core.h"
#include "reference.h"

#include <cmath>

namespace reference {

int ApplyAdvancedNerovaCDR(const double *wave, int wave_size, AdvancedNerovaCDR r, double dt, int clock_index,
                           double *clock_times)
{
    using namespace ami::cdr;
    if (wave_size <= 0 || !wave || !clock_times || clock_index < 0 || !has_cells(r) || !r.pd_history ||
        !r.vote_counter)
        return clock_index;
    const bool tracking = is_tracking(r.mode);
    const double delta = (1.0 + r.freq_offset) * r.step * static_cast<double>(r.samples_per_bit);
    int *const pd = r.pd_history;

    const double s = static_cast<double>(r.samples_per_bit);
    const double ui = s * dt;
    const double period = (1.0 + r.freq_offset) * s;
    const double data_offset = *r.data_offset;
    double *const history = r.data_history;
    const int history_last = r.history_length - 1;

    int k = clock_index;
    if (clock_times[k] > 0.0) {
        *r.reference_time = clock_times[k];
        clock_times[k] = -1.0;
    }
    double h = *r.edge_countdown;
    double l = *r.data_countdown;
    int low = *r.sample_count_low;
    int high = *r.sample_count_high;
    double p = *r.previous_sample;
    double edge_decision = *r.edge_decision;
    double data_decision = *r.data_decision;
    double retimed = *r.retimed_data;

    for (int n = 0; n < wave_size; ++n) {
        const double x = wave[n];
        const double t_now = static_cast<double>(low) * dt + static_cast<double>(high) * (dt * 2147483647.0);
        if (h < 0.0) {
            const double t = (h + 1.0) * dt + t_now;
            *r.clock_phase = std::fmod(t, ui);
            const double reference = *r.reference_time;
            clock_times[k] = t;
            ++k;
            *r.reference_time = clock_times[k];
            clock_times[k] = -1.0;
            edge_decision = (h + 1.0) * x - h * p + r.feedback * edge_decision > 0.0 ? 0.5 : -0.5;
            retimed = data_decision;
            for (int j = history_last; j > 0; --j)
                history[j] = history[j - 1];
            history[0] = data_decision;
            h = h + period - 1.0;
            if (r.reference_enabled && reference > 0.0) {
                h = h + s * (std::fmod(reference - *r.previous_reference_time + ui / 2.0, ui) - ui / 2.0) / ui;
                *r.previous_reference_time = reference;
            }
        } else {
            retimed = h < 1.0 ? h * history[0] + (1.0 - h) * data_decision : history[0];
            h = h - 1.0;
        }
        if (l < 0.0) {
            const double d = (l + 1.0) * x - l * p + r.feedback * history[0] > 0.0 ? 0.5 : -0.5;
            data_decision = r.flip_time - ui <= t_now && t_now < r.flip_time ? -d : d;
            const Detector decision = detect(edge_decision, history[0], data_decision);
            for (int j = r.latency - 1; j > 0; --j)
                pd[j] = pd[j - 1];
            pd[0] = decision == Detector::early ? 1 : decision == Detector::late ? -1 : 0;
            int &votes = *r.vote_accumulator;
            int &counter = *r.vote_counter;
            if (counter >= 0 && counter < r.vote) {
                ++counter;
            } else {
                int sum = 0;
                for (int j = r.latency - 1; j >= r.latency - r.vote; --j)
                    sum += pd[j];
                if (sum > 0)
                    count_early(votes);
                else if (sum < 0)
                    count_late(votes);
                counter = 1;
            }
            if (tracking) {
                if (votes >= *r.threshold)
                    take_step(r, h, delta);
                if (late_enough(votes, *r.threshold))
                    take_step(r, h, -delta);
            }
            l = h + data_offset;
        } else {
            l = l - 1.0;
        }
        if (++low == kCounterWrap) {
            low = 0;
            ++high;
        }
        p = x;
    }
    *r.edge_countdown = h;
    *r.data_countdown = l;
    *r.sample_count_low = low;
    *r.sample_count_high = high;
    *r.previous_sample = p;
    *r.edge_decision = edge_decision;
    *r.data_decision = data_decision;
    *r.retimed_data = retimed;
    return k;
}

} // namespace reference
