// The streaming time-domain analysis: a sliding window of the waveforms, the
// clock, the latency search on the first counted bits, then the errors and
// the eye bit by bit.
// The streaming time-domain analysis: a sliding window of the waveforms, the
// clock, the latency search on the first counted bits, then the errors and
// the eye bit by bit. Each decision goes through the pieces in turn.
#include "time_domain/waveform_analysis.h"

#include "time_domain/clock_decision.h"
#include "time_domain/error_count.h"
#include "time_domain/eye_accumulator.h"
#include "time_domain/latency_search.h"
#include "time_domain/sample_windows.h"
#include "time_domain/sampling_instants.h"
#include "time_domain/settling_gate.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <optional>

namespace ami_host {

struct WaveformAnalyser::State {
    AnalysisSettings set;
    double dt, ui;
    // Samples kept either side of a clock: a bit, or as far as its sampling
    // instant can move, if that is further.
    double reach;
    SampleWindow wave, ref;
    SentBits bits;
    SamplingInstants instants;
    ClockTracker clock;
    long long clocks_taken = 0; // numbers the decisions' jitter and noise draws
    SettlingGate gate;
    LatencySearch latency;
    ErrorCount errors;
    EyeAccumulator eye;
    DataResult data;

    explicit State(const AnalysisSettings &s)
        : set(s), dt(s.sample_interval), ui(s.samples_per_bit * s.sample_interval),
          reach(std::max(ui, dt + displacement_bound(s.ideal_clock ? s.decision.ideal_clock_jitter
                                                                   : s.decision.recovered_clock_jitter))),
          instants(s, ui),
          clock(ui, s.settle_tolerance, s.ideal_clock), gate(static_cast<double>(s.ignore_bits) * ui),
          latency(s.max_latency, s.bits), errors(s.bits), eye(s.samples_per_bit, dt, ui, s.reference)
    {
    }

    // Whether the window `reach` either side of `t` has arrived.
    bool ready(double t) const
    {
        const long long needed = static_cast<long long>((t + reach) / dt) + 2;
        return wave.end() >= needed && (!set.reference || ref.end() >= needed);
    }
    bool fits(double t) const
    {
        const long long begin = set.reference ? std::max(wave.begin(), ref.begin()) : wave.begin();
        const long long end = set.reference ? std::min(wave.end(), ref.end()) : wave.end();
        return t - reach >= static_cast<double>(begin) * dt && (t + reach) / dt <= static_cast<double>(end) - 1.0;
    }

    void process(bool at_end)
    {
        while (!instants.empty() && (ready(instants.front()) || at_end)) {
            const double t = instants.front();
            instants.pop();
            if (fits(t))
                take_clock(t);
        }
        forget_old();
    }

    void forget_old()
    {
        // Without a waiting clock, the last two bits stay for clock times that
        // come after their samples.
        double oldest = instants.empty() ? static_cast<double>(wave.end()) * dt - ui : instants.front();
        if (const ClockDecision *judged = latency.oldest())
            oldest = std::min(oldest, judged->time);
        if (const ClockDecision *waiting = gate.oldest())
            oldest = std::min(oldest, waiting->time);
        const long long keep = static_cast<long long>((oldest - reach) / dt) - 2;
        wave.discard_before(keep);
        ref.discard_before(keep);
        bits.discard_before(first_needed_slot() - set.max_latency - 64);
    }

    // The earliest slot a decision still to be counted can have: that of the
    // oldest one waiting, or of the last one counted. Before the first clock
    // every bit is kept, since clock times may come after their samples.
    long long first_needed_slot() const
    {
        const ClockDecision *judged = latency.oldest();
        const std::optional<long long> counted = errors.last_slot();
        long long slot = judged ? judged->slot : counted ? *counted : 0;
        if (const ClockDecision *waiting = gate.oldest())
            slot = !judged && !counted ? waiting->slot : std::min(slot, waiting->slot);
        return slot;
    }

    void take_clock(double t)
    {
        const double phase = clock.add(t);
        const int level = decision_at(t);
        const ClockDecision d{t, std::llround(t / ui - phase), level == 1, level >= 0, true, wave.at(t / dt) > 0.0};
        for (const ClockDecision &counted : gate.take(d, clock))
            accept(counted);
    }

    // The decision on the clock at `t`: 1, 0 or -1 (unresolved). The sampling
    // instant moves by the receiver's jitter, and noise joins the sample.
    int decision_at(double t)
    {
        const DecisionImpairments &im = set.decision;
        const long long n = clocks_taken++;
        const EdgeJitter &jitter = set.ideal_clock ? im.ideal_clock_jitter : im.recovered_clock_jitter;
        const double instant = t + edge_displacement(jitter, n, n % 2 == 0, t);
        const double sample = wave.at(instant / dt) + decision_noise(im.noise, im.noise_seed, n);
        return decide(sample, 0.0, im.sensitivity);
    }

    // A counted decision: judged for the latency first, then counted.
    void accept(const ClockDecision &d)
    {
        if (latency.decided())
            count(d);
        else if (latency.judge(d, bits))
            decide_latency();
    }

    void decide_latency()
    {
        const std::vector<ClockDecision> judged = latency.decide(data);
        if (!data.latency_found || judged.empty())
            return;
        data.first_counted_time = judged.front().time;
        eye.set_density_range(judged, wave);
        for (const ClockDecision &d : judged)
            count(d);
    }

    void count(const ClockDecision &d)
    {
        const int bit = errors.count(d, bits, data);
        if (bit >= 0)
            eye.add(d.time, bit == 1, wave, ref);
    }
};

WaveformAnalyser::WaveformAnalyser(const AnalysisSettings &settings) : s_(std::make_unique<State>(settings))
{
    assert(settings.samples_per_bit > 0 && settings.sample_interval > 0.0);
}

WaveformAnalyser::~WaveformAnalyser() = default;

void WaveformAnalyser::sent(const uint8_t *bits, size_t count) { s_->bits.append(bits, count); }

void WaveformAnalyser::reference(const double *samples, size_t count) { s_->ref.append(samples, count); }

void WaveformAnalyser::output(const double *samples, size_t count)
{
    s_->wave.append(samples, count);
    if (s_->set.ideal_clock)
        s_->instants.add_ideal(s_->wave.end());
    s_->process(false);
}

void WaveformAnalyser::clock_times(const double *edges, size_t count)
{
    if (s_->set.ideal_clock)
        return;
    s_->instants.add_edges(edges, count);
    s_->process(false);
}

void WaveformAnalyser::finish()
{
    s_->process(true);
    if (!s_->latency.decided())
        s_->decide_latency();
    s_->eye.close();
}

bool WaveformAnalyser::any_clock() const { return s_->set.ideal_clock || s_->instants.any_from_model(); }

WaveformResult WaveformAnalyser::result() const
{
    WaveformResult r;
    r.clock = s_->clock.result();
    r.data = s_->data;
    r.eye = s_->eye.eye();
    r.density = s_->eye.density();
    return r;
}

WaveformResult analyse_waveform(const AnalysisSettings &settings, const std::vector<double> &wave,
                                const std::vector<double> &edges, const std::vector<uint8_t> &bits,
                                const std::vector<double> *reference)
{
    WaveformAnalyser analyser(settings);
    analyser.sent(bits.data(), bits.size());
    if (reference != nullptr)
        analyser.reference(reference->data(), reference->size());
    analyser.output(wave.data(), wave.size());
    analyser.clock_times(edges.data(), edges.size());
    analyser.finish();
    return analyser.result();
}

} // namespace ami_host
