// ami_host sweep and ami_host merge: a shard of a sweep over Tx and Rx
// settings and channels, evaluated with the host's flows; shards' results
// merged into the table one run gives; the best settings and their heatmaps.
#include "cli/commands.h"

#include "base/exit_status.h"
#include "base/host_error.h"
#include "base/html_report.h"
#include "base/python_script.h"
#include "cli/command_line.h"
#include "cli/run_options.h"
#include "sweep/sweep_command.h"
#include "sweep/sweep_inputs.h"
#include "sweep/sweep_point.h"

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
    "--samples-per-bit, --bits, ...), the channel's options and crosstalk (--xtalk, --aggressor),\n"
    "jitter and noise. Options that only a single run's report uses are refused.";

constexpr const char *kMergeDescription =
    "ami_host merge: merges the sweep.jsonl files of a sweep's shards (or the folders they are in)\n"
    "into the sweep.jsonl and sweep.csv one run of the whole sweep writes, byte for byte. A missing\n"
    "shard or point is named, and so is a shard run with other settings or on other model, .ami or\n"
    "channel files than the first.";

struct Output : OutputSettings {
    std::string best;
};

void add_best_option(CLI::App &app, Output &output)
{
    app.add_option("--best", output.best,
                   "print the best settings per channel by this metric, and draw it over the two parameters "
                   "that move it most (sweep_METRIC_CHANNEL.png)")
        ->type_name("METRIC")
        ->group("Output");
}

