// ami_host: loads a Tx and an Rx IBIS-AMI model, runs the statistical and the
// time-domain flow over a channel, and reports what a person needs to judge
// the link: eyes, clock recovery and bit errors, in numbers and pictures.
#include "model/ami_file.h"
#include "channel/channel.h"
#include "cli/run_options.h"
#include "statistical/crosstalk_figures.h"
#include "statistical/worst_case_eye.h"
#include "base/host_error.h"
#include "channel/link_channels.h"
#include "model/model_loader.h"
#include "model/parameter_string.h"
#include "run/plots.h"
#include "base/python_script.h"
#include "base/progress.h"
#include "statistical/ber_analysis.h"
#include "run/report.h"
#include "statistical/init_flow.h"
#include "cli/subcommands.h"
#include "time_domain/time_domain_run.h"
#include "time_domain/impairment_draws.h"
#include "run/time_domain_setup.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>

namespace ami_host {
namespace {

// One side of the link: its .ami file, parameter string, library and instance.
struct Side {
    ModelRecord record;
    AmiFile ami;
    std::unique_ptr<ModelLibrary> library;
    std::unique_ptr<ModelInstance> instance;
    std::vector<std::unique_ptr<ModelInstance>> aggressor_instances; // Tx: one per crosstalk aggressor

