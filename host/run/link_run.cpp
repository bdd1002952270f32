// A link run: the statistical flow through the models' AMI_Init, the
// bit-error-ratio eye, and the time-domain flow through their AMI_GetWave;
// with crosstalk, each aggressor through its own Tx instance.
#include "run/link_run.h"

#include "base/host_error.h"
#include "channel/channel.h"
#include "model/parameter_string.h"
#include "run/time_domain_setup.h"
#include "time_domain/impairment_draws.h"
#include "statistical/ber_analysis.h"
#include "statistical/worst_case_eye.h"

#include <algorithm>
#include <cmath>

namespace ami_host {

LinkModel prepare_model(const ModelChoice &choice, const std::string &side)
{
    LinkModel model;
    model.record.side = side;
    if (!choice.present())
        return model;
    model.record.present = true;
    model.record.library = choice.library;
    model.record.ami_file = choice.ami;
    model.ami = read_ami_file(choice.ami);
    model.record.root = model.ami.root;
    model.record.ami_version = model.ami.ami_version();
    model.record.ignore_bits = model.ami.ignore_bits();
    set_overrides(model, choice.overrides);
    return model;
}

void set_overrides(LinkModel &model, const std::vector<std::string> &overrides)
{
    std::vector<Override> parsed;
    for (const std::string &text : overrides)
        parsed.push_back(parse_override(text));
    model.record.parameters = build_parameter_string(model.ami, parsed, model.record.side);
}

LinkSetup prepare_models(const RunSettings &s)
{
    LinkSetup setup;
    setup.tx = prepare_model(s.tx, "Tx");
    setup.rx = prepare_model(s.rx, "Rx");
    setup.impairments = link_impairments(s.impairments.set, setup.tx.ami_file(), setup.rx.ami_file());
    check_clock_offset(setup.impairments, s.bit_time());
    return setup;
}

LinkSetup prepare_link(const RunSettings &s)
{
    LinkSetup setup = prepare_models(s);
    setup.channels =
        std::make_shared<const LinkChannels>(make_link_channels(s.channel, s.sample_interval(), s.bit_time()));
    return setup;
}

namespace {

void load(LinkModel &model, bool getwave_needed)
{
    if (!model.present())
        return;
    const ModelRecord &r = model.record;
    model.library = std::make_shared<const ModelLibrary>(r.library, r.side + " model");
    if (getwave_needed && model.ami.getwave_exists() && model.library->get_wave() == nullptr)
        throw Error(model.ami.origin + " declares GetWave_Exists True, but the " + r.side + " model '" + r.library +
                    "' does not export AMI_GetWave");
}

} // namespace

void load_models(LinkSetup &setup, bool getwave_needed)
{
    load(setup.tx, getwave_needed);
    load(setup.rx, getwave_needed);
}

namespace {

// Model instances as if just loaded: one per side, and a Tx instance per
// crosstalk aggressor.
struct Instances {
    std::unique_ptr<ModelInstance> tx, rx;
    std::vector<std::unique_ptr<ModelInstance>> aggressor_tx;
};

std::unique_ptr<ModelInstance> instance_of(const LinkModel &model)
{
    return model.present() ? std::make_unique<ModelInstance>(*model.library) : nullptr;
}

Instances fresh_instances(const LinkSetup &setup, size_t aggressors)
{
    Instances models{instance_of(setup.tx), instance_of(setup.rx), {}};
    if (setup.tx.present())
        for (size_t k = 0; k < aggressors; ++k)
            models.aggressor_tx.push_back(instance_of(setup.tx));
    return models;
}

RunRecord settings_record(const RunSettings &s, const LinkSetup &setup)
{
    RunRecord run;
    run.host_bits = static_cast<int>(sizeof(void *) * 8);
    run.bit_time = s.bit_time();
    run.sample_interval = s.sample_interval();
    run.samples_per_bit = s.samples_per_bit;
    run.prbs = s.prbs;
    run.bits = s.bits;
    run.block_size = s.block_size;
    run.settle_tolerance = s.settle_tolerance;
    const Channel &channel = setup.channels->through;
    run.channel_notes = setup.channels->notes;
    run.channel_source = channel.source;
    run.channel_description = channel.description;
    run.channel_samples = channel.impulse.size();
    run.channel_delay_removed = channel.delay_removed;
    run.channel_data_top = channel.highest_frequency;
    run.channel_loss_nyquist_db = -transfer_db(channel.impulse, s.sample_interval(), 0.5 / s.bit_time());
    run.tx = setup.tx.record;
    run.rx = setup.rx.record;
    return run;
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

// Runs the flows of one link on its instances, recording into `run`.
class LinkFlows {
public:
    LinkFlows(const LinkSetup &setup, const RunSettings &settings, RunRecord &run)
        : setup_(setup), s_(settings), run_(run)
    {
    }

    void statistical(const Instances &models, const std::vector<Aggressor> &aggressors)
    {
        const FlowModel tx{models.tx.get(), setup_.tx.record.parameters.text,
                           !setup_.tx.present() || setup_.tx.ami.init_returns_impulse()};
        const FlowModel rx{models.rx.get(), setup_.rx.record.parameters.text,
                           !setup_.rx.present() || setup_.rx.ami.init_returns_impulse()};
        std::vector<std::vector<double>> aggressor_impulses;
        std::vector<FlowModel> aggressor_tx;
        for (size_t k = 0; k < aggressors.size(); ++k) {
            aggressor_impulses.push_back(aggressors[k].channel.impulse);
            if (models.tx)
                aggressor_tx.push_back({models.aggressor_tx[k].get(), tx.parameters, tx.returns_impulse});
        }
        run_.statistical = run_statistical(setup_.channels->through.impulse, s_.sample_interval(), s_.bit_time(),
                                           s_.samples_per_bit, tx, rx, aggressor_impulses, aggressor_tx);
        run_.tx.init = run_.statistical.tx_init;
        run_.rx.init = run_.statistical.rx_init;
    }

    // The statistical eye at the target bit-error ratio, from the statistical
    // flow's last response (with its crosstalk columns, if any).
    void ber_eye()
    {
        Progress progress(s_.progress);
        progress.start("statistical eye");
        try {
            run_.ber = analyse_ber(run_.statistical.stages.back(), run_.statistical.aggressors, setup_.impairments,
                                   s_.bit_time(), s_.sample_interval(), s_.samples_per_bit,
                                   s_.impairments.target_ber, [&progress](double done) { progress.update(done); });
        } catch (const Error &e) {
            // The analysis sees only a response: name the channel it came through.
            throw Error("channel " + setup_.channels->through.source + ", after the models: " + e.what());
        }
        progress.finish();
    }

    void time_domain(const Instances &models, const std::vector<Aggressor> &aggressors)
    {
        const TimeDomainLink link = time_domain_link(models, aggressors);
        TimeDomainSettings settings = time_domain_settings(s_);
        settings.tx_jitter = stimulus_jitter(setup_.impairments, s_.bit_time(), s_.impairments.seed);

        run_.ignore_bits = std::max(run_.tx.ignore_bits, run_.rx.ignore_bits);
        AnalysisSettings analysis = analysis_settings(s_, run_.statistical, run_.ignore_bits);
        analysis.reference = s_.linear_reference;
        analysis.decision = decision_impairments(setup_.impairments, s_.bit_time(), s_.impairments.seed);

        Progress progress(s_.progress);
        const TimeDomainRun wave = run_time_domain(settings, link, analysis, progress);
        record(wave);
    }

private:
    TimeDomainLink time_domain_link(const Instances &models, const std::vector<Aggressor> &aggressors)
    {
        TimeDomainModels m;
        m.tx = models.tx.get();
        m.rx = models.rx.get();
        for (const std::unique_ptr<ModelInstance> &a : models.aggressor_tx)
            m.aggressor_tx.push_back(a.get());
        m.use = getwave_use(setup_.tx.present(), setup_.tx.getwave(), setup_.rx.present(), setup_.rx.getwave());
        std::vector<std::vector<double>> aggressor_channels;
        for (const Aggressor &a : aggressors)
            aggressor_channels.push_back(a.channel.impulse);
        run_.tx.getwave_used = m.use.tx;
        run_.rx.getwave_used = m.use.rx;
        return ami_host::time_domain_link(setup_.channels->through.impulse, aggressor_channels, run_.statistical, m,
                                          s_.linear_reference, s_.sample_interval());
    }

    void record(const TimeDomainRun &wave)
    {
        run_.rx.getwave_parameters_out = wave.rx_parameters_out;
        run_.time_domain = true;
        run_.tx_calls = wave.tx_calls;
        run_.rx_calls = wave.rx_calls;
        run_.fft_size = static_cast<long>(wave.fft_size);
        run_.clock_from_model = wave.clock_from_model;
        run_.waveform = wave.waveform;
        const StageResponse &last = run_.statistical.stages.back();
        if (run_.waveform.clock.clocks > 0)
            run_.statistical_eye_at_clock =
                eye_at_phase(last.pulse, last.metrics, run_.waveform.clock.final_phase, s_.samples_per_bit);
    }

    const LinkSetup &setup_;
    const RunSettings &s_;
    RunRecord &run_;
};

CrosstalkRecord crosstalk_record(const std::vector<Aggressor> &aggressors)
{
    CrosstalkRecord record;
    for (const Aggressor &a : aggressors) {
        record.aggressors.push_back(a.channel.description.empty() ? a.channel.source : a.channel.description);
        record.notes.push_back(a.notes);
    }
    return record;
}

// With crosstalk: when asked, the time-domain run without it first (for the
// eye it leaves), then the flows with it on fresh model instances.
void crosstalk_flows(LinkFlows &flows, const LinkSetup &setup, const RunSettings &s, RunRecord &run)
{
    const std::vector<Aggressor> &aggressors = setup.channels->aggressors;
    CrosstalkRecord record = crosstalk_record(aggressors);
    if (s.time_domain && s.eye_without_crosstalk) {
        const Instances alone = fresh_instances(setup, 0);
        flows.statistical(alone, {});
        flows.time_domain(alone, {});
        record.time_domain = true;
        record.eye_without = run.waveform.eye;
        record.density_without = run.waveform.density;
        record.bits_without = run.waveform.data.bits_counted;
    }
    const Instances models = fresh_instances(setup, aggressors.size());
    flows.statistical(models, aggressors);
    if (s.ber_eye)
        flows.ber_eye();
    record.figures = crosstalk_figures(run.statistical, s.samples_per_bit, s.sample_interval());
    if (s.time_domain)
        flows.time_domain(models, aggressors);
    run.crosstalk = record;
}

// Points of the insertion-loss curve up to the bit rate; the middle one
// falls on half the bit rate.
constexpr int kLossCurvePoints = 64;

} // namespace

void record_loss_curve(const LinkSetup &setup, const RunSettings &s, RunRecord &run)
{
    const Channel &channel = setup.channels->through;
    for (int k = 1; k <= kLossCurvePoints; ++k) {
        const double frequency = k / (s.bit_time() * kLossCurvePoints);
        run.channel_loss_frequency.push_back(frequency);
        run.channel_loss_db.push_back(-transfer_db(channel.impulse, s.sample_interval(), frequency));
    }
}

RunRecord run_link(const LinkSetup &setup, const RunSettings &s)
{
    RunRecord run = settings_record(s, setup);
    LinkFlows flows(setup, s, run);
    if (!setup.channels->aggressors.empty()) {
        crosstalk_flows(flows, setup, s, run);
        return run;
    }
    const Instances models = fresh_instances(setup, 0);
    flows.statistical(models, {});
    if (s.ber_eye)
        flows.ber_eye();
    if (s.time_domain)
        flows.time_domain(models, {});
    return run;
}

} // namespace ami_host
