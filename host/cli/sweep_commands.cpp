// ami_host sweep and ami_host merge: a shard of a sweep over Tx and Rx
// settings and channels, evaluated with the host's flows; shards' results
// merged into the table one run gives; the best settings and their heatmaps.
#include "cli/subcommands.h"

#include "base/host_error.h"
#include "base/python_script.h"
#include "sweep/sweep_command.h"
#include "sweep/sweep_point.h"

#include <CLI/CLI.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>

namespace ami_host {

namespace {

constexpr const char *kSweepDescription =
    "ami_host sweep: evaluates every combination of the swept Tx and Rx parameter values and\n"
    "channels (or the shard --shard K/N of them: the points whose index is K modulo N) with the\n"
    "statistical flow, and with --time-domain also the time-domain flow. Writes sweep.jsonl and\n"
    "sweep.csv to --out; ami_host merge joins shards' results into the table one run gives.\n"
    "Metrics: eye_height (V) and eye_width_ui (UI) of the worst-case eye of the statistical flow;\n"
    "with --ber-eye ber_eye_height (V) and ber_eye_width_ui (UI) of the statistical eye at\n"
    "--target-ber with the jitter and noise of the .ami files and options;\n"
    "with --time-domain td_eye_height, td_eye_width_ui and td_bit_errors of the time-domain run.\n"
    "Every other option is ami_host's own (see ami_host --help): the models (--tx-model,\n"
    "--rx-model, ...), fixed settings (--tx NAME=VALUE, --rx NAME=VALUE), the signal (--bit-rate,\n"
    "--samples-per-bit, --bits, ...), the embedded line and --channel-kind for --channels files.";

constexpr const char *kMergeDescription =
    "ami_host merge: merges the sweep.jsonl files of a sweep's shards into the sweep.jsonl and\n"
    "sweep.csv one run of the whole sweep writes, byte for byte. A missing shard or point is named.";

struct Output {
    std::string out_dir;
    std::string best;
    bool plots = true;
    std::string python;
};

void add_output_options(CLI::App &app, Output &output)
{
    app.add_option("--best", output.best,
                   "print the best settings per channel by this metric, and draw it over the two parameters "
                   "that move it most (sweep_METRIC_CHANNEL.png)")
        ->type_name("METRIC")
        ->group("Output");
    app.add_flag("--no-plots", [&output](int64_t) { output.plots = false; }, "draw no picture")->group("Output");
    app.add_option("--python", output.python, "Python interpreter with matplotlib (default: /usr/bin/python3)")
        ->type_name("FILE")
        ->group("Output");
}

// The heatmaps of the best metric, one per channel (the script names them),
// once a table covers the whole grid (a shard's table leaves holes).
void draw_heatmaps(const Output &output, const SweepTable &table)
{
    if (!output.plots || output.best.empty() || table.shard.n != 1 || table.grid.axes.empty())
        return;
    std::cout.flush();
    run_python_script(output.python, host_script("plot_sweep.py"), {output.out_dir, output.best});
}

// Names the points without figures; returns how many there are.
size_t report_errors(const SweepTable &table)
{
    size_t failed = 0;
    const PointResult *first = nullptr;
    for (const PointResult &point : table.points)
        if (!point.error.empty()) {
            ++failed;
            if (first == nullptr)
                first = &point;
        }
    if (first != nullptr)
        std::cout << failed << " of " << table.points.size() << " points have no figures (the error column); point "
                  << first->index << ": " << first->error << '\n';
    return failed;
}

// Parses the host's own options (those the sweep command does not take) as a
// single run does, so that a point runs as `ami_host` would with them.
int parse_host_options(const std::vector<std::string> &rest, Options &options)
{
    std::vector<std::string> words = {"ami_host sweep"};
    words.insert(words.end(), rest.begin(), rest.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    return parse_command_line(static_cast<int>(argv.size()), argv.data(), options);
}

// Reads the .ami files and the channels, and builds the first point's
// parameter strings, so that a bad file, channel or setting is reported
// before any worker starts.
std::shared_ptr<const SweepSetup> make_setup(const Options &options, bool time_domain, bool ber_eye,
                                             const SweepRequest &request)
{
    auto setup = std::make_shared<SweepSetup>();
    setup->options = options;
    setup->time_domain = time_domain;
    setup->ber_eye = ber_eye;
    if (setup->tx_ami() != nullptr)
        setup->tx = read_ami_file(options.tx_ami);
    if (setup->rx_ami() != nullptr)
        setup->rx = read_ami_file(options.rx_ami);
    setup->impairments = link_impairments(options.impairments, setup->tx_ami(), setup->rx_ami());
    for (const std::string &name : request.channels)
        setup->channels.push_back(sweep_channel(name, options));
    const SweepGrid grid = make_sweep_grid(request.sweeps, request.channels, setup->tx_ami(), setup->rx_ami());
    const SweepPoint first = point_at(grid, 0);
    for (const char *side : {"tx", "rx"})
        if ((side[0] == 't' ? setup->tx_ami() : setup->rx_ami()) != nullptr)
            point_parameters(*setup, grid, first, side);
    return setup;
}

} // namespace

int run_sweep_command(int argc, char **argv)
{
    CLI::App app{kSweepDescription, "ami_host sweep"};
    app.get_formatter()->column_width(34);
    app.allow_extras();
    SweepRequest request;
    bool time_domain = false;
    bool ber_eye = false;
    Output output;
    output.out_dir = "ami_host_sweep";
    app.add_option("--sweep", request.sweeps,
                   "a swept parameter and its values: NAME=v1,v2,... or NAME=a..b (every value its .ami file "
                   "declares from a to b); NAME may start with tx: or rx:")
        ->type_name("NAME=VALUES")
        ->group("Sweep");
    app.add_option("--channels", request.channels,
                   "channel files (any kind --channel reads), or default for the embedded line "
                   "(default: --channel, or the embedded line)")
        ->type_name("FILE...")
        ->group("Sweep");
    app.add_option("--shard", request.shard, "run the points whose index is K modulo N")
        ->type_name("K/N")
        ->capture_default_str()
        ->group("Sweep");
    app.add_option("--jobs", request.jobs, "worker processes (default: one per core)")
        ->check(CLI::Range(1, 1024))
        ->group("Sweep");
    app.add_option("--timeout", request.timeout_seconds,
                   "seconds a point may take; a point that takes longer fails and its worker is replaced")
        ->check(CLI::Range(1.0, 86400.0))
        ->capture_default_str()
        ->group("Sweep");
    app.add_flag("--time-domain", time_domain, "run the time-domain flow at every point too")->group("Sweep");
    app.add_flag("--ber-eye", ber_eye, "analyse the statistical eye at --target-ber at every point too")
        ->group("Sweep");
    app.add_option("--out", output.out_dir, "folder for sweep.jsonl, sweep.csv and the pictures")
        ->type_name("DIR")
        ->capture_default_str()
        ->group("Output");
    add_output_options(app, output);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    Options options;
    if (const int code = parse_host_options(app.remaining(), options); code >= 0)
        return code;
    if (request.channels.empty())
        request.channels = {options.channel_file.empty() ? kDefaultChannel : options.channel_file};
    else if (!options.channel_file.empty()) {
        std::cerr << "ami_host sweep: give the channels with --channels alone, not with --channel too\n";
        return 2;
    }
    request.out_dir = output.out_dir;
    request.best = output.best;

    const auto started = std::chrono::steady_clock::now();
    const std::shared_ptr<const SweepSetup> setup = make_setup(options, time_domain, ber_eye, request);
    const SweepTable table = run_sweep(request, setup->tx_ami(), setup->rx_ami(),
                                       sweep_metrics(time_domain, ber_eye), sweep_evaluator(setup), std::cout);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("Swept %zu of %ld points (shard %s) in %.1f s: %s, %s\n", table.points.size(),
                table.grid.point_count(), table.shard.text().c_str(), seconds, results_path(output.out_dir).c_str(),
                results_csv_path(output.out_dir).c_str());
    std::fflush(stdout);
    const size_t failed = report_errors(table);
    draw_heatmaps(output, table);
    // A shard none of whose points ran failed as a whole (a model that does
    // not load, say): a dependent merge must not start.
    return !table.points.empty() && failed == table.points.size() ? 1 : 0;
}

int run_merge_command(int argc, char **argv)
{
    CLI::App app{kMergeDescription, "ami_host merge"};
    app.get_formatter()->column_width(34);
    std::vector<std::string> files;
    Output output;
    app.add_option("files", files, "the shards' sweep.jsonl files")->type_name("FILE...")->required();
    app.add_option("--out", output.out_dir, "folder for the merged sweep.jsonl and sweep.csv")
        ->type_name("DIR")
        ->required()
        ->group("Output");
    add_output_options(app, output);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    const SweepTable table = run_merge(files, output.out_dir, output.best, std::cout);
    std::cout << "Merged " << table.points.size() << " points from " << files.size() << " files: "
              << results_path(output.out_dir) << ", " << results_csv_path(output.out_dir) << '\n';
    report_errors(table);
    draw_heatmaps(output, table);
    return 0;
}

} // namespace ami_host
