// A sweep's results: one JSON line per point with its settings and figures
// of merit after a header line that describes the grid and what the points
// ran with, the same as CSV, the merge of shards, and the best settings per
// channel.
#pragma once

#include "sweep/sweep_grid.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace ami_host {

struct PointResult {
    long index = 0;
    std::string channel;
    std::vector<std::pair<std::string, std::string>> settings; // axis label, value
    std::vector<std::pair<std::string, double>> metrics;       // name, value (NaN: not available)
    std::string error;                                          // why the point has no figures; "" when it has
};

// What every point of a sweep ran with besides its own settings: the run's
// settings that change a result (name: value) and a digest of each file the
// points read (path: digest). Shards of one sweep record the same.
struct SweepInputs {
    nlohmann::ordered_json settings = nlohmann::ordered_json::object();
    nlohmann::ordered_json files = nlohmann::ordered_json::object();
};

struct SweepTable {
    SweepGrid grid;
    std::vector<std::string> metrics; // the figures of merit, in column order
    SweepInputs inputs;
    Shard shard;                      // the points a run covered
    std::vector<PointResult> points;  // in index order
    std::string origin;               // the file it was read from; "" when it was not
};

// The result of `point` with its settings filled in.
PointResult point_result(const SweepGrid &grid, const SweepPoint &point);

// The results file: a header line, then one line per point in index order.
// Numbers are written in the shortest form that reads back to the same value.
std::string results_jsonl(const SweepTable &table);

// index,channel,<axis labels>,<metrics>,error: one row per point.
std::string results_csv(const SweepTable &table);

// Reads a results file; throws Error, naming the file and line, when it is not one.
SweepTable parse_results(const std::string &text, const std::string &origin);

// Merges the results of shards of one sweep into the table a single run
// gives. Throws Error when the files describe different sweeps (naming the
// files and the first setting, file digest or part of the grid they differ
// in), disagree on a point, or miss points (naming them, their settings and
// their shards).
SweepTable merge_results(const std::vector<SweepTable> &parts);

// Per channel, the point with the best `metric` (the largest, or the fewest
// bit errors; the first of equals);
// channels without a value of it are left out. Throws Error for an unknown metric.
std::vector<PointResult> best_per_channel(const SweepTable &table, const std::string &metric);

// "channel: metric = value at rx:EQ_Config=2 tx:TX_Deemph=3", one line per channel.
void print_best(std::ostream &out, const std::vector<PointResult> &best, const std::string &metric);

} // namespace ami_host
