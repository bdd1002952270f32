// The statistical eye. At every phase of a grid the level distribution of a
// "one" (a "zero" is its mirror image) and the noise give the ratio at every
// threshold before jitter. Jitter then averages those ratios over where the
// sampling instant actually falls: for the figures (the bathtub at threshold
// 0, the eye's edges, its height, the ratio at the sampling point) at the
// jitter's exact offsets, the ratio between grid phases read in its
// logarithm and refined where that reading is not close; for the whole
// picture on a grid kSubSteps times finer than the phases. The edges are
// found on these averages themselves, or without jitter on the exact ratio
// at any phase.
#include "statistical/ber_eye.h"

#include "base/host_error.h"
#include "statistical/jitter_average.h"
#include "statistical/level_distribution.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace ami_host {

namespace {

// Jitter probability left out.
constexpr double kNegligibleJitter = 1e-22;
// Jitter further than this (UI) from the instant is taken as a guess (ratio 1/2).
constexpr double kJitterCap = 4.0;
// Steps of the picture's jitter grid per phase step.
constexpr int kSubSteps = 4;
// Bisection places an eye edge to these fractions of the threshold range and of a UI.
constexpr double kEdgeResolution = 1e-13;
constexpr double kPhaseResolution = 1e-9;
// The bathtub before jitter is refined between two phases until its
// logarithm at the middle is within this many decades of the mean of the
// two, where it exceeds kRelevance times the target ratio (or 1e-15 if
// that is lower) and the phases are more than kFinestRefinement of a step
// apart.
constexpr double kRefineDecades = 0.002;
constexpr double kRelevance = 1e-6;
constexpr double kFinestRefinement = 1.0 / 4096.0;
constexpr size_t kMaxRefinements = 4096;
// A jitter density of at most this many points has its own offsets among
// the phases that place the eye's height.
constexpr size_t kExactOffsets = 64;
// Rounds of refining the phases around phase 0 at the height's threshold,
// where their ratios exceed kHeightRelevance times the target.
constexpr int kCentreRefinements = 12;
constexpr double kHeightRelevance = 1e-3;
// Ratios below this are taken as this one where logarithms are interpolated.
constexpr double kLeastRatio = 1e-300;

// The first sample of the largest magnitude.
size_t main_cursor_index(const std::vector<double> &pulse)
{
    size_t best = 0;
    for (size_t i = 1; i < pulse.size(); ++i)
        if (std::fabs(pulse[i]) > std::fabs(pulse[best]))
            best = i;
    return best;
}

// The fractional sample of phase 0.
double phase_origin(const StatEyeInput &in)
{
    return in.phase_origin >= 0.0 ? in.phase_origin : static_cast<double>(main_cursor_index(in.pulse));
}

void check_input(const StatEyeInput &in)
{
    if (in.pulse.empty())
        throw Error("the statistical eye needs a pulse response");
    auto finite = [](const std::vector<double> &v) {
        return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
    };
    if (!finite(in.pulse) || !std::all_of(in.crosstalk.begin(), in.crosstalk.end(), finite))
        throw Error("the pulse response holds a value that is not a finite number");
    if (in.samples_per_bit <= 0 || !(in.sample_interval > 0.0))
        throw Error("the statistical eye needs a positive bit length and sample interval");
    if (in.phases_per_ui < 2 || in.phases_per_ui % 2 != 0 || in.voltage_bins < 2 || in.voltage_bins % 2 != 0)
        throw Error("the statistical eye needs an even number of phases and of voltage bins");
    if (!(in.target_ber > 0.0 && in.target_ber < 0.5))
        throw Error("the target bit-error ratio must lie between 0 and 0.5");
    if (!(in.noise >= 0.0) || !(in.sensitivity >= 0.0))
        throw Error("noise and sensitivity cannot be negative");
}

bool has_jitter(const JitterDensity &j)
{
    return j.sigma > 0.0 || j.offsets.size() != 1 || j.offsets.front() != 0.0;
}

double log_ratio(double ber) { return std::log10(std::max(ber, kLeastRatio)); }

// The link before jitter at any phase (UI from phase 0).
class Link {
public:
    explicit Link(const StatEyeInput &in)
        : in_(in), origin_(phase_origin(in)), samples_per_ui_(in.samples_per_bit)
    {
        polarity_ = in.pulse[main_cursor_index(in.pulse)] < 0.0 ? -1.0 : 1.0;
    }

