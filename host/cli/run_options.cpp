// Command-line parsing with CLI11 and the checks that tie options together.
#include "cli/run_options.h"

#include "host_defaults.h"

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <map>

namespace ami_host {

namespace {

constexpr const char *kDescription =
    "ami_host: runs IBIS-AMI models end to end, as a channel simulator does.\n"
    "A Tx and an Rx model (shared libraries with AMI_Init, AMI_GetWave and AMI_Close,\n"
    "each with its .ami file) are driven over a channel: the statistical flow through\n"
    "AMI_Init and the time-domain flow through AMI_GetWave with a PRBS stimulus. A summary\n"
    "goes to standard output; report.json, waveforms.json and PNG pictures to --out.\n"
    "Other commands (each with --help): ami_host check, a model's quality report;\n"
    "ami_host sweep, settings and channels swept in shards; ami_host merge, shards joined.";

int usage_error(const std::string &message)
{
    std::cerr << "ami_host: " << message << "\nRun ami_host --help for the options.\n";
    return 2;
}

std::string bound_text(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// A number from `lo` to `hi`, refused in words that say what is wrong with
// it: not a number, not finite, not whole (when `whole`), or out of range.
CLI::Validator number_in(double lo, double hi, bool whole = false)
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

} // namespace

int parse_command_line(int argc, char **argv, Options &o)
{
    CLI::App app{kDescription, "ami_host"};
    app.get_formatter()->column_width(34);

    app.add_option("--tx-model", o.tx_model, "Tx model library, or none (default: this build's dorvex8_tx)")
        ->type_name("FILE")
        ->group("Models");
    app.add_option("--tx-ami", o.tx_ami, "the Tx model's .ami file (default: the default Tx model's)")
        ->type_name("FILE")
        ->group("Models");
    app.add_option("--rx-model", o.rx_model, "Rx model library, or none (default: this build's Quorvane_pelisk4)")
        ->type_name("FILE")
        ->group("Models");
    app.add_option("--rx-ami", o.rx_ami, "the Rx model's .ami file (default: the default Rx model's)")
        ->type_name("FILE")
        ->group("Models");
    app.add_option("--tx", o.tx_overrides, "set Tx parameters, e.g. --tx TX_Deemph=3")
        ->type_name("NAME=VALUE")
        ->group("Models");
    app.add_option("--rx", o.rx_overrides, "set Rx parameters; branch members as branch.name, e.g. "
                                           "--rx EQ_Config=4 clock_recovery.step=0.0625")
        ->type_name("NAME=VALUE")
        ->group("Models");

    app.add_option("--bit-rate", o.bit_rate, "bits per second")
        ->check(number_in(1e6, 1e12))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--samples-per-bit", o.samples_per_bit, "samples per bit time")
        ->check(number_in(4, 1024, true))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--prbs", o.prbs, "PRBS order of the time-domain stimulus")
        ->check(number_in(7, 31, true) & CLI::IsMember({7, 9, 11, 15, 20, 23, 31}))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--bits", o.bits, "bits in the time-domain run")
        ->check(number_in(200, kMaxBits, true))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--block-size", o.block_size, "samples per AMI_GetWave call")
        ->check(number_in(1, kMaxBlockSamples, true))
        ->capture_default_str()
        ->group("Signal");
    app.add_option("--fft-size", o.fft_size,
                   "samples per FFT segment of the channel convolution, a power of two (default: from the channel)")
        ->check(number_in(0, kMaxBlockSamples, true))
        ->group("Signal");

    app.add_option("--channel", o.channel_file,
                   "channel: Touchstone S-parameters (.sNp) or time/value pairs (default: the embedded lossy line)")
        ->type_name("FILE")
        ->group("Channel");
    const std::map<std::string, ResponseKind> kinds{{"impulse", ResponseKind::Impulse}, {"step", ResponseKind::Step}};
    app.add_option("--channel-kind", o.channel_kind, "what the file holds: impulse (V/s) or step (V)")
        ->transform(CLI::CheckedTransformer(kinds))
        ->default_str("impulse")
        ->group("Channel");
    app.add_option("--line-length", o.line.length, "embedded line: length, metres")
        ->check(number_in(0, 10))
        ->capture_default_str()
        ->group("Channel");
    app.add_option("--line-permittivity", o.line.permittivity, "embedded line: relative permittivity at 1 GHz")
        ->check(number_in(1, 100))
        ->capture_default_str()
        ->group("Channel");
    app.add_option("--line-loss-tangent", o.line.loss_tangent, "embedded line: loss tangent at 1 GHz")
        ->check(number_in(0, 0.2))
        ->capture_default_str()
        ->group("Channel");
    app.add_option("--line-conductor-loss", o.line.conductor_loss,
                   "embedded line: conductor loss at 1 GHz, dB/m")
        ->check(number_in(0, 1000))
        ->capture_default_str()
        ->group("Channel");
    add_channel_options(app, o.channels);

    add_impairment_options(app, o.impairments);

    app.add_option("--settle-tolerance", o.settle_tolerance,
                   "UI: the clock has settled once its phase stays in a band this wide for 256 bits "
                   "and ends them at most half the band from where it began")
        ->check(number_in(0.001, 0.5))
        ->capture_default_str()
        ->group("Analysis");
    app.add_flag("--statistical-only", o.statistical_only, "run the statistical flow alone")->group("Analysis");

    app.add_option("--out", o.out_dir, "folder for report.json, waveforms.json and the pictures")
        ->type_name("DIR")
        ->capture_default_str()
        ->group("Output");
    app.add_flag("--no-plots", [&o](int64_t) { o.plots = false; }, "write no pictures")->group("Output");
    app.add_option("--python", o.python, "Python interpreter with matplotlib (default: /usr/bin/python3)")
        ->type_name("FILE")
        ->group("Output");
    app.add_option("--plot-script", o.plot_script, 
                   "the plotting script (default: plot_results.py beside ami_host, or in ../share/ami_host)")
        ->type_name("FILE")
        ->group("Output");
    const std::map<std::string, Progress::Mode> modes{
        {"auto", Progress::Mode::Auto}, {"always", Progress::Mode::Always}, {"never", Progress::Mode::Never}};
    app.add_option("--progress", o.progress, "progress bar on standard error")
        ->transform(CLI::CheckedTransformer(modes))
        ->default_str("auto")
        ->group("Output");

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError &e) {
        return app.exit(e);
    }

