// Sweep and merge from the request to the files.
#include "sweep/sweep_command.h"

#include "base/host_error.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

namespace ami_host {

namespace {

void write_file(const std::string &path, const std::string &text)
{
    // Written beside and renamed, so that a killed run leaves no half file
    // that a merge would take for a whole one.
    const std::string partial = path + ".partial";
    {
        std::ofstream out(partial, std::ios::binary);
        out << text;
        if (!out.flush())
            throw Error("cannot write " + partial);
    }
    std::error_code error;
    std::filesystem::rename(partial, path, error);
    if (error)
        throw Error("cannot write " + path + ": " + error.message());
}

void write_table(const SweepTable &table, const std::string &out_dir)
{
    std::error_code error;
    std::filesystem::create_directories(out_dir, error);
    if (error)
        throw Error("cannot create " + out_dir + ": " + error.message());
    write_file(results_csv_path(out_dir), results_csv(table));
    write_file(results_path(out_dir), results_jsonl(table));
}

// A shard's output folder stands for the results file in it.
std::string results_file(const std::string &path)
{
    return std::filesystem::is_directory(path) ? results_path(path) : path;
}

void report_best(const SweepTable &table, const std::string &best, std::ostream &out)
{
    if (!best.empty())
        print_best(out, best_per_channel(table, best), best);
}

} // namespace

std::string results_path(const std::string &out_dir) { return out_dir + "/sweep.jsonl"; }
std::string results_csv_path(const std::string &out_dir) { return out_dir + "/sweep.csv"; }

SweepTable run_sweep(const SweepRequest &request, const AmiFile *tx, const AmiFile *rx,
                     const std::vector<std::string> &metrics, const EvaluatorFactory &factory, std::ostream &out)
{
    SweepTable table;
    table.grid = make_sweep_grid(request.sweeps, request.channels, tx, rx);
    table.metrics = metrics;
    table.inputs = request.inputs;
    table.shard = parse_shard(request.shard);
    if (!request.best.empty())
        best_per_channel(table, request.best); // refuses an unknown metric before any point runs
    const int jobs =
        request.jobs > 0 ? request.jobs : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    table.points = run_points(table.grid, metrics, shard_indices(table.grid.point_count(), table.shard), jobs,
                              request.timeout_seconds, factory);
    write_table(table, request.out_dir);
    report_best(table, request.best, out);
    return table;
}

SweepTable run_merge(const std::vector<std::string> &files, const std::string &out_dir, const std::string &best,
                     std::ostream &out)
{
    std::vector<SweepTable> parts;
    for (const std::string &given : files) {
        const std::string file = results_file(given);
        parts.push_back(parse_results(read_text_file(file, "sweep results"), file));
    }
    const SweepTable merged = merge_results(parts);
    write_table(merged, out_dir);
    report_best(merged, best, out);
    return merged;
}

} // namespace ami_host