    Cursors cursors(double phase) const
    {
        return cursors_at(in_.pulse, in_.crosstalk, in_.samples_per_bit, origin_ + phase * samples_per_ui_, polarity_);
    }

    // Thresholds from -range to range, `bins` steps.
    void set_grid(double range, int bins)
    {
        range_ = range;
        decision_ = {in_.noise, in_.sensitivity, 2.0 * range / bins};
    }
    double range() const { return range_; }
    const Decision &decision() const { return decision_; }

    LevelDistribution levels(const Cursors &c) const { return level_distribution(c, decision_.step, scratch_); }
    LevelDistribution levels(double phase) const { return levels(cursors(phase)); }

    // The ratio at threshold t of a distribution: a one errs below t, a
    // zero (the one mirrored) above it.
    double ber(const LevelDistribution &d, double t) const
    {
        return 0.5 * (fall_below(d, decision_, t) + fall_below(d, decision_, -t));
    }
    double centre_ber(double phase) const { return fall_below(levels(phase), decision_, 0.0); }

private:
    const StatEyeInput &in_;
    double origin_, samples_per_ui_, polarity_ = 1.0;
    double range_ = 0.0;
    Decision decision_;
    mutable std::vector<double> scratch_;
};

// The ratios before jitter on the phase grid, and what the figures need.
struct Workspace {
    double step = 0.0;            // UI between grid phases
    long first = 0;               // grid index of the first row
    std::vector<std::vector<double>> rows;          // per grid phase, per threshold
    // Around phase 0, for its height: the grid phases -reach .. reach and the
    // jitter's own offsets when it has few, in order of phase.
    std::vector<double> centre_phases;
    std::vector<LevelDistribution> centre_levels;
    long reach = 0;               // grid steps the jitter reaches
    PhaseProfile bathtub;         // threshold 0, refined between grid phases
    std::unique_ptr<JitterAverage> jittered_bathtub;
    size_t folded = 0;       // the most at any grid phase
    double fold_bound = 0.0; // volts, the same
};

Workspace prepare(const StatEyeInput &in, Link &link)
{
    Workspace w;
    w.step = 1.0 / in.phases_per_ui;
    const long half = in.phases_per_ui / 2;
    if (has_jitter(in.jitter))
        w.reach = static_cast<long>(std::ceil(jitter_reach(in.jitter, w.step, kJitterCap, kNegligibleJitter) / w.step)) + 1;
    w.first = -half - w.reach;

    // The cursors are read twice rather than kept: a long pulse response
    // has many at every phase.
    const size_t phases = static_cast<size_t>(half + w.reach - w.first + 1);
    auto phase_of = [&](size_t p) { return static_cast<double>(w.first + static_cast<long>(p)) * w.step; };
    double highest = 0.0;
    for (size_t p = 0; p < phases; ++p)
        highest = std::max(highest, highest_level(link.cursors(phase_of(p))));
    if (!(highest > 0.0))
        throw Error("the pulse response is zero: there is no eye");
    link.set_grid(1.05 * highest + 6.0 * in.noise + in.sensitivity, in.voltage_bins);

    const size_t thresholds = static_cast<size_t>(in.voltage_bins) + 1;
    for (size_t p = 0; p < phases; ++p) {
        LevelDistribution levels = link.levels(phase_of(p));
        w.folded = std::max(w.folded, levels.folded);
        w.fold_bound = std::max(w.fold_bound, levels.fold_bound);
        const std::vector<double> fall =
            fall_below_thresholds(levels, link.decision(), link.range(), thresholds);
        std::vector<double> ber(thresholds);
        for (size_t j = 0; j < thresholds; ++j)
            ber[j] = 0.5 * (fall[j] + fall[thresholds - 1 - j]);
        w.bathtub.phase.push_back(phase_of(p));
        w.bathtub.ber.push_back(ber[thresholds / 2]);
        w.rows.push_back(std::move(ber));
        const long phase = w.first + static_cast<long>(p);
        if (phase >= -w.reach && phase <= w.reach) {
            w.centre_phases.push_back(static_cast<double>(phase) * w.step);
            w.centre_levels.push_back(std::move(levels));
        }
        if (in.progress)
            in.progress(static_cast<double>(p + 1) / static_cast<double>(phases));
    }
    return w;
}

// Adds the jitter's offsets to the phases around phase 0, when it has few:
// without a Gaussian the height is then exact.
void add_jitter_offsets(const StatEyeInput &in, Workspace &w, const Link &link)
{
    if (in.jitter.offsets.size() > kExactOffsets)
        return;
    std::vector<std::pair<double, LevelDistribution>> nodes;
    for (size_t i = 0; i < w.centre_phases.size(); ++i)
        nodes.emplace_back(w.centre_phases[i], std::move(w.centre_levels[i]));
    for (double offset : in.jitter.offsets)
        if (std::none_of(nodes.begin(), nodes.end(), [&](const auto &n) { return n.first == offset; }))
            nodes.emplace_back(offset, link.levels(offset));
    std::sort(nodes.begin(), nodes.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    w.centre_phases.clear();
    w.centre_levels.clear();
    for (auto &n : nodes) {
        w.centre_phases.push_back(n.first);
        w.centre_levels.push_back(std::move(n.second));
    }
}

// Adds phases to the bathtub until, between any two neighbours where it
// matters, the exact ratio at the middle is what reading it between them
// gives.
void refine_bathtub(PhaseProfile &b, const Link &link, double step, double target)
{
    struct Piece {
        double a, b, ber_a, ber_b;
    };
    std::vector<Piece> pending;
    for (size_t i = 0; i + 1 < b.phase.size(); ++i)
        pending.push_back({b.phase[i], b.phase[i + 1], b.ber[i], b.ber[i + 1]});
    const double relevant = kRelevance * std::min(target, 1e-15);
    PhaseProfile added;
    while (!pending.empty() && added.phase.size() < kMaxRefinements) {
        const Piece p = pending.back();
        pending.pop_back();
        if (p.ber_a == p.ber_b || std::max(p.ber_a, p.ber_b) < relevant || p.b - p.a <= kFinestRefinement * step)
            continue;
        const double mid = 0.5 * (p.a + p.b);
        const double ber = link.centre_ber(mid);
        added.phase.push_back(mid);
        added.ber.push_back(ber);
        if (std::fabs(log_ratio(ber) - 0.5 * (log_ratio(p.ber_a) + log_ratio(p.ber_b))) > kRefineDecades) {
            pending.push_back({p.a, mid, p.ber_a, ber});
            pending.push_back({mid, p.b, ber, p.ber_b});
        }
    }
    std::vector<size_t> order(b.phase.size() + added.phase.size());
    PhaseProfile all = b;
    all.phase.insert(all.phase.end(), added.phase.begin(), added.phase.end());
    all.ber.insert(all.ber.end(), added.ber.begin(), added.ber.end());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t x, size_t y) { return all.phase[x] < all.phase[y]; });
    b = {};
    for (size_t i : order) {
        b.phase.push_back(all.phase[i]);
        b.ber.push_back(all.ber[i]);
    }
}

