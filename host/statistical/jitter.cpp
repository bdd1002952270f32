// Jitter and noise: reading them from options and .ami files, and the
// density of the sampling instant's displacement built from them.
#include "statistical/jitter.h"

#include "base/host_error.h"
#include "base/trim.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <numbers>

namespace ami_host {

namespace {

enum class Quantity { Time, SignedTime, Volts, Hertz };

struct Field {
    const char *name;
    LinkSide side;
    Quantity quantity;
    TimeAmount Impairments::*time = nullptr;
    double Impairments::*number = nullptr;
};

const Field kFields[] = {
    {"Tx_Rj", LinkSide::Tx, Quantity::Time, &Impairments::tx_rj},
    {"Tx_Dj", LinkSide::Tx, Quantity::Time, &Impairments::tx_dj},
    {"Tx_DCD", LinkSide::Tx, Quantity::Time, &Impairments::tx_dcd},
    {"Tx_Sj", LinkSide::Tx, Quantity::Time, &Impairments::tx_sj},
    {"Tx_Sj_Frequency", LinkSide::Tx, Quantity::Hertz, nullptr, &Impairments::tx_sj_frequency},
    {"Rx_Rj", LinkSide::Rx, Quantity::Time, &Impairments::rx_rj},
    {"Rx_Dj", LinkSide::Rx, Quantity::Time, &Impairments::rx_dj},
    {"Rx_DCD", LinkSide::Rx, Quantity::Time, &Impairments::rx_dcd},
    {"Rx_Sj", LinkSide::Rx, Quantity::Time, &Impairments::rx_sj},
    {"Rx_Sj_Frequency", LinkSide::Rx, Quantity::Hertz, nullptr, &Impairments::rx_sj_frequency},
    {"Rx_Clock_Recovery_Mean", LinkSide::Rx, Quantity::SignedTime, &Impairments::rx_clock_recovery_mean},
    {"Rx_Clock_Recovery_Rj", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_rj},
    {"Rx_Clock_Recovery_Dj", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_dj},
    {"Rx_Clock_Recovery_Sj", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_sj},
    {"Rx_Clock_Recovery_DCD", LinkSide::Rx, Quantity::Time, &Impairments::rx_clock_recovery_dcd},
    {"Rx_Noise", LinkSide::Rx, Quantity::Volts, nullptr, &Impairments::rx_noise},
    {"Rx_Receiver_Sensitivity", LinkSide::Rx, Quantity::Volts, nullptr, &Impairments::rx_sensitivity},
};

const Field *find_field(const std::string &name)
{
    for (const Field &f : kFields)
        if (name == f.name)
            return &f;
    return nullptr;
}

// The whole of `text` as a finite number, in C notation.
bool read_number(const std::string &text, double &out)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    const auto [stop, error] = std::from_chars(begin, end, out);
    return !text.empty() && error == std::errc() && stop == end && std::isfinite(out);
}

char lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

bool ends_with_ignoring_case(const std::string &text, const std::string &suffix)
{
    if (text.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                      [](char a, char b) { return lower(a) == lower(b); });
}

void assign(Impairments &impairments, const Field &field, double value, bool in_ui, const std::string &what)
{
    if (value < 0.0 && field.quantity != Quantity::SignedTime)
        throw Error(what + ": " + field.name + " cannot be negative");
    if (field.time != nullptr) {
        impairments.*field.time = TimeAmount{value, in_ui};
    } else {
        if (in_ui)
            throw Error(what + ": " + field.name + " is not a time, so it cannot be given in UI");
        impairments.*field.number = value;
    }
}

void set_from_text(Impairments &impairments, const Field &field, const std::string &text, const std::string &what)
{
    if (field.time != nullptr) {
        const TimeAmount t = parse_time_amount(text);
        assign(impairments, field, t.value, t.in_ui, what);
        return;
    }
    double value = 0.0;
    if (!read_number(trim(text), value))
        throw Error(what + ": " + field.name + " must be a number, not '" + text + "'");
    assign(impairments, field, value, false, what);
}

// Sorts the points, merges equal offsets, and puts a density that has grown
// past kMaxPoints onto an even grid of kGridPoints, each point's weight split
// between its two grid neighbours so that the mean stays where it was.
void tidy(JitterDensity &d)
{
    constexpr size_t kMaxPoints = 4096;
    constexpr size_t kGridPoints = 2048;
    std::vector<size_t> order(d.offsets.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return d.offsets[a] < d.offsets[b]; });
    std::vector<double> offsets, weights;
    for (size_t i : order) {
        if (!offsets.empty() && offsets.back() == d.offsets[i]) {
            weights.back() += d.weights[i];
        } else {
            offsets.push_back(d.offsets[i]);
            weights.push_back(d.weights[i]);
        }
    }
    if (offsets.size() > kMaxPoints) {
        const double low = offsets.front();
        const double step = (offsets.back() - low) / static_cast<double>(kGridPoints - 1);
        std::vector<double> grid(kGridPoints, 0.0);
        for (size_t i = 0; i < offsets.size(); ++i) {
            const double at = (offsets[i] - low) / step;
            const size_t below = std::min(static_cast<size_t>(at), kGridPoints - 2);
            const double above_share = at - static_cast<double>(below);
            grid[below] += weights[i] * (1.0 - above_share);
            grid[below + 1] += weights[i] * above_share;
        }
        offsets.clear();
        weights.clear();
        for (size_t i = 0; i < kGridPoints; ++i) {
            if (grid[i] > 0.0) {
                offsets.push_back(low + step * static_cast<double>(i));
                weights.push_back(grid[i]);
            }
        }
    }
    d.offsets = std::move(offsets);
    d.weights = std::move(weights);
}