    bool present() const { return record.present; }
    bool getwave() const { return present() && ami.getwave_exists(); }
};

// Reads the .ami file and builds the parameter string; nothing is loaded yet,
// so that a bad file or override is reported before any model runs.
void prepare(Side &side, const std::string &label, const std::string &model, const std::string &ami_path,
             const std::vector<std::string> &overrides)
{
    side.record.side = label;
    if (model.empty())
        return;
    side.record.present = true;
    side.record.library = model;
    side.record.ami_file = ami_path;
    side.ami = read_ami_file(ami_path);
    side.record.root = side.ami.root;
    side.record.ami_version = side.ami.ami_version();
    side.record.ignore_bits = side.ami.ignore_bits();
    std::vector<Override> parsed;
    for (const std::string &text : overrides)
        parsed.push_back(parse_override(text));
    side.record.parameters = build_parameter_string(side.ami, parsed, label);
}

void load(Side &side)
{
    if (!side.present())
        return;
    side.library = std::make_unique<ModelLibrary>(side.record.library, side.record.side + " model");
    if (side.ami.getwave_exists() && side.library->get_wave() == nullptr)
        throw Error(side.ami.origin + " declares GetWave_Exists True, but the " + side.record.side + " model '" +
                    side.record.library + "' does not export AMI_GetWave");
    side.instance = std::make_unique<ModelInstance>(*side.library);
}

// The statistical eye of `pulse` with every bit sampled at `phase` (UI, the
// recovered clock's phase within the bit), taken at the instant nearest the
// main cursor.
double eye_at_phase(const std::vector<double> &pulse, const PulseMetrics &m, double phase, int samples_per_bit)
{
    const double bit = samples_per_bit;
    const double cursor = static_cast<double>(m.cursor_index);
    const double wanted = (phase - std::floor(phase)) * bit;
    double offset = wanted - std::fmod(cursor, bit);
    offset -= bit * std::round(offset / bit);
    return opening_at(pulse, cursor + offset, samples_per_bit, m.main_cursor < 0.0 ? -1.0 : 1.0);
}

RunRecord settings_record(const Options &o)
{
    RunRecord run;
    run.host_bits = static_cast<int>(sizeof(void *) * 8);
    run.bit_time = o.bit_time();
    run.sample_interval = o.sample_interval();
    run.samples_per_bit = o.samples_per_bit;
    run.prbs = o.prbs;
    run.bits = o.bits;
    run.block_size = o.block_size;
    run.settle_tolerance = o.settle_tolerance;
    return run;
}

// Creates the output folder and makes sure a file can be written there,
// before any time is spent on the simulation.
void prepare_output_folder(const std::string &dir)
{
    std::error_code made;
    std::filesystem::create_directories(dir, made);
    if (made)
        throw Error("cannot create the output folder '" + dir + "': " + made.message());
    const std::string probe = dir + "/.ami_host_probe";
    FILE *file = std::fopen(probe.c_str(), "w");
    if (file == nullptr)
        throw Error("cannot write into the output folder '" + dir + "': " + std::strerror(errno));
    std::fclose(file);
    std::remove(probe.c_str());
}

Impairments impairments_of(const Options &o, const Side &tx, const Side &rx)
{
    return link_impairments(o.impairments, tx.present() ? &tx.ami : nullptr, rx.present() ? &rx.ami : nullptr);
}

void statistical_flow(const Options &o, Side &tx, Side &rx, const Channel &channel, RunRecord &run,
                      const std::vector<Aggressor> &aggressors = {})
{
    const FlowModel tx_flow{tx.instance.get(), tx.record.parameters.text,
                            !tx.present() || tx.ami.init_returns_impulse()};
    const FlowModel rx_flow{rx.instance.get(), rx.record.parameters.text,
                            !rx.present() || rx.ami.init_returns_impulse()};
    std::vector<std::vector<double>> aggressor_impulses;
    std::vector<FlowModel> aggressor_tx;
    for (size_t k = 0; k < aggressors.size(); ++k) {
        aggressor_impulses.push_back(aggressors[k].channel.impulse);
        if (tx.present())
            aggressor_tx.push_back({tx.aggressor_instances[k].get(), tx_flow.parameters, tx_flow.returns_impulse});
    }
    run.statistical = run_statistical(channel.impulse, o.sample_interval(), o.bit_time(), o.samples_per_bit, tx_flow,
                                      rx_flow, aggressor_impulses, aggressor_tx);
    tx.record.init = run.statistical.tx_init;
    rx.record.init = run.statistical.rx_init;
}

// The statistical eye at the target bit-error ratio, from the statistical
// flow's last response (with its crosstalk columns, if any).
void ber_flow(const Options &o, const Impairments &impairments, RunRecord &run)
{
    run.ber = analyse_ber(run.statistical.stages.back(), run.statistical.aggressors, impairments, o.bit_time(),
                          o.sample_interval(), o.samples_per_bit, o.impairments.target_ber);
}

// Each aggressor meets the same models as the victim, up to the Rx.
TimeDomainLink time_domain_link(Side &tx, Side &rx, const Channel &channel, const StatisticalResult &statistical,
                                double dt, const std::vector<std::vector<double>> &aggressor_channels)
{
    const GetWaveUse use = getwave_use(tx.present(), tx.getwave(), rx.present(), rx.getwave());
    TimeDomainLink link = victim_link(channel.impulse, statistical, tx.instance.get(), rx.instance.get(),
                                      tx.present(), rx.present(), use, dt);
    link.reference = discrete(statistical.stages.back().impulse, dt);
    for (size_t k = 0; k < statistical.aggressors.size(); ++k) {
        AggressorLink aggressor;
        aggressor.tx = use.tx ? tx.aggressor_instances[k].get() : nullptr;
        aggressor.channel = discrete(response_between(aggressor_channels[k], statistical.aggressors[k],
                                                      statistical.aggressors_into_rx[k], tx.present(), rx.present(),
                                                      use),
                                     dt);
        link.aggressors.push_back(std::move(aggressor));
    }
    tx.record.getwave_used = use.tx;
    rx.record.getwave_used = use.rx;
    return link;
}

void time_domain_flow(const Options &o, Side &tx, Side &rx, const Channel &channel, const Impairments &impairments,
                      RunRecord &run, const std::vector<Aggressor> &aggressors = {})
{
    const double dt = o.sample_interval();
    std::vector<std::vector<double>> aggressor_channels;
    for (const Aggressor &a : aggressors)
        aggressor_channels.push_back(a.channel.impulse);
    const TimeDomainLink link = time_domain_link(tx, rx, channel, run.statistical, dt, aggressor_channels);
    TimeDomainSettings settings = time_domain_settings(o);
    settings.tx_jitter = stimulus_jitter(impairments, o.bit_time(), o.impairments.seed);

    const StageResponse &last = run.statistical.stages.back();
    run.ignore_bits = std::max(tx.record.ignore_bits, rx.record.ignore_bits);
    AnalysisSettings analysis = analysis_settings(o, run.statistical, run.ignore_bits);
    analysis.reference = true;
    analysis.decision = decision_impairments(impairments, o.bit_time(), o.impairments.seed);

    Progress progress(o.progress);
    const TimeDomainRun wave = run_time_domain(settings, link, analysis, progress);
    rx.record.getwave_parameters_out = wave.rx_parameters_out;
    run.time_domain = true;
    run.tx_calls = wave.tx_calls;
    run.rx_calls = wave.rx_calls;
    run.fft_size = static_cast<long>(wave.fft_size);
    run.clock_from_model = wave.clock_from_model;
    run.waveform = wave.waveform;
    if (run.waveform.clock.clocks > 0)
        run.statistical_eye_at_clock =
            eye_at_phase(last.pulse, last.metrics, run.waveform.clock.final_phase, o.samples_per_bit);
}

// Fresh model instances, as if just loaded, with a Tx instance for each of
// `aggressors` besides the victim's.
void reload(Side &side, size_t aggressors)
{
    if (!side.present())
        return;
    side.instance = std::make_unique<ModelInstance>(*side.library);
    side.aggressor_instances.clear();
    for (size_t k = 0; k < aggressors; ++k)
        side.aggressor_instances.push_back(std::make_unique<ModelInstance>(*side.library));
}

// With crosstalk: the time-domain run without it first (for the eye it
// leaves), then both flows with it on fresh model instances.
void crosstalk_flows(const Options &o, Side &tx, Side &rx, const LinkChannels &channels, const Impairments &impairments,
                     RunRecord &run)
{
    CrosstalkRecord record;
    for (const Aggressor &a : channels.aggressors) {
        record.aggressors.push_back(a.channel.description.empty() ? a.channel.source : a.channel.description);
        record.notes.push_back(a.notes);
    }
    if (!o.statistical_only) {
        statistical_flow(o, tx, rx, channels.through, run);
        time_domain_flow(o, tx, rx, channels.through, impairments, run);
        record.time_domain = true;
        record.eye_without = run.waveform.eye;
        reload(rx, 0);
    }
    reload(tx, channels.aggressors.size());
    statistical_flow(o, tx, rx, channels.through, run, channels.aggressors);
    ber_flow(o, impairments, run);
    record.figures = crosstalk_figures(run.statistical, o.samples_per_bit, o.sample_interval());
    if (!o.statistical_only)
        time_domain_flow(o, tx, rx, channels.through, impairments, run, channels.aggressors);
    run.crosstalk = record;
}

void write_results(const Options &o, const std::string &stat_eye_script, const RunRecord &run)
{
    write_report(run, o.out_dir);
    print_summary(run, std::cout);
    std::cout << "Report: " << o.out_dir << "/report.json (every figure), " << o.out_dir << "/waveforms.json\n";
    std::cout.flush();
    if (!o.plots)
        return;
    std::vector<std::string> pictures = draw_plots(o.python, o.plot_script, o.out_dir);
    if (run.ber)
        for (const std::string &p : draw_stat_eye_plots(o.python, stat_eye_script, o.out_dir))
            pictures.push_back(p);
    std::cout << "Pictures:";
    for (const std::string &p : pictures)
        std::cout << ' ' << p;
    std::cout << '\n';
}

int run(int argc, char **argv)
{
    if (const int code = run_subcommand(argc, argv); code >= 0)
        return code;
    Options o;
    const int code = parse_command_line(argc, argv, o);
    if (code >= 0)
        return code;
    const auto started = std::chrono::steady_clock::now();
    RunRecord run = settings_record(o);

    Side tx, rx;
    prepare(tx, "Tx", o.tx_model, o.tx_ami, o.tx_overrides);
    prepare(rx, "Rx", o.rx_model, o.rx_ami, o.rx_overrides);
    const Impairments impairments = impairments_of(o, tx, rx);
    const LinkChannels channels = make_link_channels(o);
    const Channel &channel = channels.through;
    run.channel_notes = channels.notes;
    run.channel_source = channel.source;
    run.channel_description = channel.description;
    run.channel_samples = channel.impulse.size();
    run.channel_delay_removed = channel.delay_removed;
    run.channel_loss_nyquist_db = -transfer_db(channel.impulse, o.sample_interval(), 0.5 / o.bit_time());
    prepare_output_folder(o.out_dir);
    if (o.plots && o.plot_script.empty())
        o.plot_script = default_plot_script();
    const std::string stat_eye_script = o.plots ? host_script("plot_stat_eye.py") : "";

    load(tx);
    load(rx);
    if (channels.aggressors.empty()) {
        statistical_flow(o, tx, rx, channel, run);
        ber_flow(o, impairments, run);
        if (!o.statistical_only)
            time_domain_flow(o, tx, rx, channel, impairments, run);
    } else {
        crosstalk_flows(o, tx, rx, channels, impairments, run);
    }
    run.tx = tx.record;
    run.rx = rx.record;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    write_results(o, stat_eye_script, run);
    return 0;
}

} // namespace
} // namespace ami_host

int main(int argc, char **argv)
{
    try {
        return ami_host::run(argc, argv);
    } catch (const ami_host::Error &e) {
        std::cerr << "ami_host: error: " << e.what() << '\n';
    } catch (const std::bad_alloc &) {
        std::cerr << "ami_host: error: out of memory\n";
    } catch (const std::exception &e) {
        std::cerr << "ami_host: error: " << e.what() << '\n';
    }
    return 1;
}