// The ratio at threshold 0 and any phase: with jitter, averaged over it;
// without, exact.
double bathtub_at(const StatEyeInput &in, const Workspace &w, const Link &link, double phase)
{
    if (!has_jitter(in.jitter))
        return link.centre_ber(phase);
    return (*w.jittered_bathtub)(phase);
}

// The ratio at phase 0 and any threshold, from the grid phases' distributions.
double centre_ber(const StatEyeInput &in, const Workspace &w, const Link &link, double t)
{
    PhaseProfile p;
    p.phase = w.centre_phases;
    for (const LevelDistribution &d : w.centre_levels)
        p.ber.push_back(link.ber(d, t));
    return JitterAverage(std::move(p), in.jitter)(0.0);
}

// The jittered ratios on the picture's grid: every row interpolated (in its
// logarithm) to each point of a grid kSubSteps times finer, and added to the
// output phases the jitter weights reach it from.
std::vector<double> jittered_surface(const StatEyeInput &in, const Workspace &w, size_t phases, size_t thresholds)
{
    const double sub = w.step / kSubSteps;
    const JitterKernel kernel = jitter_kernel(in.jitter, sub, static_cast<double>(w.reach) * w.step);
    const long half = in.phases_per_ui / 2;
    std::vector<double> out(phases * thresholds, 0.5 * kernel.outside);
    std::vector<std::vector<double>> logs(w.rows.size(), std::vector<double>(thresholds));
    for (size_t r = 0; r < w.rows.size(); ++r)
        for (size_t t = 0; t < thresholds; ++t)
            logs[r][t] = std::log(std::max(w.rows[r][t], kLeastRatio));
    std::vector<double> row(thresholds);
    const long kernel_last = kernel.first + static_cast<long>(kernel.weight.size()) - 1;
    const long first_sub = w.first * kSubSteps, last_sub = -w.first * kSubSteps;
    for (long u = first_sub; u <= last_sub; ++u) {
        const long r = (u - first_sub) / kSubSteps;
        const long within = (u - first_sub) % kSubSteps;
        bool needed = false;
        for (long j = -half; j <= half && !needed; ++j) {
            const long s = u - j * kSubSteps;
            needed = s >= kernel.first && s <= kernel_last && kernel.weight[static_cast<size_t>(s - kernel.first)] != 0.0;
        }
        if (!needed)
            continue;
        const std::vector<double> &a = w.rows[static_cast<size_t>(r)];
        if (within == 0) {
            row = a;
        } else {
            const double f = static_cast<double>(within) / kSubSteps;
            const std::vector<double> &la = logs[static_cast<size_t>(r)], &lb = logs[static_cast<size_t>(r + 1)];
            const std::vector<double> &b = w.rows[static_cast<size_t>(r + 1)];
            for (size_t t = 0; t < thresholds; ++t)
                row[t] = a[t] == 0.0 && b[t] == 0.0 ? 0.0 : std::exp(la[t] + f * (lb[t] - la[t]));
        }
        for (long j = -half; j <= half; ++j) {
            const long s = u - j * kSubSteps;
            if (s < kernel.first || s > kernel_last)
                continue;
            const double weight = kernel.weight[static_cast<size_t>(s - kernel.first)];
            if (weight == 0.0)
                continue;
            double *o = &out[static_cast<size_t>(j + half) * thresholds];
            for (size_t t = 0; t < thresholds; ++t)
                o[t] += weight * row[t];
        }
    }
    return out;
}

