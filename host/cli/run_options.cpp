// The end-to-end run's command line, parsed with CLI11 into the run's
// settings, and the checks that tie options together.
#include "cli/run_options.h"

#include "cli/channel_options.h"
#include "cli/impairment_options.h"
#include "host_defaults.h"

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
    "ami_host sweep, settings and channels swept in shards; ami_host merge, shards joined;\n"
    "ami_host ibis, an IBIS file listed and its kit checked.\n"
    "Exit status: 0 done; 2 a command line that cannot be used; 3 bad input (a file or\n"
    "a setting); 4 a model fault (a crash, an exit, a hang, a failed call, NaN, a write\n"
    "past its arrays), named in one line on standard error; 5 an internal error.";

void add_model_options(CLI::App &app, RunSettings &o)
{
    add_model_files(
        app, o.tx, o.rx,
        [](const std::string &side) {
            return side + " model library, or none (default: this build's " +
                   (side == "Tx" ? "dorvex8_tx" : "Quorvane_pelisk4") + ")";
        },
        [](const std::string &side) { return "the " + side + " model's .ami file (default: the default " + side + " model's)"; });
    app.add_option("--tx", o.tx.overrides, "set Tx parameters, e.g. --tx TX_Deemph=3")
        ->type_name("NAME=VALUE")
        ->group("Models");
    app.add_option("--rx", o.rx.overrides, "set Rx parameters; branch members as branch.name, e.g. "
                                           "--rx EQ_Config=4 clock_recovery.step=0.0625")
        ->type_name("NAME=VALUE")
        ->group("Models");
}

void add_ibis_options(CLI::App &app, IbisChoice &ibis)
{
    app.add_option("--ibs", ibis.file,
                   "take both models (library and .ami for this platform) from an IBIS file, and build the "
                   "channel between their analog buffers and packages")
        ->type_name("FILE")
        ->group("IBIS");
    for (const auto &[side, choice] : {std::pair{std::string("tx"), &ibis.tx}, {std::string("rx"), &ibis.rx}}) {
        const std::string who = side == "tx" ? "the Tx" : "the Rx";
        app.add_option("--" + side + "-pin", choice->pin,
                       who + "'s pin, [COMPONENT:]PIN (default: the first pin of a suitable algorithmic model)")
            ->type_name("PIN")
            ->group("IBIS");
        app.add_option("--" + side + "-ibis-model", choice->model,
                       who + "'s model (or model selector) by name, instead of the pin's")
            ->type_name("NAME")
            ->group("IBIS");
    }
    const std::map<std::string, Corner> corners{{"typ", Corner::Typ}, {"min", Corner::Min}, {"max", Corner::Max}};
    app.add_option("--corner", ibis.corner, "the IBIS corner of the buffers and packages: typ, min or max")
        ->transform(named_choice(corners))
        ->type_name(choice_names(corners))
        ->default_str("typ")
        ->group("IBIS");
    app.add_flag("--no-analog", [&ibis](int64_t) { ibis.analog = false; },
                 "with --ibs, keep ideal ends of the channel's reference impedance")
        ->group("IBIS");
}

void add_signal_options(CLI::App &app, RunSettings &o)
{
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
}

void add_line_options(CLI::App &app, ChannelSettings &c)
{
    app.add_option("--channel", c.file,
                   "channel: Touchstone S-parameters (.sNp) or time/value pairs (default: the embedded lossy line)")
        ->type_name("FILE")
        ->group("Channel");
    const std::map<std::string, ResponseKind> kinds{{"impulse", ResponseKind::Impulse}, {"step", ResponseKind::Step}};
    app.add_option("--channel-kind", c.kind, "what the file holds: impulse (V/s) or step (V)")
        ->transform(named_choice(kinds))
        ->type_name(choice_names(kinds))
        ->default_str("impulse")
        ->group("Channel");
    app.add_option("--line-length", c.line.length, "embedded line: length, metres")
        ->check(number_in(0, 10))
        ->capture_default_str()
        ->group("Channel");
    app.add_option("--line-permittivity", c.line.permittivity, "embedded line: relative permittivity at 1 GHz")
        ->check(number_in(1, 100))
        ->capture_default_str()
        ->group("Channel");
    app.add_option("--line-loss-tangent", c.line.loss_tangent, "embedded line: loss tangent at 1 GHz")
        ->check(number_in(0, 0.2))
        ->capture_default_str()
        ->group("Channel");
    app.add_option("--line-conductor-loss", c.line.conductor_loss, "embedded line: conductor loss at 1 GHz, dB/m")
        ->check(number_in(0, 1000))
        ->capture_default_str()
        ->group("Channel");
    app.add_option("--line-impedance", c.line.impedance,
                   "embedded line: impedance of each leg, ohms, seen by the analog ends of --ibs")
        ->check(number_in(1, 1000))
        ->capture_default_str()
        ->group("Channel");
}

