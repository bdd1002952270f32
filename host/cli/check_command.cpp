// ami_host check: runs the model checks on one model and reports them as a
// table, as check.json and, where the checks kept responses, as check.png.
#include "cli/subcommands.h"

#include "check/check_report.h"
#include "base/host_error.h"
#include "check/model_check.h"
#include "base/python_script.h"

#include <CLI/CLI.hpp>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace ami_host {

namespace {

constexpr const char *kDescription =
    "ami_host check: checks that an IBIS-AMI model behaves before any eye drawn with it is\n"
    "trusted: its .ami file, the parameter echo, AMI_Init's linearity and repeatability,\n"
    "AMI_Init against AMI_GetWave, independence of the block size, the samples per bit and\n"
    "other instances, the clock times, and robustness. The model runs in child processes:\n"
    "a crash or a hang is a failed check. Exit status 1 when a check fails.";

struct CheckCommand {
    std::string tx_model, tx_ami, rx_model, rx_ami;
    double bit_rate = 10e9;
    CheckOptions options;
    std::string out_dir = "ami_host_check";
    bool plots = true;
    std::string python;
};

int usage_error(const std::string &message)
{
    std::cerr << "ami_host check: " << message << "\nRun ami_host check --help for the options.\n";
    return 2;
}

void add_options(CLI::App &app, CheckCommand &c)
{
    app.add_option("--rx-model", c.rx_model, "the Rx model library to check")->type_name("FILE")->group("Model");
    app.add_option("--rx-ami", c.rx_ami, "its .ami file")->type_name("FILE")->group("Model");
    app.add_option("--tx-model", c.tx_model, "the Tx model library to check")->type_name("FILE")->group("Model");
    app.add_option("--tx-ami", c.tx_ami, "its .ami file")->type_name("FILE")->group("Model");
    app.add_option("--bit-rate", c.bit_rate, "bits per second")
        ->check(CLI::Range(1e6, 1e12))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--samples-per-bit", c.options.samples_per_bit, "samples per bit time")
        ->check(CLI::Range(4, 1024))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--bits", c.options.bits, "bits of the data waveform run through AMI_GetWave")
        ->check(CLI::Range(200L, 1000000L))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--timeout", c.options.timeout_seconds, "seconds each child process may run")
        ->check(CLI::Range(1.0, 3600.0))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--out", c.out_dir, "folder for check.json and check.png")
        ->type_name("DIR")
        ->capture_default_str()
        ->group("Output");
    app.add_flag("--no-plots", [&c](int64_t) { c.plots = false; }, "draw no picture")->group("Output");
    app.add_option("--python", c.python, "Python interpreter with matplotlib (default: /usr/bin/python3)")
        ->type_name("FILE")
        ->group("Output");
}

// The model the command line names: one side, with its .ami file.
std::string subject_problem(const CheckCommand &c)
{
    if (c.tx_model.empty() == c.rx_model.empty())
        return "name one model to check: --rx-model LIB --rx-ami FILE, or --tx-model LIB --tx-ami FILE";
    if (!c.tx_model.empty() && c.tx_ami.empty())
        return "--tx-model needs the model's .ami file: give it with --tx-ami";
    if (!c.rx_model.empty() && c.rx_ami.empty())
        return "--rx-model needs the model's .ami file: give it with --rx-ami";
    return "";
}

// Draws check.png (the script names it) when a check kept responses; a
// picture of an earlier run must not pass for this one's.
void draw_picture(const CheckCommand &c)
{
    const std::string picture = c.out_dir + "/check.png";
    std::remove(picture.c_str());
    run_python_script(c.python, host_script("plot_check.py"), {c.out_dir});
}

} // namespace

int run_check_command(int argc, char **argv)
{
    CLI::App app{kDescription, "ami_host check"};
    app.get_formatter()->column_width(34);
    CheckCommand c;
    add_options(app, c);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }
    if (const std::string problem = subject_problem(c); !problem.empty())
        return usage_error(problem);
    const bool tx = !c.tx_model.empty();
    const CheckSubject subject{tx ? c.tx_model : c.rx_model, tx ? c.tx_ami : c.rx_ami, tx ? "Tx" : "Rx"};
    c.options.bit_time = 1.0 / c.bit_rate;

    std::error_code made;
    std::filesystem::create_directories(c.out_dir, made);
    if (made)
        throw Error("cannot create the output folder '" + c.out_dir + "': " + made.message());
    const std::vector<CheckResult> results = check_model(subject, c.options);
    std::cout << "Checks of the " << subject.side << " model " << subject.library << " (" << subject.ami << ")\n";
    print_check_table(std::cout, results);
    write_check_json(c.out_dir + "/check.json", subject, results);
    std::cout << "Report: " << c.out_dir << "/check.json\n";
    std::cout.flush();
    if (c.plots)
        draw_picture(c);
    return any_failed(results) ? 1 : 0;
}

} // namespace ami_host