// Where the ratio reaches the target between `open` (ratio b_open, at or
// below the target) and `closed` (b_closed, above it), to `resolution`:
// false position on its logarithm, the stuck end's value halved when one
// end keeps moving (Illinois), and a bisection after every step that does
// not halve the bracket. A smooth bathtub takes a few steps, a staircase
// (no noise) is bisected.
template <typename Ratio>
double edge_between(double open, double b_open, double closed, double b_closed, double resolution, double target,
                    Ratio ratio)
{
    const double goal = log_ratio(target);
    double f_open = log_ratio(b_open) - goal, f_closed = log_ratio(b_closed) - goal;
    int kept = 0; // +1: open moved last, -1: closed did
    bool bisect = false;
    while (std::fabs(closed - open) > resolution) {
        const double width = std::fabs(closed - open);
        const double mid = 0.5 * (open + closed);
        double x = bisect || !(f_closed > f_open) ? mid : open + (closed - open) * (-f_open / (f_closed - f_open));
        if (!(std::fabs(x - open) > 0.0 && std::fabs(closed - x) > 0.0 && std::fabs(closed - x) < width))
            x = mid;
        if (x == open || x == closed)
            break;
        const double f = log_ratio(ratio(x)) - goal;
        if (f <= 0.0) {
            open = x;
            f_open = f;
            if (kept > 0)
                f_closed *= 0.5;
            kept = 1;
        } else {
            closed = x;
            f_closed = f;
            if (kept < 0)
                f_open *= 0.5;
            kept = -1;
        }
        bisect = !bisect && std::fabs(closed - open) > 0.5 * width;
    }
    return open;
}

