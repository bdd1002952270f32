// ami_host check: runs the model checks on one model and reports them as a
// table, as check.json and, where the checks kept responses, as check.png.
#include "cli/commands.h"

#include "base/exit_status.h"
#include "base/html_report.h"
#include "check/check_report.h"
#include "cli/command_line.h"
#include "check/model_check.h"
#include "base/python_script.h"

#include <cstdio>
#include <iostream>

namespace ami_host {

namespace {

constexpr const char *kDescription =
    "ami_host check: checks that an IBIS-AMI model behaves before any eye drawn with it is\n"
    "trusted: its .ami file, the parameter echo, AMI_Init's linearity and repeatability,\n"
    "AMI_Init against AMI_GetWave, independence of the block size, the samples per bit and\n"
    "other instances, the clock times, memory growth over repeated calls, and robustness.\n"
    "The model runs in child processes: a crash or a hang is a failed check (a warning for\n"
    "a null parameter string, which no model must accept). Exit status 1 when a check fails.";

struct CheckCommand {
    ModelChoice tx, rx;
    double bit_rate = 10e9;
    CheckOptions options;
    OutputSettings output;
};

void add_options(CLI::App &app, CheckCommand &c)
{
    add_model_files(
        app, c.tx, c.rx, [](const std::string &side) { return "the " + side + " model library to check"; },
        [](const std::string &) { return "its .ami file"; });
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
    c.output.out_dir = "ami_host_check";
    add_output_options(app, c.output, "check.json, check.png and report.html");
}

// The model the command line names: one side, with its .ami file.
std::string subject_problem(const CheckCommand &c)
{
    if (c.tx.present() == c.rx.present())
        return "name one model to check: --rx-model LIB --rx-ami FILE, or --tx-model LIB --tx-ami FILE";
    const std::string missing = missing_ami(c.tx, "tx");
    return missing.empty() ? missing_ami(c.rx, "rx") : missing;
}

// Draws check.png (the script names it) when a check kept responses, and
// the page; a picture of an earlier run must not pass for this one's.
void draw_picture_and_page(const CheckCommand &c)
{
    const std::string picture = c.output.out_dir + "/check.png";
    std::remove(picture.c_str());
    run_python_script(c.output.python, host_script("plot_check.py"), {c.output.out_dir});
    std::cout << "Report page: "
              << write_html_report(c.output.python, host_script("check_report_html.py"), c.output.out_dir) << '\n';
}

} // namespace

int run_check_command(int argc, char **argv)
{
    CLI::App app{kDescription, "ami_host check"};
    use_help_layout(app);
    CheckCommand c;
    add_options(app, c);
    if (const int code = parse_or_exit(app, argc, argv); code >= 0)
        return code;
    if (const std::string problem = subject_problem(c); !problem.empty())
        return usage_error(app, problem);
    const ModelChoice &model = c.tx.present() ? c.tx : c.rx;
    const CheckSubject subject{model.library, model.ami, c.tx.present() ? "Tx" : "Rx"};
    c.options.bit_time = 1.0 / c.bit_rate;

    const std::string &dir = c.output.out_dir;
    create_output_folder(dir);
    remove_html_report(dir);
    const std::vector<CheckResult> results = check_model(subject, c.options);
    std::cout << "Checks of the " << subject.side << " model " << subject.library << " (" << subject.ami << ")\n";
    print_check_table(std::cout, results);
    write_check_json(dir + "/check.json", subject, results);
    std::cout << "Report: " << dir << "/check.json\n";
    std::cout.flush();
    if (c.output.plots)
        draw_picture_and_page(c);
    return any_failed(results) ? exit_status::kFailureFound : exit_status::kSuccess;
}

} // namespace ami_host
