// A stand-in for the host's sweep and merge commands with a deterministic
// figure of merit in place of the statistical flow, so that sharding, merging
// and the cluster scripts can be tested on their own:
//   sweep_probe sweep --sweep NAME=... [--channels A B] [--shard K/N] [--jobs J] --out DIR [--best METRIC]
//   sweep_probe merge FILE... --out DIR [--best METRIC]
// NAME is looked up in our Tx and Rx models' .ami files.
#include "base/host_error.h"
#include "sweep/sweep_command.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <iostream>

namespace {

const std::vector<std::string> kMetrics = {"eye_height", "eye_width"};

// Figures that peak in the middle of every axis, differ per channel and are
// not round numbers, so that their text must survive every file intact.
std::vector<double> evaluate(const ami_host::SweepGrid &grid, const ami_host::SweepPoint &point)
{
    double height = 0.3 - 0.01 * static_cast<double>(point.channel);
    for (size_t a = 0; a < grid.axes.size(); ++a) {
        const auto &values = grid.axes[a].values;
        const double position = static_cast<double>(std::find(values.begin(), values.end(), point.values[a]) -
                                                    values.begin());
        const double middle = 0.5 * static_cast<double>(values.size() - 1);
        height -= 0.02 * (position - middle) * (position - middle) / static_cast<double>(a + 1);
    }
    height += 1e-4 * std::sin(static_cast<double>(point.index));
    return {height, 0.5 + height / 3.0};
}

} // namespace

int main(int argc, char **argv)
{
    CLI::App app("Sweep and merge with a deterministic figure of merit");
    app.require_subcommand(1);
    ami_host::SweepRequest request;
    std::vector<std::string> files;
    std::string out_dir, best;
    CLI::App *sweep = app.add_subcommand("sweep", "run a shard of a sweep");
    sweep->add_option("--sweep", request.sweeps, "NAME=v1,v2,... or NAME=a..b")->required();
    sweep->add_option("--channels", request.channels, "channel names");
    sweep->add_option("--shard", request.shard, "K/N");
    sweep->add_option("--jobs", request.jobs, "worker processes");
    CLI::App *merge = app.add_subcommand("merge", "merge shards' results");
    merge->add_option("files", files, "results files")->required();
    for (CLI::App *command : {sweep, merge}) {
        command->add_option("--out", out_dir, "folder for sweep.jsonl and sweep.csv")->required();
        command->add_option("--best", best, "print the best settings per channel by this metric");
    }
    CLI11_PARSE(app, argc, argv);
    try {
        if (sweep->parsed()) {
            const ami_host::AmiFile tx = ami_host::read_ami_file(TX_AMI), rx = ami_host::read_ami_file(RX_AMI);
            if (request.channels.empty())
                request.channels = {"default"};
            request.out_dir = out_dir;
            request.best = best;
            ami_host::run_sweep(request, &tx, &rx, kMetrics, [] { return ami_host::PointEvaluator(evaluate); },
                                std::cout);
        } else {
            ami_host::run_merge(files, out_dir, best, std::cout);
        }
    } catch (const ami_host::Error &e) {
        std::cerr << "sweep_probe: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
