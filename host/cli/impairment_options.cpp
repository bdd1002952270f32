// Options of jitter and noise, checked as they are parsed so that a bad value
// is refused in words naming its option.
#include "cli/impairment_options.h"

#include "base/host_error.h"
#include "model/impairments.h"

#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace ami_host {

std::string impairment_option(const std::string &name)
{
    std::string option = "--";
    for (char c : name)
        option += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return option;
}

namespace {

std::string help_for(const std::string &name)
{
    if (name == "Rx_Noise" || name == "Rx_Receiver_Sensitivity")
        return name + ", volts";
    if (name.ends_with("_Frequency"))
        return name + ", Hz";
    if (name == "Tx_Sj" || name == "Rx_Sj")
        return name + ", seconds or UI; without " + name + "_Frequency the phase is drawn afresh for every " +
               (name == "Tx_Sj" ? "edge" : "clock") + " (the same arcsine density in the statistical eye)";
    if (name == "Rx_Clock_Recovery_Mean")
        return name + ", seconds or UI, signed, within +-0.5 UI";
    return name + ", seconds or UI (e.g. 0.01UI)";
}

} // namespace

void add_impairment_options(CLI::App &app, ImpairmentSettings &options)
{
    for (const std::string &name : impairment_names()) {
        const std::string option = impairment_option(name);
        auto take = [&options, name, option](const std::string &text) {
            Impairments scratch;
            try {
                set_impairment(scratch, name, text);
            } catch (const Error &e) {
                // The option names the parameter already.
                std::string why = e.what();
                if (why.starts_with(name + ": "))
                    why.erase(0, name.size() + 2);
                throw CLI::ValidationError(option, why);
            }
            options.set.emplace_back(name, text);
        };
        app.add_option_function<std::string>(option, take, help_for(name))->type_name("VALUE")->group("Impairments");
    }
    auto ber = [&options](const std::string &text) {
        char *end = nullptr;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || !std::isfinite(value) || value <= 0.0 || value >= 0.5)
            throw CLI::ValidationError("--target-ber", "'" + text + "' is not a finite ratio above 0 and below 0.5");
        options.target_ber = value;
    };
    app.add_option_function<std::string>("--target-ber", ber,
                                         "bit-error ratio at which the statistical eye is measured (default 1e-12)")
        ->type_name("RATIO")
        ->group("Impairments");
    app.add_option("--seed", options.seed, "seed of the time-domain jitter and noise draws")
        ->capture_default_str()
        ->group("Impairments");
}

} // namespace ami_host
