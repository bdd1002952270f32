// The commands' shared command-line pieces.
#include "cli/command_line.h"

#include "base/exit_status.h"
#include "base/host_error.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

namespace ami_host {

namespace {

std::string bound_text(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

void use_help_layout(CLI::App &app) { app.get_formatter()->column_width(34); }

int parse_or_exit(CLI::App &app, int argc, char **argv)
{
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        // CLI11 prints the help, or the problem; its own codes for problems
        // would make one usage error look like many.
        return app.exit(e) == 0 ? exit_status::kSuccess : exit_status::kUsage;
    }
    return -1;
}

int usage_error(const CLI::App &app, const std::string &message)
{
    std::cerr << app.get_name() << ": " << message << "\nRun " << app.get_name() << " --help for the options.\n";
    return exit_status::kUsage;
}

CLI::Validator number_in(double lo, double hi, bool whole)
{
    auto check = [lo, hi, whole](std::string &text) -> std::string {
        char *end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0')
            return "'" + text + "' is not a number";
        if (!std::isfinite(value))
            return "'" + text + "' is not a finite number";
        if (whole && value != std::floor(value))
            return "'" + text + "' is not a whole number";
        if (value < lo || value > hi)
            return "'" + text + "' is not in the range " + bound_text(lo) + " to " + bound_text(hi);
        return "";
    };
    return CLI::Validator(check, (whole ? "INT in [" : "NUMBER in [") + bound_text(lo) + " - " + bound_text(hi) + "]");
}

void add_output_options(CLI::App &app, OutputSettings &output, const std::string &what)
{
    app.add_option("--out", output.out_dir, "folder for " + what)
        ->type_name("DIR")
        ->capture_default_str()
        ->group("Output");
    app.add_flag("--no-plots", [&output](int64_t) { output.plots = false; }, "draw no picture and write no report.html")
        ->group("Output");
    app.add_option("--python", output.python, "Python interpreter with matplotlib (default: /usr/bin/python3)")
        ->type_name("FILE")
        ->group("Output");
}

void add_model_files(CLI::App &app, ModelChoice &tx, ModelChoice &rx, const SideHelp &library_help,
                     const SideHelp &ami_help)
{
    for (auto [side, model] : {std::pair{"tx", &tx}, std::pair{"rx", &rx}}) {
        const std::string name = side == std::string("tx") ? "Tx" : "Rx";
        app.add_option("--" + std::string(side) + "-model", model->library, library_help(name))
            ->type_name("FILE")
            ->group("Models");
        app.add_option("--" + std::string(side) + "-ami", model->ami, ami_help(name))
            ->type_name("FILE")
            ->group("Models");
    }
}

std::string missing_ami(const ModelChoice &model, const std::string &side)
{
    if (!model.library.empty() && model.ami.empty())
        return "--" + side + "-model needs the model's .ami file: give it with --" + side + "-ami";
    return "";
}

void create_output_folder(const std::string &dir)
{
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    if (made)
        throw Error("cannot create the output folder '" + dir + "': " + made.message());
}

} // namespace ami_host
