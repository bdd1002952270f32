// The streaming time-domain analysis: a sliding window of the waveforms, the
// clock, the latency search on the first counted bits, then the errors and
// the eye bit by bit.
#include "time_domain/waveform_analysis.h"

#include "statistical/worst_case_eye.h"
#include "time_domain/eye_columns.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace ami_host {

namespace {

constexpr int kGridPerBit = 64; // eye phases per bit time
constexpr int kDensityLevels = 128;
constexpr size_t kJudgedClocks = 4000; // counted clocks on which the latency is judged

// Samples [begin, end) of a stream, the older ones dropped when no longer needed.
class SampleWindow {
public:
    void append(const double *samples, size_t count) { data_.insert(data_.end(), samples, samples + count); }
    long long begin() const { return base_; }
    long long end() const { return base_ + static_cast<long long>(data_.size()); }
    void discard_before(long long index)
    {
        const long long drop = std::min(index, end()) - base_;
        if (drop > 65536 && 2 * drop > static_cast<long long>(data_.size())) {
            data_.erase(data_.begin(), data_.begin() + static_cast<long>(drop));
            base_ += drop;
        }
    }
    // Linear interpolation at fractional sample `x`, inside the window.
    double at(double x) const
    {
        const double local = x - static_cast<double>(base_);
        const size_t i = static_cast<size_t>(local);
        assert(local >= 0.0 && i < data_.size());
        if (i + 1 >= data_.size())
            return data_[i];
        const double f = local - static_cast<double>(i);
        return data_[i] + f * (data_[i + 1] - data_[i]);
    }
    // `count` values by linear interpolation from fractional sample `x` on,
    // `step` samples apart, all inside the window. Offsets from the window's
    // start are exact, so where the window starts does not change a bit of
    // the result.
    void interpolate(double x, double step, size_t count, double *out) const
    {
        assert(x >= static_cast<double>(base_) &&
               x + step * static_cast<double>(count - 1) - static_cast<double>(base_) <
                   static_cast<double>(data_.size()));
        interpolate_columns(data_.data(), data_.size(), static_cast<double>(base_), x, step, count, out);
    }
    // The lowest and highest sample from index `from` to `to` (inclusive).
    std::pair<double, double> extremes(long long from, long long to) const
    {
        const auto first = data_.begin() + static_cast<long>(from - base_);
        const auto last = data_.begin() + static_cast<long>(std::min(to, end() - 1) - base_) + 1;
        const auto [lo, hi] = std::minmax_element(first, last);
        return {*lo, *hi};
    }

private:
    std::vector<double> data_;
    long long base_ = 0;
};

// The bits sent, the older ones dropped when no longer needed.
class SentBits {
public:
    void append(const uint8_t *bits, size_t count) { bits_.insert(bits_.end(), bits, bits + count); }
    // -1 when bit `index` has not been sent (or was dropped).
    int at(long long index) const
    {
        if (index < base_ || index >= base_ + static_cast<long long>(bits_.size()))
            return -1;
        return bits_[static_cast<size_t>(index - base_)];
    }
    void discard_before(long long index)
    {
        while (base_ < index && !bits_.empty()) {
            bits_.pop_front();
            ++base_;
        }
    }

private:
    std::deque<uint8_t> bits_;
    long long base_ = 0;
};

struct Decision {
    double time; // sampling instant, seconds
    long long slot;
    bool one;
    bool resolved;  // false: too close to the threshold, an error whatever was sent
    bool after_gap; // the clock before it was not counted
};

} // namespace

struct WaveformAnalyser::State {
    AnalysisSettings set;
    double dt, ui;
    SampleWindow wave, ref;
    SentBits bits;
    std::deque<double> pending; // sampling instants waiting for their window
    ClockTracker clock;
    bool model_clock_seen = false;
    long long next_ideal = 0; // bit index of the next ideal sampling instant
    long long clocks_taken = 0; // numbers the decisions' jitter and noise draws

    // Latency search.
    std::vector<Decision> judged;
    std::vector<long long> matches, compared;
    bool latency_decided = false;

    WaveformResult r;
    std::deque<Decision> provisional; // the clocks since the last unsettled one, while unsettled
    bool counting_stretch = false;
    bool gap = true; // the last clock was not counted
    bool have_slot = false;
    long long previous_slot = 0;
    bool ones = false, zeros = false;
    double linear_one = std::numeric_limits<double>::infinity();
    double linear_zero = -std::numeric_limits<double>::infinity();
    double density_scale = 0.0;
    std::vector<double> traces = std::vector<double>(2 * kGridPerBit + 1);

    explicit State(const AnalysisSettings &s)
        : set(s), dt(s.sample_interval), ui(s.samples_per_bit * s.sample_interval),
          clock(ui, s.settle_tolerance, s.ideal_clock), matches(static_cast<size_t>(s.max_latency) + 1, 0),
          compared(static_cast<size_t>(s.max_latency) + 1, 0)
    {
        EyeResult &e = r.eye;
        e.offset.resize(kGridPerBit + 1);
        for (int j = 0; j <= kGridPerBit; ++j)
            e.offset[static_cast<size_t>(j)] = static_cast<double>(j) / kGridPerBit - 0.5;
        e.lowest_one.assign(kGridPerBit + 1, std::numeric_limits<double>::infinity());
        e.highest_zero.assign(kGridPerBit + 1, -std::numeric_limits<double>::infinity());
    }