// The upper edge of the eye at phase 0, bracketed on the grid and placed
// between.
double threshold_edge(const StatEyeInput &in, const Workspace &w, const Link &link, const StatEyeResult &r,
                      size_t centre_phase)
{
    auto ratio = [&](double t) { return centre_ber(in, w, link, t); };
    const size_t centre = r.threshold.size() / 2;
    size_t above = centre + 1;
    while (above < r.threshold.size() && ber_at(r, centre_phase, above) <= in.target_ber)
        ++above;
    // The grid's picture and the exact ratio may differ by a step.
    double b_above = above < r.threshold.size() ? ratio(r.threshold[above]) : 0.0;
    while (above < r.threshold.size() && b_above <= in.target_ber) {
        ++above;
        b_above = above < r.threshold.size() ? ratio(r.threshold[above]) : 0.0;
    }
    if (above == r.threshold.size())
        return r.threshold.back();
    double b_below = ratio(r.threshold[above - 1]);
    while (above > centre + 1 && b_below > in.target_ber) {
        --above;
        b_above = b_below;
        b_below = ratio(r.threshold[above - 1]);
    }
    return edge_between(r.threshold[above - 1], b_below, r.threshold[above], b_above, kEdgeResolution * link.range(),
                        in.target_ber, ratio);
}

// Adds phases around phase 0 where, at threshold t, the exact ratio at the
// middle of two neighbours is not what reading it between them gives.
// Returns whether it added any.
bool refine_centre(const StatEyeInput &in, Workspace &w, const Link &link, double t)
{
    // A phase whose ratio is this far below the target moves the height by
    // less than this share of its own error.
    const double relevant = kHeightRelevance * in.target_ber;
    std::vector<double> ber;
    for (const LevelDistribution &d : w.centre_levels)
        ber.push_back(link.ber(d, t));
    std::vector<std::pair<double, LevelDistribution>> added;
    for (size_t i = 0; i + 1 < ber.size(); ++i) {
        const double a = w.centre_phases[i], b = w.centre_phases[i + 1];
        if (ber[i] == ber[i + 1] || std::max(ber[i], ber[i + 1]) < relevant || b - a <= kFinestRefinement * w.step)
            continue;
        LevelDistribution levels = link.levels(0.5 * (a + b));
        const double mid = link.ber(levels, t);
        if (std::fabs(log_ratio(mid) - 0.5 * (log_ratio(ber[i]) + log_ratio(ber[i + 1]))) > kRefineDecades)
            added.emplace_back(0.5 * (a + b), std::move(levels));
    }
    for (auto &[phase, levels] : added) {
        const size_t at = static_cast<size_t>(
            std::upper_bound(w.centre_phases.begin(), w.centre_phases.end(), phase) - w.centre_phases.begin());
        w.centre_phases.insert(w.centre_phases.begin() + static_cast<long>(at), phase);
        w.centre_levels.insert(w.centre_levels.begin() + static_cast<long>(at), std::move(levels));
    }
    return !added.empty();
}

// The eye's height at phase 0: the ratio is even in the threshold, so it is
// twice the upper edge, placed again while the phases around phase 0 are
// refined where reading between them at that edge is not close.
double centre_height(const StatEyeInput &in, Workspace &w, const Link &link, const StatEyeResult &r,
                     size_t centre_phase)
{
    double edge = threshold_edge(in, w, link, r, centre_phase);
    for (int round = 0; round < kCentreRefinements && edge < r.threshold.back() && refine_centre(in, w, link, edge);
         ++round)
        edge = threshold_edge(in, w, link, r, centre_phase);
    return 2.0 * edge;
}

// Where the bathtub first rises above the target from phase index `centre`
// in direction `dir`; the grid's end when it never does.
double eye_edge(const StatEyeInput &in, const Workspace &w, const Link &link, const StatEyeResult &r,
                size_t centre, int dir)
{
    size_t i = centre;
    while (true) {
        const bool at_end = dir > 0 ? i + 1 >= r.phase.size() : i == 0;
        if (at_end)
            return r.phase[i];
        const size_t next = dir > 0 ? i + 1 : i - 1;
        if (r.horizontal_bathtub[next] > in.target_ber)
            return edge_between(r.phase[i], r.horizontal_bathtub[i], r.phase[next], r.horizontal_bathtub[next],
                                kPhaseResolution, in.target_ber,
                                [&](double phase) { return bathtub_at(in, w, link, phase); });
        i = next;
    }
}

// Where log10 of a ratio, linear between (x0, b0) and (x1, b1), reaches `target`.
double crossing(double x0, double b0, double x1, double b1, double target)
{
    const double l0 = log_ratio(b0), l1 = log_ratio(b1);
    if (l1 == l0)
        return x0;
    return x0 + (x1 - x0) * (log_ratio(target) - l0) / (l1 - l0);
}

