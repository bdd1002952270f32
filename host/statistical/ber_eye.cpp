// The statistical eye. At every sampling phase the received level of a "one"
// is half the main cursor plus every other cursor (and every crosstalk
// value) times an independent, equally likely -1/2 or +1/2. Its distribution
// is built on a voltage grid anchored at its exact lowest value, then the
// noise turns it into the probability of a wrong decision at each threshold.
// A "zero" is the mirror image of a "one", so one distribution serves both.
// Jitter then averages these ratios over the phases the sampling instant
// actually falls on.
#include "statistical/ber_eye.h"

#include "base/host_error.h"
#include "base/linear_interpolation.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ami_host {

namespace {

// Noise deviations beyond which the Gaussian tail is taken as 0 (or 1):
// Q(9.5) is about 1e-21, far below any ratio the eye reports.
constexpr double kTailReach = 9.5;
// Jitter probability left out of the phase convolution.
constexpr double kNegligibleJitter = 1e-22;
// Bisection places an eye edge to this fraction of the threshold range.
constexpr double kEdgeResolution = 1e-13;
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

// What the bits contribute when bit 0 is sampled at fractional sample `x`.
struct Cursors {
    double main = 0.0;               // volts, of bit 0, with the polarity that makes the phase-0 cursor positive
    std::vector<double> interfering; // magnitudes of every other bit's and every aggressor bit's value
};

void add_bit_values(const std::vector<double> &pulse, double x, double bit, bool skip_main,
                    std::vector<double> &out)
{
    const double last = static_cast<double>(pulse.size() - 1);
    const long first_k = static_cast<long>(std::ceil(-x / bit));
    const long last_k = static_cast<long>(std::floor((last - x) / bit));
    for (long k = first_k; k <= last_k; ++k) {
        if (skip_main && k == 0)
            continue;
        const double v = std::fabs(sample_at(pulse, x + static_cast<double>(k) * bit));
        if (v > 0.0)
            out.push_back(v);
    }
}

Cursors cursors_at(const StatEyeInput &in, double x, double polarity)
{
    Cursors c;
    const double bit = in.samples_per_bit;
    c.main = polarity * sample_at(in.pulse, x);
    add_bit_values(in.pulse, x, bit, true, c.interfering);
    for (const std::vector<double> &aggressor : in.crosstalk)
        if (!aggressor.empty())
            add_bit_values(aggressor, x, bit, false, c.interfering);
    return c;
}

// The received level of a "one": lowest + k x step with probability mass[k].
struct LevelDistribution {
    double lowest = 0.0;
    std::vector<double> mass;
    std::vector<double> below; // below[k]: the mass under k, summed from the smallest
};

// Each interfering value v adds 0 or v with equal odds; v falls between two
// steps of a grid `kFineSteps` times finer than `step`, and its share goes to
// both in proportion, so that the mean stays exact and nothing lands below
// the lowest level, which is exact. Every split widens the distribution a
// little; on the fine grid the widening of all the cursors together stays
// far below that of one split on the coarse grid, where the result is then
// put in the same way, once.
constexpr size_t kFineSteps = 8;

LevelDistribution level_distribution(const Cursors &c, double step, std::vector<double> &fine)
{
    LevelDistribution d;
    double half_sum = 0.0;
    for (double v : c.interfering)
        half_sum += 0.5 * v;
    d.lowest = 0.5 * c.main - half_sum;
    const double fine_step = step / kFineSteps;

    // Smallest values first, while the distribution is still short; all in
    // one buffer, each value's shifted half added from the top down.
    std::vector<double> values = c.interfering;
    std::sort(values.begin(), values.end());
    size_t total = 1;
    for (double v : values)
        total += static_cast<size_t>(v / fine_step) + 1;
    fine.assign(total, 0.0);
    fine[0] = 1.0;
    size_t size = 1;
    for (double v : values) {
        const double s = v / fine_step;
        const size_t n = static_cast<size_t>(s);
        const double up = s - static_cast<double>(n);
        for (size_t i = size; i-- > 0;) {
            const double half = 0.5 * fine[i];
            fine[i] = half;
            fine[i + n] += half * (1.0 - up);
            fine[i + n + 1] += half * up;
        }
        size += n + 1;
    }

    d.mass.assign(size / kFineSteps + 2, 0.0);
    for (size_t k = 0; k < size; ++k) {
        const size_t coarse = k / kFineSteps;
        const double up = static_cast<double>(k % kFineSteps) / kFineSteps;
        d.mass[coarse] += fine[k] * (1.0 - up);
        d.mass[coarse + 1] += fine[k] * up;
    }
    while (d.mass.size() > 1 && d.mass.back() == 0.0)
        d.mass.pop_back();
    d.below.assign(d.mass.size() + 1, 0.0);
    for (size_t k = 0; k < d.mass.size(); ++k)
        d.below[k + 1] = d.below[k] + d.mass[k];
    return d;
}

// The smallest d with r + d x step >= value, and the largest with
// r + d x step <= value, as that expression evaluates.
long first_at_least(double r, double step, double value)
{
    long d = static_cast<long>(std::ceil((value - r) / step));
    while (r + static_cast<double>(d - 1) * step >= value)
        --d;
    while (r + static_cast<double>(d) * step < value)
        ++d;
    return d;
}

long last_at_most(double r, double step, double value)
{
    long d = static_cast<long>(std::floor((value - r) / step));
    while (r + static_cast<double>(d + 1) * step <= value)
        ++d;
    while (r + static_cast<double>(d) * step > value)
        --d;
    return d;
}

// The decision's noise and margin: a level v is taken for a zero at
// threshold t with probability P(v + noise < t + sensitivity).
struct Decision {
    double noise = 0.0;
    double sensitivity = 0.0;
    double step = 0.0;