    // Whether the window of one bit either side of `t` has arrived.
    bool ready(double t) const
    {
        const long long needed = static_cast<long long>((t + ui) / dt) + 2;
        return wave.end() >= needed && (!set.reference || ref.end() >= needed);
    }
    bool fits(double t) const
    {
        const long long begin = set.reference ? std::max(wave.begin(), ref.begin()) : wave.begin();
        const long long end = set.reference ? std::min(wave.end(), ref.end()) : wave.end();
        return t - ui >= static_cast<double>(begin) * dt && (t + ui) / dt <= static_cast<double>(end) - 1.0;
    }

    void add_ideal_instants()
    {
        for (;;) {
            const double t = (set.ideal_position + static_cast<double>(next_ideal * set.samples_per_bit)) * dt;
            if ((t + ui) / dt > static_cast<double>(wave.end()))
                return;
            if (t - ui >= 0.0)
                pending.push_back(t);
            ++next_ideal;
        }
    }

    void process(bool at_end)
    {
        while (!pending.empty() && (ready(pending.front()) || at_end)) {
            const double t = pending.front();
            pending.pop_front();
            if (fits(t))
                take_clock(t);
        }
        forget_old();
    }

    void forget_old()
    {
        // Without a waiting clock, the last two bits stay for clock times that
        // come after their samples.
        double oldest = pending.empty() ? static_cast<double>(wave.end()) * dt - ui : pending.front();
        if (!judged.empty())
            oldest = std::min(oldest, judged.front().time);
        if (!provisional.empty())
            oldest = std::min(oldest, provisional.front().time);
        const long long keep = static_cast<long long>((oldest - ui) / dt) - 2;
        wave.discard_before(keep);
        ref.discard_before(keep);
        bits.discard_before(first_needed_slot() - set.max_latency - 64);
    }

    // The earliest slot a decision still to be counted can have: that of the
    // oldest one waiting, or of the last one counted. Before the first clock
    // every bit is kept, since clock times may come after their samples.
    long long first_needed_slot() const
    {
        long long slot = !judged.empty() ? judged.front().slot : have_slot ? previous_slot : 0;
        if (!provisional.empty())
            slot = judged.empty() && !have_slot ? provisional.front().slot : std::min(slot, provisional.front().slot);
        return slot;
    }

    // Decisions are counted from the first clock of a settled stretch: the
    // clocks of the window that settled it wait in `provisional` meanwhile.
    void take_clock(double t)
    {
        const double phase = clock.add(t);
        const int level = decision_at(t);
        Decision d{t, std::llround(t / ui - phase), level == 1, level >= 0, true};
        if (!clock.settled()) {
            if (counting_stretch) // lock lost: a new window starts here
                provisional.clear();
            counting_stretch = false;
            gap = true;
            provisional.push_back(d);
            if (provisional.size() >= ClockTracker::kLockWindow)
                provisional.pop_front();
            return;
        }
        if (clock.just_settled()) {
            for (const Decision &p : provisional)
                accept(p);
            provisional.clear();
        }
        counting_stretch = true;
        accept(d);
    }

    // The decision on the clock at `t`: 1, 0 or -1 (unresolved). The sampling
    // instant moves by the receiver's jitter, and noise joins the sample.
    int decision_at(double t)
    {
        const DecisionImpairments &im = set.decision;
        const long long n = clocks_taken++;
        const EdgeJitter &jitter = set.ideal_clock ? im.ideal_clock_jitter : im.recovered_clock_jitter;
        const double instant = t + edge_displacement(jitter, n, n % 2 == 0, t, ui);
        const double sample = wave.at(instant / dt) + decision_noise(im.noise, im.noise_seed, n);
        return decide(sample, 0.0, im.sensitivity);
    }

    // A decision of a settled stretch: judged for the latency first, then counted.
    void accept(Decision d)
    {
        if (d.time < static_cast<double>(set.ignore_bits) * ui) {
            gap = true;
            return;
        }
        d.after_gap = gap;
        gap = false;
        if (latency_decided) {
            count(d);
            return;
        }
        judge(d);
        if (judged.size() == kJudgedClocks)
            decide_latency();
    }

    void judge(const Decision &d)
    {
        judged.push_back(d);
        for (size_t latency = 0; latency < matches.size(); ++latency) {
            const long long sent = d.slot - static_cast<long long>(latency);
            if (sent < 0 || sent >= set.bits)
                continue;
            const int bit = bits.at(sent);
            if (bit < 0)
                continue;
            ++compared[latency];
            matches[latency] += d.resolved && (bit == 1) == d.one;
        }
    }

