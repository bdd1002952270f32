// One point of a sweep evaluated as a single run with the same settings
// would run it: the point's channel, with the point's parameter values over
// the fixed ones, through run_link.
#pragma once

#include "run/link_run.h"
#include "sweep/sweep_runner.h"

#include <memory>
#include <string>
#include <vector>

namespace ami_host {

// What every point of a sweep shares.
struct SweepSetup {
    RunSettings settings;  // as a single run's, with the sweep's flows and without what only a report shows
    LinkSetup link;        // models prepared (not loaded), impairments; channels per point below
    std::vector<std::shared_ptr<const LinkChannels>> channels; // in the grid's order
};

// The name of the embedded line among a sweep's channels.
constexpr const char *kDefaultChannel = "default";

// Reads the .ami files and builds every channel (each named file in place of
// the settings' through channel, "default" the embedded line, with the
// settings' crosstalk), so that a bad file or setting is reported before any
// worker starts. Throws Error.
std::shared_ptr<const SweepSetup> make_sweep_setup(const RunSettings &settings,
                                                   const std::vector<std::string> &channels);

// The figures of merit of each point, in the evaluator's order.
std::vector<std::string> sweep_metrics(bool time_domain, bool ber_eye);

// The point's parameter settings over the fixed ones, on fresh copies of
// the setup's models. Throws Error for settings the .ami files refuse.
LinkSetup point_link(const SweepSetup &setup, const SweepGrid &grid, const SweepPoint &point);

// Each worker loads the models once and runs every point on fresh instances.
EvaluatorFactory sweep_evaluator(std::shared_ptr<const SweepSetup> setup);

} // namespace ami_host
