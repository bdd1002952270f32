// ami_host's end-to-end run: the link the command line describes, run once,
// its summary printed and its report and pictures written.
#include "cli/commands.h"

#include "base/host_error.h"
#include "base/html_report.h"
#include "base/python_script.h"
#include "channel/link_channels.h"
#include "cli/run_options.h"
#include "model/model_call_guard.h"
#include "run/link_run.h"
#include "run/plots.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace ami_host {

namespace {

// Creates the output folder and makes sure a file can be written there,
// before any time is spent on the simulation; then removes what an earlier
// run wrote, so that the folder never mixes two runs.
void prepare_output_folder(const std::string &dir)
{
    create_output_folder(dir);
    const std::string probe = dir + "/.ami_host_probe";
    FILE *file = std::fopen(probe.c_str(), "w");
    if (file == nullptr)
        throw Error("cannot write into the output folder '" + dir + "': " + std::strerror(errno));
    std::fclose(file);
    std::remove(probe.c_str());
    remove_report(dir);
    remove_pictures(dir);
    remove_html_report(dir);
}

// The scripts that draw the pictures and write the page, found before any
// time is spent on the simulation.
struct PageScripts {
    std::string stat_eye, page;
};

void draw_pictures(const RunCommand &c, const PageScripts &scripts, const RunRecord &run)
{
    const std::string &dir = c.output.out_dir;
    std::vector<std::string> pictures = draw_plots(c.output.python, c.plot_script, dir);
    if (run.ber)
        for (const std::string &p : draw_stat_eye_plots(c.output.python, scripts.stat_eye, dir))
            pictures.push_back(p);
    std::cout << "Pictures:";
    for (const std::string &p : pictures)
        std::cout << ' ' << p;
    std::cout << "\nReport page: " << write_html_report(c.output.python, scripts.page, dir) << '\n';
}

void write_results(const RunCommand &c, const PageScripts &scripts, const RunRecord &run)
{
    const std::string &dir = c.output.out_dir;
    write_report(run, dir);
    print_summary(run, std::cout);
    std::cout << "Report: " << dir << "/report.json (every figure), " << dir << "/waveforms.json\n";
    std::cout.flush();
    if (c.output.plots)
        draw_pictures(c, scripts, run);
}

// The channels' warnings, at once rather than only in the summary: data that
// cannot describe the link make a long run pointless.
void print_channel_warnings(const LinkChannels &channels)
{
    const std::string mark = "warning: ";
    auto print = [&](const std::vector<std::string> &notes) {
        for (const std::string &note : notes)
            if (note.starts_with(mark))
                std::cerr << "ami_host: channel " << note << '\n';
    };
    print(channels.notes);
    for (const Aggressor &a : channels.aggressors)
        print(a.notes);
}

// --write-touchstone: the through channel written as a two-port, and nothing
// else run or written. The file's folder may be one the run would have made.
void write_channel_file(const RunSettings &s)
{
    const std::string &path = s.channel.write_touchstone;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    std::error_code failed;
    if (!folder.empty())
        std::filesystem::create_directories(folder, failed);
    if (failed)
        throw Error("cannot create the folder '" + folder.string() + "' for " + path + ": " + failed.message());
    const LinkChannels channels = make_link_channels(s.channel, s.sample_interval(), s.bit_time());
    print_channel_warnings(channels);
    write_channel_touchstone(channels.through, path);
    std::cout << "Wrote " << path << ": " << channels.through.description
              << ", as a matched two-port from 10 MHz to 50 GHz\n";
}

} // namespace

int run_link_command(int argc, char **argv)
{
    RunCommand c;
    if (const int code = parse_run_command(argc, argv, c); code >= 0)
        return code;
    if (!c.settings.channel.write_touchstone.empty()) {
        write_channel_file(c.settings);
        return 0;
    }
    const auto started = std::chrono::steady_clock::now();
    LinkSetup setup = prepare_link(c.settings);
    print_channel_warnings(*setup.channels);
    prepare_output_folder(c.output.out_dir);
    if (c.output.plots && c.plot_script.empty())
        c.plot_script = default_plot_script();
    PageScripts scripts;
    if (c.output.plots)
        scripts = {host_script("plot_stat_eye.py"), host_script("run_report_html.py")};

    guard_model_calls(c.model_timeout);
    load_models(setup, c.settings.time_domain);
    RunRecord run = run_link(setup, c.settings);
    record_loss_curve(setup, c.settings, run);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    write_results(c, scripts, run);
    return 0;
}

} // namespace ami_host