    void decide_latency()
    {
        latency_decided = true;
        long long best = -1;
        DataResult &data = r.data;
        for (size_t latency = 0; latency < matches.size(); ++latency) {
            if (compared[latency] > 0 && matches[latency] > best) {
                best = matches[latency];
                data.latency = static_cast<long>(latency);
                data.latency_match =
                    static_cast<double>(matches[latency]) / static_cast<double>(compared[latency]);
            }
        }
        data.latency_found = best >= 0;
        if (data.latency_found && !judged.empty()) {
            data.first_counted_time = judged.front().time;
            set_density_range();
            for (const Decision &d : judged)
                count(d);
        }
        judged.clear();
        judged.shrink_to_fit();
    }

    // The density's levels: the range the judged bits span, with a margin.
    void set_density_range()
    {
        double low = std::numeric_limits<double>::infinity(), high = -low;
        for (const Decision &d : judged) {
            const auto [lo, hi] = wave.extremes(static_cast<long long>((d.time - ui) / dt),
                                                static_cast<long long>((d.time + ui) / dt) + 1);
            low = std::min(low, lo);
            high = std::max(high, hi);
        }
        DensityResult &density = r.density;
        const double margin = 0.1 * std::max(high - low, 1e-12);
        density.times = 2 * kGridPerBit;
        density.levels = kDensityLevels;
        density.low = low - margin;
        density.high = high + margin;
        density.counts.assign(static_cast<size_t>(density.times) * density.levels, 0);
        density_scale = density.levels / (density.high - density.low);
    }

    void count(const Decision &d)
    {
        DataResult &data = r.data;
        if (have_slot && !d.after_gap && d.slot != previous_slot + 1)
            ++data.clock_slips;
        have_slot = true;
        previous_slot = d.slot;
        const long long sent = d.slot - data.latency;
        const int bit = sent >= 0 && sent < set.bits ? bits.at(sent) : -1;
        if (bit < 0)
            return;
        const bool one = bit == 1;
        ++data.bits_counted;
        data.bit_errors += !d.resolved || d.one != one;
        ones = ones || one;
        zeros = zeros || !one;
        add_to_eye(d.time, one);
    }

    // The waveform over two bits around `t`, one value per eye phase: the
    // density's columns, whose middle 65 are the inner eye's phases.
    void add_to_eye(double t, bool one)
    {
        if (set.reference) {
            const double v = ref.at(t / dt);
            if (one)
                linear_one = std::min(linear_one, v);
            else
                linear_zero = std::max(linear_zero, v);
        }
        const double step = set.samples_per_bit / static_cast<double>(kGridPerBit);
        wave.interpolate(t / dt - set.samples_per_bit, step, traces.size(), traces.data());
        EyeResult &e = r.eye;
        const double *inner = traces.data() + kGridPerBit / 2;
        if (one) {
            for (size_t j = 0; j <= kGridPerBit; ++j)
                e.lowest_one[j] = std::min(e.lowest_one[j], inner[j]);
        } else {
            for (size_t j = 0; j <= kGridPerBit; ++j)
                e.highest_zero[j] = std::max(e.highest_zero[j], inner[j]);
        }
        DensityResult &density = r.density;
        density.clipped += add_density_columns(traces.data(), static_cast<size_t>(density.times), density.levels,
                                               density.low, density_scale, density.counts.data());
    }

    void close_eye()
    {
        EyeResult &e = r.eye;
        e.valid = ones && zeros;
        if (!e.valid)
            return;
        e.linear_valid = set.reference;
        if (e.linear_valid)
            e.linear_height = linear_one - linear_zero;
        const size_t centre = kGridPerBit / 2;
        e.top = e.lowest_one[centre];
        e.bottom = e.highest_zero[centre];
        e.height = e.top - e.bottom;
        e.open = e.bottom < 0.0 && e.top > 0.0;
        if (!e.open)
            return;
        // How far the threshold stays inside the opening either side.
        std::vector<double> margin(kGridPerBit + 1);
        for (size_t j = 0; j < margin.size(); ++j)
            margin[j] = std::min(e.lowest_one[j], -e.highest_zero[j]);
        eye_edges(margin, centre, e.left, e.right);
        e.left /= kGridPerBit;
        e.right /= kGridPerBit;
        e.width = e.right - e.left;
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
        s_->add_ideal_instants();
    s_->process(false);
}

void WaveformAnalyser::clock_times(const double *edges, size_t count)
{
    if (s_->set.ideal_clock)
        return;
    for (size_t i = 0; i < count; ++i) {
        s_->model_clock_seen = true;
        const double t = edges[i] + 0.5 * s_->ui;
        if (t - s_->ui >= 0.0)
            s_->pending.push_back(t);
    }
    s_->process(false);
}

void WaveformAnalyser::finish()
{
    s_->process(true);
    if (!s_->latency_decided)
        s_->decide_latency();
    s_->close_eye();
}

bool WaveformAnalyser::any_clock() const { return s_->set.ideal_clock || s_->model_clock_seen; }

WaveformResult WaveformAnalyser::result() const
{
    WaveformResult r = s_->r;
    r.clock = s_->clock.result();
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
