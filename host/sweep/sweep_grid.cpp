// Sweep axes from the command line, checked against the .ami files.
#include "sweep/sweep_grid.h"

#include "base/host_error.h"
#include "model/parameter_string.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <set>

namespace ami_host {

namespace {

bool parse_double(const std::string &text, double &value)
{
    const char *end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end;
}

const AmiParameter *find_parameter(const AmiFile *ami, const std::string &name)
{
    return ami ? ami->find(split(name, '.')) : nullptr;
}

// The declared values of `p` from `low` to `high`, in increasing order.
std::vector<std::string> declared_between(const AmiParameter &p, double low, double high, const std::string &text)
{
    auto number = [](const std::string &t) { return std::strtod(t.c_str(), nullptr); };
    std::vector<std::pair<double, std::string>> found;
    if (p.format == Format::List || p.format == Format::Corner || p.format == Format::Value) {
        for (const std::string &value : p.format_values)
            found.emplace_back(number(value), value);
    } else if ((p.format == Format::Range && p.type == ValueType::Integer) || p.format == Format::Increment) {
        const double step = p.format == Format::Increment ? number(p.format_values[3]) : 1.0;
        const double origin = number(p.format_values[0]);
        if (!(step > 0.0))
            throw Error("sweep '" + text + "': " + p.dotted_name() + " declares no positive step");
        for (double k = std::ceil((low - origin) / step - 1e-9); origin + k * step <= high + 1e-9 * step; k += 1.0) {
            const double v = origin + k * step;
            char buffer[32];
            const auto end = p.type == ValueType::Integer
                                 ? std::to_chars(buffer, buffer + sizeof buffer, std::llround(v)).ptr
                                 : std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
            found.emplace_back(v, std::string(buffer, end));
        }
    } else {
        throw Error("sweep '" + text + "': " + p.dotted_name() + " is " + p.allowed_text() +
                    "; give its values as v1,v2,...");
    }
    std::stable_sort(found.begin(), found.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
    std::vector<std::string> values;
    for (const auto &[v, t] : found)
        if (v >= low && v <= high && p.check(t).empty() &&
            std::find(values.begin(), values.end(), t) == values.end())
            values.push_back(t);
    return values;
}

} // namespace

long SweepGrid::point_count() const
{
    long count = static_cast<long>(channels.size());
    for (const SweepAxis &axis : axes)
        count *= static_cast<long>(axis.values.size());
    return count;
}

SweepAxis parse_sweep_axis(const std::string &text, const AmiFile *tx, const AmiFile *rx)
{
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size())
        throw Error("sweep '" + text + "' is not of the form NAME=v1,v2,... or NAME=a..b");
    SweepAxis axis;
    axis.name = text.substr(0, equals);
    const std::string values = text.substr(equals + 1);
    for (const char *side : {"tx", "rx"}) {
        if (axis.name.rfind(std::string(side) + ":", 0) == 0) {
            axis.side = side;
            axis.name = axis.name.substr(3);
        }
    }
    const AmiParameter *in_tx = axis.side != "rx" ? find_parameter(tx, axis.name) : nullptr;
    const AmiParameter *in_rx = axis.side != "tx" ? find_parameter(rx, axis.name) : nullptr;
    if (in_tx && in_rx)
        throw Error("sweep '" + text + "': both models declare " + axis.name + "; write tx:" + axis.name + " or rx:" +
                    axis.name);
    const AmiParameter *p = in_tx ? in_tx : in_rx;
    if (p == nullptr)
        throw Error("sweep '" + text + "': no " + (axis.side.empty() ? "model" : axis.side + " model") +
                    " declares the parameter " + axis.name);
    axis.side = in_tx ? "tx" : "rx";
    if (!p->settable())
        throw Error("sweep '" + text + "': " + axis.name + " is not an In or InOut parameter");

