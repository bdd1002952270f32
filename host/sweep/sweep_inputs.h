// What a sweep's points run with, as its results files record it so that a
// merge joins only shards of one sweep.
#pragma once

#include "run/run_settings.h"
#include "sweep/sweep_results.h"

#include <string>
#include <vector>

namespace ami_host {

// The settings of `settings` that change a point's figures, by name, and
// the digest of every file the points read: the models' libraries and .ami
// files, the channels (files, or kDefaultChannel) and the crosstalk files.
// Throws Error for a file that cannot be read.
SweepInputs sweep_inputs(const RunSettings &settings, const std::vector<std::string> &channels);

} // namespace ami_host