// The heatmaps of the best metric, one per channel (the script names them),
// once a table covers the whole grid (a shard's table leaves holes); then the
// page, which names the shards a merged table joins.
void draw_heatmaps_and_page(const Output &output, const SweepTable &table,
                            const std::vector<std::string> &shards = {})
{
    remove_html_report(output.out_dir);
    if (!output.plots)
        return;
    std::cout.flush();
    if (!output.best.empty() && table.shard.n == 1 && !table.grid.axes.empty())
        run_python_script(output.python, host_script("plot_sweep.py"), {output.out_dir, output.best});
    std::vector<std::string> arguments;
    if (!output.best.empty())
        arguments = {"--best", output.best};
    if (!shards.empty()) {
        arguments.push_back("--merged");
        arguments.insert(arguments.end(), shards.begin(), shards.end());
    }
    std::cout << "Report page: "
              << write_html_report(output.python, host_script("sweep_report_html.py"), output.out_dir, arguments)
              << '\n';
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

// The single run's options that a sweep cannot honour: they shape only the
// single run's own output.
const char *const kRunOnlyOptions[] = {"--plot-script",  "--progress",      "--write-touchstone", "--statistical-only",
                                       "--model-timeout", "--ibs",          "--tx-pin",           "--rx-pin",
                                       "--tx-ibis-model", "--rx-ibis-model", "--corner",          "--no-analog"};

std::string run_only_option(const std::vector<std::string> &words)
{
    for (const std::string &word : words)
        for (const std::string option : kRunOnlyOptions)
            if (word == option || word.starts_with(option + "="))
                return option;
    return "";
}

// Parses the host's own options (those the sweep command does not take) as a
// single run does, so that a point runs as `ami_host` would with them.
int parse_host_options(const CLI::App &sweep, const std::vector<std::string> &rest, RunCommand &command)
{
    if (const std::string option = run_only_option(rest); !option.empty())
        return usage_error(sweep, option + " belongs to a single run; a sweep does not take it");
    std::vector<std::string> words = {"ami_host sweep"};
    words.insert(words.end(), rest.begin(), rest.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    return parse_run_command(static_cast<int>(argv.size()), argv.data(), command);
}

// The points run the flows the sweep asks for, quietly and without what only
// a single run's report shows.
RunSettings point_settings(RunSettings settings, bool time_domain, bool ber_eye)
{
    settings.time_domain = time_domain;
    settings.ber_eye = ber_eye;
    settings.linear_reference = false;
    settings.eye_without_crosstalk = false;
    settings.progress = Progress::Mode::Never;
    return settings;
}

// Reads the .ami files and the channels, and builds the first point's
// parameter strings, so that a bad file, channel or setting is reported
// before any worker starts.
std::shared_ptr<const SweepSetup> make_setup(const RunSettings &settings, const SweepRequest &request)
{
    std::shared_ptr<const SweepSetup> setup = make_sweep_setup(settings, request.channels);
    const AmiFile *tx = setup->link.tx.ami_file();
    const AmiFile *rx = setup->link.rx.ami_file();
    const SweepGrid grid = make_sweep_grid(request.sweeps, request.channels, tx, rx);
    point_link(*setup, grid, point_at(grid, 0));
    return setup;
}

struct SweepCommand {
    SweepRequest request;
    bool time_domain = false;
    bool ber_eye = false;
    Output output;
};

void add_sweep_options(CLI::App &app, SweepCommand &c)
{
    app.add_option("--sweep", c.request.sweeps,
                   "a swept parameter and its values: NAME=v1,v2,... or NAME=a..b (every value its .ami file "
                   "declares from a to b); NAME may start with tx: or rx:")
        ->type_name("NAME=VALUES")
        ->group("Sweep");
    app.add_option("--channels", c.request.channels,
                   "channel files (any kind --channel reads), or default for the embedded line "
                   "(default: --channel, or the embedded line)")
        ->type_name("FILE...")
        ->group("Sweep");
    app.add_option("--shard", c.request.shard, "run the points whose index is K modulo N")
        ->type_name("K/N")
        ->capture_default_str()
        ->group("Sweep");
    app.add_option("--jobs", c.request.jobs, "worker processes (default: one per core)")
        ->check(CLI::Range(1, 1024))
        ->group("Sweep");
    app.add_option("--timeout", c.request.timeout_seconds,
                   "seconds a point may take; a point that takes longer fails and its worker is replaced")
        ->check(CLI::Range(1.0, 86400.0))
        ->capture_default_str()
        ->group("Sweep");
    app.add_flag("--time-domain", c.time_domain, "run the time-domain flow at every point too")->group("Sweep");
    app.add_flag("--ber-eye", c.ber_eye, "analyse the statistical eye at --target-ber at every point too")
        ->group("Sweep");
    c.output.out_dir = "ami_host_sweep";
    add_output_options(app, c.output, "sweep.jsonl, sweep.csv, the pictures and report.html");
    add_best_option(app, c.output);
}

} // namespace

int run_sweep_command(int argc, char **argv)
{
    CLI::App app{kSweepDescription, "ami_host sweep"};
    use_help_layout(app);
    app.allow_extras();
    SweepCommand c;
    add_sweep_options(app, c);
    if (const int code = parse_or_exit(app, argc, argv); code >= 0)
        return code;
    RunCommand host;
    if (const int code = parse_host_options(app, app.remaining(), host); code >= 0)
        return code;
    const std::string &channel_file = host.settings.channel.file;
    if (c.request.channels.empty())
        c.request.channels = {channel_file.empty() ? kDefaultChannel : channel_file};
    else if (!channel_file.empty())
        return usage_error(app, "give the channels with --channels alone, not with --channel too");
    c.request.out_dir = c.output.out_dir;
    c.request.best = c.output.best;

    const auto started = std::chrono::steady_clock::now();
    const RunSettings settings = point_settings(host.settings, c.time_domain, c.ber_eye);
    const std::shared_ptr<const SweepSetup> setup = make_setup(settings, c.request);
    c.request.inputs = sweep_inputs(settings, c.request.channels);
    const LinkSetup &link = setup->link;
    const SweepTable table = run_sweep(c.request, link.tx.ami_file(), link.rx.ami_file(),
                                       sweep_metrics(c.time_domain, c.ber_eye),
                                       sweep_evaluator(setup), std::cout);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("Swept %zu of %ld points (shard %s) in %.1f s: %s, %s\n", table.points.size(),
                table.grid.point_count(), table.shard.text().c_str(), seconds, results_path(c.output.out_dir).c_str(),
                results_csv_path(c.output.out_dir).c_str());
    std::fflush(stdout);
    const size_t failed = report_errors(table);
    draw_heatmaps_and_page(c.output, table);
    // A shard none of whose points ran failed as a whole (a model that does
    // not load, say): a dependent merge must not start.
    return !table.points.empty() && failed == table.points.size() ? exit_status::kFailureFound : exit_status::kSuccess;
}

int run_merge_command(int argc, char **argv)
{
    CLI::App app{kMergeDescription, "ami_host merge"};
    use_help_layout(app);
    std::vector<std::string> files;
    Output output;
    app.add_option("files", files, "the shards' sweep.jsonl files, or their folders")
        ->type_name("FILE...")
        ->required();
    add_output_options(app, output, "the merged sweep.jsonl, sweep.csv and report.html");
    app.get_option("--out")->required();
    add_best_option(app, output);
    if (const int code = parse_or_exit(app, argc, argv); code >= 0)
        return code;
    const SweepTable table = run_merge(files, output.out_dir, output.best, std::cout);
    std::cout << "Merged " << table.points.size() << " points from " << files.size() << " files: "
              << results_path(output.out_dir) << ", " << results_csv_path(output.out_dir) << '\n';
    report_errors(table);
    draw_heatmaps_and_page(output, table, files);
    return 0;
}

} // namespace ami_host