    // Models: the defaults of this build unless named; "none" leaves a side out.
    auto resolve = [](std::string &model, std::string &ami, const std::string &default_model,
                      const std::string &default_ami, const char *side) -> std::string {
        if (model.empty()) {
            model = default_model;
            if (ami.empty())
                ami = default_ami;
        } else if (model == "none") {
            model.clear();
        } else if (ami.empty()) {
            return std::string("--") + side + "-model needs the model's .ami file: give it with --" + side + "-ami";
        }
        if (model.empty() && !ami.empty())
            ami.clear();
        return "";
    };
    std::string problem = resolve(o.tx_model, o.tx_ami, AMI_HOST_DEFAULT_TX_MODEL, AMI_HOST_DEFAULT_TX_AMI, "tx");
    if (problem.empty())
        problem = resolve(o.rx_model, o.rx_ami, AMI_HOST_DEFAULT_RX_MODEL, AMI_HOST_DEFAULT_RX_AMI, "rx");
    if (!problem.empty())
        return usage_error(problem);
    if (o.tx_model.empty() && !o.tx_overrides.empty())
        return usage_error("--tx sets parameters of a Tx model, but there is none");
    if (o.rx_model.empty() && !o.rx_overrides.empty())
        return usage_error("--rx sets parameters of an Rx model, but there is none");
    problem = check_channel_options(o.channels, o.channel_file);
    if (!problem.empty())
        return usage_error(problem);
    if (o.fft_size != 0 && (o.fft_size & (o.fft_size - 1)) != 0)
        return usage_error("--fft-size " + std::to_string(o.fft_size) + " is not a power of two");
    return -1;
}

} // namespace ami_host