    double reach() const { return kTailReach * noise; }
    // P(noise < -distance): the chance that a level `distance` above the
    // decision boundary falls below it.
    double fall(double distance) const
    {
        if (noise > 0.0)
            return gaussian_tail(distance / noise);
        return distance < 0.0 ? 1.0 : distance == 0.0 ? 0.5 : 0.0;
    }
};

// P(level + noise < u + sensitivity) for one distribution.
double fall_below(const LevelDistribution &d, const Decision &dec, double u)
{
    const double r = d.lowest - u - dec.sensitivity; // distance of level k: r + k x step
    const long mass_size = static_cast<long>(d.mass.size());
    const long k_lo = first_at_least(r, dec.step, -dec.reach());
    const long k_hi = std::min(last_at_most(r, dec.step, dec.reach()), mass_size - 1);
    double sum = d.below[static_cast<size_t>(std::clamp(k_lo, 0L, mass_size))];
    for (long k = std::max(k_lo, 0L); k <= k_hi; ++k)
        sum += d.mass[static_cast<size_t>(k)] * dec.fall(r + static_cast<double>(k) * dec.step);
    return sum;
}

// The same at every threshold -range + j x step, j = 0 .. count - 1. The
// distances depend on k - j only, so the noise's tail is evaluated once per
// difference.
std::vector<double> fall_below_thresholds(const LevelDistribution &d, const Decision &dec, double range,
                                          size_t count)
{
    const double r = d.lowest + range - dec.sensitivity; // distance of level k at threshold j: r + (k - j) x step
    const long d_lo = first_at_least(r, dec.step, -dec.reach());
    const long d_hi = last_at_most(r, dec.step, dec.reach());
    std::vector<double> kernel;
    for (long diff = d_lo; diff <= d_hi; ++diff)
        kernel.push_back(dec.fall(r + static_cast<double>(diff) * dec.step));
    const long mass_size = static_cast<long>(d.mass.size());
    std::vector<double> out(count);
    for (size_t j = 0; j < count; ++j) {
        const long jl = static_cast<long>(j);
        const long k_lo = jl + d_lo;
        const long k_hi = std::min(jl + d_hi, mass_size - 1);
        double sum = d.below[static_cast<size_t>(std::clamp(k_lo, 0L, mass_size))];
        for (long k = std::max(k_lo, 0L); k <= k_hi; ++k)
            sum += d.mass[static_cast<size_t>(k)] * kernel[static_cast<size_t>(k - k_lo)];
        out[j] = sum;
    }
    return out;
}

// The jitter as weights of whole phase steps: weight[lag + reach] is the
// chance that the sampling instant falls in the step `lag` steps away.
struct PhaseWeights {
    long reach = 0;
    std::vector<double> weight;
    // The chance that it falls further away still, where a decision is as
    // good as a guess (ratio 1/2): only for jitter that reaches beyond a whole
    // UI; otherwise it is below kNegligibleJitter and left out.
    double outside = 0.0;
};

PhaseWeights phase_weights(const JitterDensity &jitter, int phases_per_ui)
{
    const double h = 1.0 / phases_per_ui;
    auto beyond = [&](long lag) {
        const double edge = (static_cast<double>(lag) + 0.5) * h;
        return jitter_below(jitter, -edge) + jitter_above(jitter, edge);
    };
    PhaseWeights w;
    while (w.reach < phases_per_ui && beyond(w.reach) >= kNegligibleJitter)
        ++w.reach;
    const double outside = beyond(w.reach);
    w.outside = outside >= kNegligibleJitter ? outside : 0.0;
    for (long lag = -w.reach; lag <= w.reach; ++lag) {
        const double a = (static_cast<double>(lag) - 0.5) * h, b = (static_cast<double>(lag) + 0.5) * h;
        // Each side from its own tail, so that small weights keep their digits.
        double p = 0.0;
        if (lag > 0)
            p = jitter_above(jitter, a) - jitter_above(jitter, b);
        else if (lag < 0)
            p = jitter_below(jitter, b) - jitter_below(jitter, a);
        else
            p = 1.0 - jitter_below(jitter, a) - jitter_above(jitter, b);
        w.weight.push_back(std::max(p, 0.0));
    }
    return w;
}

double log_ratio(double ber) { return std::log10(std::max(ber, kLeastRatio)); }

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
double edge_of(const std::vector<double> &axis, const std::vector<double> &values, size_t centre, int dir,
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

// Everything the analysis works from: the pre-jitter ratios at every phase
// the jitter reaches, and the distributions near phase 0 that place the eye
// height exactly.
struct Workspace {
    PhaseWeights weights;
    Decision decision;
    double range = 0.0; // thresholds run from -range to +range
    size_t thresholds = 0;
    std::vector<std::vector<double>> raw_ber;       // per pre-jitter phase, per threshold
    std::vector<LevelDistribution> centre_levels; // pre-jitter phases -reach .. reach
};

Workspace prepare(const StatEyeInput &in)
{
    Workspace w;
    w.weights = phase_weights(in.jitter, in.phases_per_ui);
    const long half = in.phases_per_ui / 2;
    const long reach = w.weights.reach;
    const size_t cursor = main_cursor_index(in.pulse);
    const double polarity = in.pulse[cursor] < 0.0 ? -1.0 : 1.0;
    const double origin = phase_origin(in);
    const double samples_per_phase = static_cast<double>(in.samples_per_bit) / in.phases_per_ui;

    std::vector<Cursors> cursors;
    double highest = 0.0;
    for (long i = -half - reach; i <= half + reach; ++i) {
        cursors.push_back(cursors_at(in, origin + static_cast<double>(i) * samples_per_phase, polarity));
        double level = 0.5 * std::fabs(cursors.back().main);
        for (double v : cursors.back().interfering)
            level += 0.5 * v;
        highest = std::max(highest, level);
    }
    if (!(highest > 0.0))
        throw Error("the pulse response is zero: there is no eye");

    w.range = 1.05 * highest + 6.0 * in.noise + in.sensitivity;
    w.thresholds = static_cast<size_t>(in.voltage_bins) + 1;
    w.decision = {in.noise, in.sensitivity, 2.0 * w.range / in.voltage_bins};
    std::vector<double> scratch;
    for (size_t p = 0; p < cursors.size(); ++p) {
        LevelDistribution levels = level_distribution(cursors[p], w.decision.step, scratch);
        const std::vector<double> fall = fall_below_thresholds(levels, w.decision, w.range, w.thresholds);
        // A one errs below t, a zero above it; the zero's level is the one's mirrored.
        std::vector<double> ber(w.thresholds);
        for (size_t j = 0; j < w.thresholds; ++j)
            ber[j] = 0.5 * (fall[j] + fall[w.thresholds - 1 - j]);
        w.raw_ber.push_back(std::move(ber));
        const long phase = static_cast<long>(p) - half - reach;
        if (phase >= -reach && phase <= reach)
            w.centre_levels.push_back(std::move(levels));
    }
    return w;
}

// The ratio at phase 0 and threshold t, from the distributions themselves
// rather than the threshold grid.
double centre_ber(const Workspace &w, double t)
{
    double sum = 0.5 * w.weights.outside;
    for (size_t i = 0; i < w.centre_levels.size(); ++i) {
        if (w.weights.weight[i] == 0.0)
            continue;
        const LevelDistribution &d = w.centre_levels[i];
        sum += w.weights.weight[i] * 0.5 * (fall_below(d, w.decision, t) + fall_below(d, w.decision, -t));
    }
    return sum;
}

// The eye's height at phase 0: the ratio is even in the threshold, so it is
// twice the upper edge, found on the grid and placed by bisection.
double centre_height(const Workspace &w, const StatEyeResult &r, size_t centre_phase, double target)
{
    const size_t centre = r.threshold.size() / 2;
    size_t above = centre + 1;
    while (above < r.threshold.size() && ber_at(r, centre_phase, above) <= target)
        ++above;
    if (above == r.threshold.size())
        return 2.0 * r.threshold.back();
    double open = r.threshold[above - 1], closed = r.threshold[above];
    while (closed - open > kEdgeResolution * w.range) {
        const double mid = 0.5 * (open + closed);
        if (mid == open || mid == closed)
            break;
        (centre_ber(w, mid) <= target ? open : closed) = mid;
    }
    return 2.0 * open;
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
            c.upper.push_back(open ? edge_of(r.threshold, column, centre, 1, level)
                                   : std::numeric_limits<double>::quiet_NaN());
            c.lower.push_back(open ? edge_of(r.threshold, column, centre, -1, level)
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
    const Workspace w = prepare(in);
    const long half = in.phases_per_ui / 2;
    const long reach = w.weights.reach;

    StatEyeResult r;
    r.bit_time = in.samples_per_bit * in.sample_interval;
    const size_t cursor = main_cursor_index(in.pulse);
    r.cursor_time = phase_origin(in) * in.sample_interval;
    r.main_cursor = in.pulse[cursor];
    r.target_ber = in.target_ber;
    for (long j = -half; j <= half; ++j)
        r.phase.push_back(static_cast<double>(j) / in.phases_per_ui);
    for (size_t t = 0; t < w.thresholds; ++t)
        r.threshold.push_back(-w.range + static_cast<double>(t) * w.decision.step);

    // BER(phase j) = sum over lags of weight(lag) x BER_raw(phase j + lag).
    r.ber.assign(r.phase.size() * w.thresholds, 0.5 * w.weights.outside);
    for (size_t j = 0; j < r.phase.size(); ++j) {
        double *row = &r.ber[j * w.thresholds];
        for (long lag = -reach; lag <= reach; ++lag) {
            const double weight = w.weights.weight[static_cast<size_t>(lag + reach)];
            const std::vector<double> &raw = w.raw_ber[static_cast<size_t>(static_cast<long>(j) + reach + lag)];
            if (weight != 0.0)
                for (size_t t = 0; t < w.thresholds; ++t)
                    row[t] += weight * raw[t];
        }
    }

    const size_t centre_phase = static_cast<size_t>(half);
    const size_t centre_threshold = w.thresholds / 2;
    for (size_t j = 0; j < r.phase.size(); ++j)
        r.horizontal_bathtub.push_back(ber_at(r, j, centre_threshold));
    for (size_t t = 0; t < w.thresholds; ++t)
        r.vertical_bathtub.push_back(ber_at(r, centre_phase, t));

    r.open = r.horizontal_bathtub[centre_phase] <= in.target_ber;
    if (r.open) {
        r.eye_height = centre_height(w, r, centre_phase, in.target_ber);
        r.eye_left = edge_of(r.phase, r.horizontal_bathtub, centre_phase, -1, in.target_ber);
        r.eye_right = edge_of(r.phase, r.horizontal_bathtub, centre_phase, 1, in.target_ber);
        r.eye_width = r.eye_right - r.eye_left;
    }
    contours_of(in, r);

    // The recovered clock's phase, between two grid phases.
    r.sampling_phase = std::clamp(in.sampling_offset, r.phase.front(), r.phase.back());
    const double at = (r.sampling_phase - r.phase.front()) * in.phases_per_ui;
    const size_t below = std::min(static_cast<size_t>(at), r.phase.size() - 2);
    const double b0 = r.horizontal_bathtub[below], b1 = r.horizontal_bathtub[below + 1];
    const double f = at - static_cast<double>(below);
    r.ber_at_sampling_point = b0 > 0.0 && b1 > 0.0
                                  ? std::pow(10.0, std::log10(b0) + f * (std::log10(b1) - std::log10(b0)))
                                  : b0 + f * (b1 - b0);
    return r;
}

} // namespace ami_host
