// Writing, reading and merging sweep results.
#include "sweep/sweep_results.h"

#include "base/host_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <sstream>

namespace ami_host {

namespace {

using json = nlohmann::ordered_json;

json header_json(const SweepTable &table)
{
    json axes = json::array();
    for (const SweepAxis &axis : table.grid.axes)
        axes.push_back({{"name", axis.label()}, {"values", axis.values}});
    return {{"sweep",
             {{"points", table.grid.point_count()},
              {"shard", table.shard.text()},
              {"channels", table.grid.channels},
              {"axes", axes},
              {"metrics", table.metrics},
              {"settings", table.inputs.settings},
              {"files", table.inputs.files}}}};
}

json point_json(const PointResult &point)
{
    json settings = json::object(), metrics = json::object();
    for (const auto &[name, value] : point.settings)
        settings[name] = value;
    for (const auto &[name, value] : point.metrics)
        metrics[name] = std::isfinite(value) ? json(value) : json(nullptr);
    json line = {{"index", point.index}, {"channel", point.channel}, {"settings", settings}, {"metrics", metrics}};
    if (!point.error.empty())
        line["error"] = point.error;
    return line;
}

std::string number_text(double value)
{
    if (!std::isfinite(value))
        return "";
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

std::string csv_field(const std::string &text)
{
    if (text.find_first_of(",\"\n\r") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char ch : text)
        quoted += ch == '"' ? std::string("\"\"") : std::string(1, ch);
    return quoted + "\"";
}

std::string settings_text(const PointResult &point)
{
    std::string text = "channel " + point.channel;
    for (const auto &[name, value] : point.settings)
        text += ", " + name + "=" + value;
    return text;
}

// get<long>() takes any number, and converting a float beyond long's range
// is undefined.
long whole_number(const json &value)
{
    if (!value.is_number_integer())
        throw Error(value.dump() + " is not a whole number");
    return value.get<long>();
}

SweepGrid grid_from_header(const json &sweep)
{
    SweepGrid grid;
    grid.channels = sweep.at("channels").get<std::vector<std::string>>();
    // Counted as a double, which cannot overflow, before point_count() may.
    double points = static_cast<double>(grid.channels.size());
    for (const json &a : sweep.at("axes")) {
        SweepAxis axis;
        const std::string label = a.at("name");
        const size_t colon = label.find(':');
        if (colon == std::string::npos)
            throw Error("axis '" + label + "' names no side");
        axis.side = label.substr(0, colon);
        axis.name = label.substr(colon + 1);
        axis.values = a.at("values").get<std::vector<std::string>>();
        if (axis.values.empty())
            throw Error("axis '" + label + "' has no values");
        points *= static_cast<double>(axis.values.size());
        grid.axes.push_back(axis);
    }
    if (points > most_sweep_points)
        throw Error("the header's channels and axes make more points than a sweep may have");
    if (grid.channels.empty() || grid.point_count() != whole_number(sweep.at("points")))
        throw Error("the header's point count does not match its channels and axes");
    return grid;
}

json object_at(const json &sweep, const char *key)
{
    const json &value = sweep.at(key);
    if (!value.is_object())
        throw Error(std::string("the header's ") + key + " are not an object");
    return value;
}

SweepInputs inputs_from_header(const json &sweep)
{
    if (!sweep.contains("settings"))
        throw Error("the header records none of the run's settings, so a merge cannot tell its sweep from "
                    "another: run the shard again");
    SweepInputs inputs{object_at(sweep, "settings"), object_at(sweep, "files")};
    for (const auto &[path, digest] : inputs.files.items())
        if (!digest.is_string())
            throw Error("the digest of " + path + " is not text");
    return inputs;
}

PointResult point_from_json(const json &line, const SweepTable &table)
{
    PointResult point;
    point.index = whole_number(line.at("index"));
    point.channel = line.at("channel").get<std::string>();
    for (const auto &[name, value] : line.at("settings").items())
        point.settings.emplace_back(name, value.get<std::string>());
    for (const auto &[name, value] : line.at("metrics").items())
        point.metrics.emplace_back(name, value.is_null() ? NAN : value.get<double>());
    if (line.contains("error"))
        point.error = line["error"].get<std::string>();
    // The settings must be those of the point's index in this grid.
    const PointResult expected = point_result(table.grid, point_at(table.grid, point.index));
    if (point.channel != expected.channel || point.settings != expected.settings)
        throw Error("point " + std::to_string(point.index) + " does not have the settings of its index");
    return point;
}

// How a value reads in a message; numbers as a command line gives them.
std::string value_text(const json &value)
{
    return value.is_number_float() ? number_text(value.get<double>()) : value.dump();
}

std::string entry_text(const json &entries, const std::string &name)
{
    return entries.contains(name) ? value_text(entries[name]) : "(none)";
}

// The first name that the two objects do not hold alike: in the reference's
// order, then the part's own.
std::optional<std::string> first_difference(const json &part, const json &reference)
{
    for (const json *entries : {&reference, &part})
        for (const auto &entry : entries->items()) {
            const std::string &name = entry.key();
            if (!part.contains(name) || !reference.contains(name) || part[name] != reference[name])
                return name;
        }
    return std::nullopt;
}

// Throws Error "PART: NAME is A, but REFERENCE has B" for their first difference.
void require_same(const json &part, const SweepTable &part_table, const json &reference,
                  const SweepTable &reference_table, const std::string &prefix)
{
    if (const auto name = first_difference(part, reference))
        throw Error(part_table.origin + ": " + prefix + *name + " is " + entry_text(part, *name) + ", but " +
                    reference_table.origin + " has " + entry_text(reference, *name));
}

json grid_entries(const SweepTable &table)
{
    const json sweep = header_json(table).at("sweep");
    return {{"the channel list", sweep.at("channels")},
            {"the axis list", sweep.at("axes")},
            {"the metric list", sweep.at("metrics")}};
}

// Shards of one sweep share everything but the shard: the grid, the metrics,
// the settings the points ran with and the files they read.
void require_same_sweep(const SweepTable &part, const SweepTable &reference)
{
    require_same(grid_entries(part), part, grid_entries(reference), reference, "");
    require_same(part.inputs.settings, part, reference.inputs.settings, reference, "");
    require_same(part.inputs.files, part, reference.inputs.files, reference, "the digest of ");
}

// A count of bit errors is best at its lowest; every other figure (eye
// heights and widths) at its highest.
bool lower_is_better(const std::string &metric)
{
    return metric.ends_with("bit_errors");
}

} // namespace

PointResult point_result(const SweepGrid &grid, const SweepPoint &point)
{
    PointResult result;
    result.index = point.index;
    result.channel = grid.channels[point.channel];
    for (size_t a = 0; a < grid.axes.size(); ++a)
        result.settings.emplace_back(grid.axes[a].label(), point.values[a]);
    return result;
}

std::string results_jsonl(const SweepTable &table)
{
    std::string text = header_json(table).dump() + "\n";
    for (const PointResult &point : table.points)
        text += point_json(point).dump() + "\n";
    return text;
}

std::string results_csv(const SweepTable &table)
{
    std::string text = "index,channel";
    for (const SweepAxis &axis : table.grid.axes)
        text += "," + csv_field(axis.label());
    for (const std::string &metric : table.metrics)
        text += "," + csv_field(metric);
    text += ",error\n";
    for (const PointResult &point : table.points) {
        text += std::to_string(point.index) + "," + csv_field(point.channel);
        for (const auto &setting : point.settings)
            text += "," + csv_field(setting.second);
        for (const std::string &metric : table.metrics) {
            const auto found = std::find_if(point.metrics.begin(), point.metrics.end(),
                                            [&](const auto &m) { return m.first == metric; });
            text += "," + (found != point.metrics.end() ? number_text(found->second) : "");
        }
        text += "," + csv_field(point.error) + "\n";
    }
    return text;
}

SweepTable parse_results(const std::string &text, const std::string &origin)
{
    std::istringstream lines(text);
    std::string line;
    SweepTable table;
    int number = 0;
    try {
        if (!std::getline(lines, line))
            throw Error("the file is empty");
        ++number;
        const json header = json::parse(line);
        const json &sweep = header.at("sweep");
        table.grid = grid_from_header(sweep);
        table.metrics = sweep.at("metrics").get<std::vector<std::string>>();
        table.inputs = inputs_from_header(sweep);
        table.shard = parse_shard(sweep.at("shard").get<std::string>());
        table.origin = origin;
        while (std::getline(lines, line)) {
            ++number;
            if (line.empty())
                continue;
            table.points.push_back(point_from_json(json::parse(line), table));
            if (table.points.size() > 1 && table.points.back().index <= table.points[table.points.size() - 2].index)
                throw Error("the points are not in increasing index order");
        }
    } catch (const std::exception &e) {
        throw Error(origin + ":" + std::to_string(number) + ": not a sweep results file: " + e.what());
    }
    return table;
}

SweepTable merge_results(const std::vector<SweepTable> &parts)
{
    if (parts.empty())
        throw Error("nothing to merge");
    SweepTable merged = parts.front();
    merged.shard = Shard{};
    merged.points.clear();
    merged.origin.clear();
    struct Found {
        const PointResult *point;
        const std::string *origin;
    };
    std::map<long, Found> points;
    for (const SweepTable &part : parts) {
        require_same_sweep(part, parts.front());
        for (const PointResult &point : part.points) {
            const auto [at, inserted] = points.emplace(point.index, Found{&point, &part.origin});
            if (!inserted && point_json(*at->second.point) != point_json(point))
                throw Error("point " + std::to_string(point.index) + " has different results in " + part.origin +
                            " and " + *at->second.origin);
        }
    }
    const long count = merged.grid.point_count();
    std::vector<long> missing;
    for (long index = 0; index < count; ++index)
        if (!points.count(index))
            missing.push_back(index);
    if (!missing.empty()) {
        const long n = parts.front().shard.n;
        std::set<long> shards;
        for (long index : missing)
            shards.insert(index % n);
        std::string message = "the results miss " + std::to_string(missing.size()) + " of " + std::to_string(count) +
                              " points (shards";
        for (long k : shards)
            message += " " + std::to_string(k) + "/" + std::to_string(n);
        message += "):";
        for (size_t i = 0; i < missing.size() && i < 20; ++i)
            message += "\n  point " + std::to_string(missing[i]) + ": " +
                       settings_text(point_result(merged.grid, point_at(merged.grid, missing[i])));
        if (missing.size() > 20)
            message += "\n  and " + std::to_string(missing.size() - 20) + " more";
        throw Error(message);
    }
    for (const auto &entry : points)
        merged.points.push_back(*entry.second.point);
    return merged;
}

std::vector<PointResult> best_per_channel(const SweepTable &table, const std::string &metric)
{
    if (std::find(table.metrics.begin(), table.metrics.end(), metric) == table.metrics.end()) {
        std::string known;
        for (const std::string &m : table.metrics)
            known += (known.empty() ? "" : ", ") + m;
        throw Error("no figure of merit '" + metric + "' (the sweep has: " + known + ")");
    }
    const double sign = lower_is_better(metric) ? -1.0 : 1.0;
    std::vector<PointResult> best;
    for (const std::string &channel : table.grid.channels) {
        const PointResult *chosen = nullptr;
        double chosen_value = 0.0;
        for (const PointResult &point : table.points) {
            if (point.channel != channel)
                continue;
            for (const auto &[name, value] : point.metrics)
                if (name == metric && std::isfinite(value) && (chosen == nullptr || sign * value > sign * chosen_value)) {
                    chosen = &point;
                    chosen_value = value;
                }
        }
        if (chosen)
            best.push_back(*chosen);
    }
    return best;
}

void print_best(std::ostream &out, const std::vector<PointResult> &best, const std::string &metric)
{
    for (const PointResult &point : best) {
        double value = NAN;
        for (const auto &[name, v] : point.metrics)
            if (name == metric)
                value = v;
        out << point.channel << ": " << metric << " = " << number_text(value) << " at point " << point.index;
        for (const auto &[name, setting] : point.settings)
            out << " " << name << "=" << setting;
        out << "\n";
    }
}

} // namespace ami_host