    const size_t dots = values.find("..");
    double low = 0, high = 0;
    if (dots != std::string::npos && parse_double(values.substr(0, dots), low) &&
        parse_double(values.substr(dots + 2), high)) {
        axis.values = declared_between(*p, low, high, text);
        if (axis.values.empty())
            throw Error("sweep '" + text + "': " + axis.name + " declares no value from " + values.substr(0, dots) +
                        " to " + values.substr(dots + 2));
        return axis;
    }
    for (const std::string &value : split(values, ',')) {
        const std::string bad = p->check(value);
        if (!bad.empty())
            throw Error("sweep '" + text + "': " + axis.name + "=" + value + " is refused: " + bad);
        if (std::find(axis.values.begin(), axis.values.end(), value) != axis.values.end())
            throw Error("sweep '" + text + "' names " + value + " twice");
        axis.values.push_back(value);
    }
    return axis;
}

SweepGrid make_sweep_grid(const std::vector<std::string> &sweeps, const std::vector<std::string> &channels,
                          const AmiFile *tx, const AmiFile *rx)
{
    SweepGrid grid;
    grid.channels = channels;
    if (grid.channels.empty())
        throw Error("a sweep needs at least one channel");
    for (size_t i = 1; i < channels.size(); ++i)
        if (std::find(channels.begin(), channels.begin() + static_cast<long>(i), channels[i]) !=
            channels.begin() + static_cast<long>(i))
            throw Error("the sweep names the channel " + channels[i] + " twice");
    std::set<std::string> swept;
    double points = static_cast<double>(channels.size());
    for (const std::string &text : sweeps) {
        grid.axes.push_back(parse_sweep_axis(text, tx, rx));
        if (!swept.insert(grid.axes.back().label()).second)
            throw Error("the sweep names " + grid.axes.back().label() + " twice");
        points *= static_cast<double>(grid.axes.back().values.size());
    }
    if (points > most_sweep_points)
        throw Error("the sweep has " + std::to_string(static_cast<long long>(points)) + " points; at most " +
                    std::to_string(most_sweep_points) + " are run");
    return grid;
}

SweepPoint point_at(const SweepGrid &grid, long index)
{
    if (index < 0 || index >= grid.point_count())
        throw Error("point " + std::to_string(index) + " is outside the sweep of " +
                    std::to_string(grid.point_count()) + " points");
    SweepPoint point;
    point.index = index;
    point.values.resize(grid.axes.size());
    long rest = index;
    for (size_t a = grid.axes.size(); a-- > 0;) {
        const long size = static_cast<long>(grid.axes[a].values.size());
        point.values[a] = grid.axes[a].values[static_cast<size_t>(rest % size)];
        rest /= size;
    }
    point.channel = static_cast<size_t>(rest);
    return point;
}

std::vector<std::string> overrides_at(const SweepGrid &grid, const SweepPoint &point, const std::string &side)
{
    std::vector<std::string> overrides;
    for (size_t a = 0; a < grid.axes.size(); ++a)
        if (grid.axes[a].side == side)
            overrides.push_back(grid.axes[a].name + "=" + point.values[a]);
    return overrides;
}

Shard parse_shard(const std::string &text)
{
    const size_t slash = text.find('/');
    Shard shard;
    const bool parsed =
        slash != std::string::npos &&
        std::from_chars(text.data(), text.data() + slash, shard.k).ptr == text.data() + slash &&
        std::from_chars(text.data() + slash + 1, text.data() + text.size(), shard.n).ptr == text.data() + text.size();
    if (!parsed || slash == 0 || slash + 1 == text.size() || shard.n < 1 || shard.k < 0 || shard.k >= shard.n)
        throw Error("shard '" + text + "' is not K/N with 0 <= K < N");
    return shard;
}

std::vector<long> shard_indices(long point_count, const Shard &shard)
{
    std::vector<long> indices;
    for (long i = shard.k; i < point_count; i += shard.n)
        indices.push_back(i);
    return indices;
}

} // namespace ami_host