void add_analysis_options(CLI::App &app, RunSettings &o)
{
    app.add_option("--settle-tolerance", o.settle_tolerance,
                   "UI: the clock has settled once its phase stays in a band this wide for 256 bits "
                   "and ends them at most half the band from where it began")
        ->check(number_in(0.001, 0.5))
        ->capture_default_str()
        ->group("Analysis");
    app.add_flag("--statistical-only", [&o](int64_t) { o.time_domain = false; }, "run the statistical flow alone")
        ->group("Analysis");
}

void add_model_timeout_option(CLI::App &app, RunCommand &c)
{
    app.add_option("--model-timeout", c.model_timeout,
                   "seconds a model call may take before the run ends as a hung model")
        ->type_name("SECONDS")
        ->check(number_in(0.001, 1e6))
        ->capture_default_str()
        ->group("Models");
}

void add_picture_options(CLI::App &app, RunCommand &c)
{
    add_output_options(app, c.output, "report.json, waveforms.json and the pictures");
    app.add_option("--plot-script", c.plot_script,
                   "the plotting script (default: plot_results.py beside ami_host, or in ../share/ami_host)")
        ->type_name("FILE")
        ->group("Output");
    const std::map<std::string, Progress::Mode> modes{
        {"auto", Progress::Mode::Auto}, {"always", Progress::Mode::Always}, {"never", Progress::Mode::Never}};
    app.add_option("--progress", c.settings.progress, "progress bar on standard error")
        ->transform(named_choice(modes))
        ->type_name(choice_names(modes))
        ->default_str("auto")
        ->group("Output");
}

// A side's model: this build's default unless named; "none" leaves the side
// out. Returns what is wrong ("" for nothing).
std::string resolve_model(ModelChoice &model, const std::string &default_model, const std::string &default_ami,
                          const std::string &side)
{
    if (model.library.empty()) {
        model.library = default_model;
        if (model.ami.empty())
            model.ami = default_ami;
    } else if (model.library == "none") {
        model.library.clear();
    } else if (const std::string missing = missing_ami(model, side); !missing.empty()) {
        return missing;
    }
    if (!model.present())
        model.ami.clear();
    if (!model.present() && !model.overrides.empty())
        return "--" + side + " sets parameters of " + (side == "tx" ? "a Tx" : "an Rx") + " model, but there is none";
    return "";
}

// With --ibs, both models and the channel's analog ends come from the IBIS
// file; resolving it throws Error for a file or choice that cannot be used.
// Returns what is wrong with the options ("" for nothing).
std::string resolve_ibis(RunSettings &o)
{
    IbisChoice &ibis = o.ibis;
    if (ibis.file.empty()) {
        const bool chosen = !ibis.tx.pin.empty() || !ibis.rx.pin.empty() || !ibis.tx.model.empty() ||
                            !ibis.rx.model.empty() || ibis.corner != Corner::Typ || !ibis.analog;
        return chosen ? "--tx-pin, --rx-pin, --tx-ibis-model, --rx-ibis-model, --corner and --no-analog need --ibs"
                      : "";
    }
    if (!o.tx.library.empty() || !o.tx.ami.empty() || !o.rx.library.empty() || !o.rx.ami.empty())
        return "--ibs takes both models from the IBIS file: leave out --tx-model, --tx-ami, --rx-model and --rx-ami";
    const IbisLink link = resolve_ibis_link(ibis);
    o.tx.library = link.tx.library;
    o.tx.ami = link.tx.ami;
    o.rx.library = link.rx.library;
    o.rx.ami = link.rx.ami;
    if (ibis.analog)
        o.channel.analog = analog_ends(link);
    return "";
}

// What is wrong with the options together ("" for nothing).
std::string check_together(RunSettings &o)
{
    std::string problem = resolve_ibis(o);
    if (problem.empty())
        problem = resolve_model(o.tx, AMI_HOST_DEFAULT_TX_MODEL, AMI_HOST_DEFAULT_TX_AMI, "tx");
    if (problem.empty())
        problem = resolve_model(o.rx, AMI_HOST_DEFAULT_RX_MODEL, AMI_HOST_DEFAULT_RX_AMI, "rx");
    if (problem.empty())
        problem = check_channel_options(o.channel);
    if (problem.empty() && o.fft_size != 0 && (o.fft_size & (o.fft_size - 1)) != 0)
        problem = "--fft-size " + std::to_string(o.fft_size) + " is not a power of two";
    return problem;
}

} // namespace

int parse_run_command(int argc, char **argv, RunCommand &c)
{
    CLI::App app{kDescription, "ami_host"};
    use_help_layout(app);
    c.output.out_dir = "ami_host_out";
    add_model_options(app, c.settings);
    add_model_timeout_option(app, c);
    add_ibis_options(app, c.settings.ibis);
    add_signal_options(app, c.settings);
    add_line_options(app, c.settings.channel);
    add_channel_options(app, c.settings.channel);
    add_impairment_options(app, c.settings.impairments);
    add_analysis_options(app, c.settings);
    add_picture_options(app, c);
    if (const int code = parse_or_exit(app, argc, argv); code >= 0)
        return code;
    if (const std::string problem = check_together(c.settings); !problem.empty())
        return usage_error(app, problem);
    return -1;
}

} // namespace ami_host
