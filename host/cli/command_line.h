// What ami_host's commands share on their command lines: CLI11's set-up and
// parse, usage errors, range-checked numbers and the output options.
#pragma once

#include "run/run_settings.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <map>
#include <string>

namespace ami_host {

// Gives `app` the commands' help layout.
void use_help_layout(CLI::App &app);

// Parses; returns -1 to go on, or the exit code when the command should stop
// now: 0 after --help or --version, the usage status after printing what is
// wrong with the command line.
int parse_or_exit(CLI::App &app, int argc, char **argv);

// Prints "<name>: <message>" and where to find the options; returns the usage status.
int usage_error(const CLI::App &app, const std::string &message);

// A number from `lo` to `hi`, refused in words that say what is wrong with
// it: not a number, not finite, not whole (when `whole`), or out of range.
CLI::Validator number_in(double lo, double hi, bool whole = false);

// "name|name|...", for an option's type name and its refusal.
template <typename T>
std::string choice_names(const std::map<std::string, T> &choices)
{
    std::string names;
    for (const auto &choice : choices)
        names += (names.empty() ? "" : "|") + choice.first;
    return names;
}

// One of the names of `choices` (an enumeration's), turned into its value;
// anything else is refused naming the choices. No text of its own in --help,
// where the option's type name (choice_names) shows the names.
template <typename T>
CLI::Validator named_choice(const std::map<std::string, T> &choices)
{
    return CLI::Validator(
        [choices](std::string &text) {
            const auto found = choices.find(text);
            if (found == choices.end())
                return "'" + text + "' is not one of " + choice_names(choices);
            text = std::to_string(static_cast<long long>(found->second));
            return std::string();
        },
        "");
}

// Where a command writes its results and whether it draws pictures.
struct OutputSettings {
    std::string out_dir;
    bool plots = true;
    std::string python; // empty: /usr/bin/python3 when present, else python3 on the path
};

// --out (holding `what`), --no-plots and --python, in the "Output" group.
void add_output_options(CLI::App &app, OutputSettings &output, const std::string &what);

// --tx-model, --tx-ami, --rx-model and --rx-ami into `tx` and `rx`, in the
// "Models" group; `library_help` and `ami_help` word a side's two options
// ("Tx" or "Rx").
using SideHelp = std::function<std::string(const std::string &side)>;
void add_model_files(CLI::App &app, ModelChoice &tx, ModelChoice &rx, const SideHelp &library_help,
                     const SideHelp &ami_help);

// "--tx-model needs the model's .ami file: give it with --tx-ami" for a
// library named without its .ami file (`side` "tx" or "rx"), else "".
std::string missing_ami(const ModelChoice &model, const std::string &side);

// Creates the output folder. Throws Error when it cannot.
void create_output_folder(const std::string &dir);

} // namespace ami_host
