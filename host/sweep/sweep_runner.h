// Running a sweep's points in parallel: worker processes, each with its own
// evaluator (and so its own model instances), so that points run side by side
// whatever the models and libraries do with global state, and a model that
// crashes or hangs costs the point it was on, not the sweep.
#pragma once

#include "sweep/sweep_results.h"

#include <functional>
#include <vector>

namespace ami_host {

// Evaluates one point: its figures of merit, in the order of the table's
// metrics (NaN: not available). Throws for a point that cannot be evaluated.
using PointEvaluator = std::function<std::vector<double>(const SweepGrid &, const SweepPoint &)>;
// Makes a worker's evaluator; called once in each worker.
using EvaluatorFactory = std::function<PointEvaluator()>;

// Evaluates the points `indices` of `grid` over `jobs` worker processes
// (at least one); the results come back in index order, a point that could
// not be evaluated with its error. A worker that crashes, or has no result
// `timeout_seconds` after its last one (or after it started: loading the
// models counts towards its first point), is ended with its process group;
// the point it was on fails with the cause and a new worker takes over the
// rest of its points.
std::vector<PointResult> run_points(const SweepGrid &grid, const std::vector<std::string> &metrics,
                                    const std::vector<long> &indices, int jobs, double timeout_seconds,
                                    const EvaluatorFactory &factory);

} // namespace ami_host