// The first index from `centre` in direction `dir` whose value exceeds
// `target` (values[centre] does not), and where the curve crosses it; the
// end of the grid when none does.
double contour_edge(const std::vector<double> &axis, const std::vector<double> &values, size_t centre, int dir,
                    double target)
{
    size_t i = centre;
    while (true) {
        const bool at_end = dir > 0 ? i + 1 >= values.size() : i == 0;
        if (at_end)
            return axis[i];
        const size_t next = dir > 0 ? i + 1 : i - 1;
        if (values[next] > target)
            return crossing(axis[i], values[i], axis[next], values[next], target);
        i = next;
    }
}

void contours_of(const StatEyeInput &in, StatEyeResult &r)
{
    const size_t centre = r.threshold.size() / 2;
    std::vector<double> column(r.threshold.size());
    for (double level : in.contour_bers) {
        EyeContour c;
        c.ber = level;
        for (size_t p = 0; p < r.phase.size(); ++p) {
            for (size_t t = 0; t < column.size(); ++t)
                column[t] = ber_at(r, p, t);
            const bool open = column[centre] <= level;
            c.upper.push_back(open ? contour_edge(r.threshold, column, centre, 1, level)
                                   : std::numeric_limits<double>::quiet_NaN());
            c.lower.push_back(open ? contour_edge(r.threshold, column, centre, -1, level)
                                   : std::numeric_limits<double>::quiet_NaN());
        }
        r.contours.push_back(std::move(c));
    }
}

} // namespace

void apply_impairments(StatEyeInput &input, const Impairments &impairments, double bit_time)
{
    input.jitter = sampling_jitter(impairments, bit_time);
    input.noise = impairments.rx_noise;
    input.sensitivity = impairments.rx_sensitivity;
    input.sampling_offset = impairments.rx_clock_recovery_mean.ui(bit_time);
}

StatEyeResult analyse_stat_eye(const StatEyeInput &in)
{
    check_input(in);
    Link link(in);
    Workspace w = prepare(in, link);
    if (has_jitter(in.jitter)) {
        add_jitter_offsets(in, w, link);
        refine_bathtub(w.bathtub, link, w.step, in.target_ber);
        w.jittered_bathtub = std::make_unique<JitterAverage>(w.bathtub, in.jitter);
    }
    const long half = in.phases_per_ui / 2;
    const size_t thresholds = static_cast<size_t>(in.voltage_bins) + 1;

    StatEyeResult r;
    r.bit_time = in.samples_per_bit * in.sample_interval;
    r.cursor_time = phase_origin(in) * in.sample_interval;
    r.main_cursor = in.pulse[main_cursor_index(in.pulse)];
    r.target_ber = in.target_ber;
    r.folded_cursors = w.folded;
    r.fold_bound = w.fold_bound;
    for (long j = -half; j <= half; ++j)
        r.phase.push_back(static_cast<double>(j) * w.step);
    for (size_t t = 0; t < thresholds; ++t)
        r.threshold.push_back(-link.range() + static_cast<double>(t) * link.decision().step);
    r.ber = jittered_surface(in, w, r.phase.size(), thresholds);

    // The bathtub at the jitter's exact offsets, also in the picture.
    const size_t centre_phase = static_cast<size_t>(half);
    const size_t centre_threshold = thresholds / 2;
    for (size_t j = 0; j < r.phase.size(); ++j) {
        r.horizontal_bathtub.push_back(has_jitter(in.jitter) ? bathtub_at(in, w, link, r.phase[j]) : w.bathtub.ber[j]);
        r.ber[j * thresholds + centre_threshold] = r.horizontal_bathtub.back();
    }
    for (size_t t = 0; t < thresholds; ++t)
        r.vertical_bathtub.push_back(ber_at(r, centre_phase, t));

    r.open = r.horizontal_bathtub[centre_phase] <= in.target_ber;
    if (r.open) {
        r.eye_height = centre_height(in, w, link, r, centre_phase);
        r.eye_left = eye_edge(in, w, link, r, centre_phase, -1);
        r.eye_right = eye_edge(in, w, link, r, centre_phase, 1);
        r.eye_width = r.eye_right - r.eye_left;
    }
    contours_of(in, r);

    r.sampling_phase = in.sampling_offset;
    r.ber_at_sampling_point = bathtub_at(in, w, link, r.sampling_phase);
    return r;
}

} // namespace ami_host
