// The sweep and merge commands: a shard of a sweep run to results files, and
// shards' results merged into the table a single run gives.
#pragma once

#include "sweep/sweep_runner.h"

#include <ostream>
#include <string>
#include <vector>

namespace ami_host {

struct SweepRequest {
    std::vector<std::string> sweeps;   // "NAME=v1,v2,..." or "NAME=a..b"
    std::vector<std::string> channels; // the channels' names (files); at least one
    SweepInputs inputs;                // what the points run with, recorded for the merge
    std::string shard = "0/1";
    int jobs = 0;                      // worker processes; 0: one per core
    double timeout_seconds = 600;      // per point, before its worker is stopped and the point fails
    std::string out_dir;               // gets sweep.jsonl and sweep.csv
    std::string best;                  // a metric to print the best settings per channel by; "" for none
};

// The files a sweep or a merge writes in `out_dir`.
std::string results_path(const std::string &out_dir);    // <out_dir>/sweep.jsonl
std::string results_csv_path(const std::string &out_dir); // <out_dir>/sweep.csv

// Runs the request's shard of the sweep over `metrics` with the evaluator,
// writes the results files and, when asked, prints the best settings per
// channel to `out`. Throws Error for a request that cannot run.
SweepTable run_sweep(const SweepRequest &request, const AmiFile *tx, const AmiFile *rx,
                     const std::vector<std::string> &metrics, const EvaluatorFactory &factory, std::ostream &out);

// Merges results files into `out_dir` (the same files a single run writes)
// and prints the best settings per channel when `best` names a metric. A
// folder stands for the results file a sweep writes in it. Throws Error for
// files of different sweeps and for missing points, naming them.
SweepTable run_merge(const std::vector<std::string> &files, const std::string &out_dir, const std::string &best,
                     std::ostream &out);

} // namespace ami_host
