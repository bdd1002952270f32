// The grid of a sweep: channels times the values of each swept Tx and Rx
// parameter, its points in a fixed order, and the shards that split it.
#pragma once

#include "model/ami_file.h"

#include <string>
#include <vector>

namespace ami_host {

// One swept parameter.
struct SweepAxis {
    std::string side; // "tx" or "rx"
    std::string name; // dotted, as in the .ami file ("clock_recovery.step")
    std::vector<std::string> values;
    std::string label() const { return side + ":" + name; } // "rx:EQ_Config"
};

// The most points a sweep may have.
constexpr long most_sweep_points = 10000000;

struct SweepGrid {
    std::vector<std::string> channels; // at least one
    std::vector<SweepAxis> axes;
    long point_count() const;
};

// One point: its index, its channel and a value of every axis.
struct SweepPoint {
    long index = 0;
    size_t channel = 0;              // into SweepGrid::channels
    std::vector<std::string> values; // one per axis
};

// Parses "NAME=v1,v2,..." or "NAME=a..b" (every value the .ami file declares
// from a to b; a List, an Integer Range or an Increment), NAME optionally
// preceded by "tx:" or "rx:". Without a side, the parameter is looked up in
// both files (null: that side has no model). Throws Error for an unknown,
// ambiguous or unsettable parameter, or a value the .ami file does not allow.
SweepAxis parse_sweep_axis(const std::string &text, const AmiFile *tx, const AmiFile *rx);

// Builds the grid; throws Error when a parameter is swept twice or the grid
// would exceed 10^7 points.
SweepGrid make_sweep_grid(const std::vector<std::string> &sweeps, const std::vector<std::string> &channels,
                          const AmiFile *tx, const AmiFile *rx);

// The point of `index`: the channel varies slowest, the last axis fastest.
SweepPoint point_at(const SweepGrid &grid, long index);

// The "NAME=value" overrides of one side ("tx" or "rx") at a point.
std::vector<std::string> overrides_at(const SweepGrid &grid, const SweepPoint &point, const std::string &side);

// Shard K of N runs every point whose index is K modulo N.
struct Shard {
    long k = 0, n = 1;
    std::string text() const { return std::to_string(k) + "/" + std::to_string(n); }
};

// Parses "K/N" with 0 <= K < N; throws Error otherwise.
Shard parse_shard(const std::string &text);

std::vector<long> shard_indices(long point_count, const Shard &shard);

} // namespace ami_host