// Convolves the points with equally likely displacements `shifts`.
void spread(JitterDensity &d, const std::vector<double> &shifts)
{
    JitterDensity out;
    out.sigma = d.sigma;
    out.offsets.clear();
    out.weights.clear();
    const double share = 1.0 / static_cast<double>(shifts.size());
    for (size_t i = 0; i < d.offsets.size(); ++i) {
        for (double s : shifts) {
            out.offsets.push_back(d.offsets[i] + s);
            out.weights.push_back(d.weights[i] * share);
        }
    }
    tidy(out);
    d = std::move(out);
}

} // namespace

TimeAmount parse_time_amount(const std::string &text)
{
    std::string number = trim(text);
    TimeAmount t;
    if (ends_with_ignoring_case(number, "UI")) {
        t.in_ui = true;
        number = trim(number.substr(0, number.size() - 2));
    } else if (ends_with_ignoring_case(number, "s")) {
        number = trim(number.substr(0, number.size() - 1));
    }
    if (!read_number(number, t.value))
        throw Error("'" + text + "' is not a time (seconds, as 1e-12, or unit intervals, as 0.01UI)");
    return t;
}

std::vector<std::string> impairment_names()
{
    std::vector<std::string> names;
    for (const Field &f : kFields)
        names.emplace_back(f.name);
    return names;
}

std::vector<ImpairmentValue> nonzero_impairments(const Impairments &impairments)
{
    std::vector<ImpairmentValue> values;
    for (const Field &f : kFields) {
        ImpairmentValue v;
        v.name = f.name;
        v.is_time = f.time != nullptr;
        if (v.is_time)
            v.time = impairments.*f.time;
        else
            v.number = impairments.*f.number;
        if ((v.is_time ? v.time.value : v.number) != 0.0)
            values.push_back(v);
    }
    return values;
}

void set_impairment(Impairments &impairments, const std::string &name, const std::string &text)
{
    const Field *field = find_field(name);
    if (field == nullptr)
        throw Error("'" + name + "' is not a jitter or noise setting");
    set_from_text(impairments, *field, text, name);
}

std::vector<std::string> take_declared_impairments(Impairments &impairments,
                                                   const std::vector<AmiParameter> &reserved, LinkSide side,
                                                   const std::string &origin)
{
    std::vector<std::string> taken;
    for (const AmiParameter &p : reserved) {
        const Field *field = p.path.empty() ? nullptr : find_field(p.path.back());
        if (field == nullptr || field->side != side || p.usage == Usage::Out)
            continue;
        const std::string where = origin + ":" + std::to_string(p.line);
        double value = 0.0;
        switch (p.type) {
        case ValueType::UI:
        case ValueType::Float:
        case ValueType::Integer:
            if (!read_number(trim(p.default_value), value))
                throw Error(where + ": " + field->name + " must be a number, not '" + p.default_value + "'");
            assign(impairments, *field, value, p.type == ValueType::UI, where);
            break;
        case ValueType::String:
            set_from_text(impairments, *field, p.default_value, where);
            break;
        default:
            throw Error(where + ": " + field->name + " must be of Type UI or Float");
        }
        taken.emplace_back(field->name);
    }
    return taken;
}

void add_dual_dirac(JitterDensity &density, double amplitude)
{
    if (amplitude != 0.0)
        spread(density, {-amplitude, amplitude});
}

void add_sinusoid(JitterDensity &density, double amplitude)
{
    if (amplitude == 0.0)
        return;
    // The quantiles of amplitude x sin(phase), phase uniform.
    std::vector<double> shifts(kSinusoidPoints);
    for (int m = 0; m < kSinusoidPoints; ++m)
        shifts[static_cast<size_t>(m)] =
            amplitude * std::sin(std::numbers::pi * ((m + 0.5) / kSinusoidPoints - 0.5));
    spread(density, shifts);
}

void add_gaussian(JitterDensity &density, double sigma) { density.sigma = std::hypot(density.sigma, sigma); }

JitterDensity sampling_jitter(const Impairments &im, double bit_time)
{
    JitterDensity d;
    for (const TimeAmount *dj : {&im.tx_dj, &im.tx_dcd, &im.rx_dj, &im.rx_dcd, &im.rx_clock_recovery_dj,
                                 &im.rx_clock_recovery_dcd})
        add_dual_dirac(d, dj->ui(bit_time));
    if (im.tx_sj_frequency > 0.0)
        add_sinusoid(d, im.tx_sj.ui(bit_time));
    add_sinusoid(d, im.rx_sj.ui(bit_time));
    add_sinusoid(d, im.rx_clock_recovery_sj.ui(bit_time));
    for (const TimeAmount *rj : {&im.tx_rj, &im.rx_rj, &im.rx_clock_recovery_rj})
        add_gaussian(d, rj->ui(bit_time));
    return d;
}

double gaussian_tail(double x) { return 0.5 * std::erfc(x / std::numbers::sqrt2); }

namespace {

// P(direction x (displacement - x) > 0).
double tail_beyond(const JitterDensity &density, double x, double direction)
{
    double sum = 0.0;
    for (size_t i = 0; i < density.offsets.size(); ++i) {
        const double distance = direction * (density.offsets[i] - x);
        double beyond = 0.0;
        if (density.sigma > 0.0)
            beyond = gaussian_tail(-distance / density.sigma);
        else
            beyond = distance > 0.0 ? 1.0 : distance == 0.0 ? 0.5 : 0.0;
        sum += density.weights[i] * beyond;
    }
    return sum;
}

} // namespace

double jitter_above(const JitterDensity &density, double x) { return tail_beyond(density, x, 1.0); }

double jitter_below(const JitterDensity &density, double x) { return tail_beyond(density, x, -1.0); }

} // namespace ami_host
