// A point of a sweep: the link of a single run with the point's channel and
// parameter values, run by run_link on fresh model instances.
#include "sweep/sweep_point.h"

#include "base/host_error.h"

#include <cmath>

namespace ami_host {

namespace {

std::vector<std::string> joined(const std::vector<std::string> &fixed, const std::vector<std::string> &point)
{
    std::vector<std::string> all = fixed;
    all.insert(all.end(), point.begin(), point.end());
    return all;
}

std::vector<double> figures_of(const RunRecord &run, const RunSettings &s)
{
    const PulseMetrics &worst = run.statistical.stages.back().metrics;
    const double height = run.crosstalk ? run.crosstalk->figures.eye_with : worst.eye_height;
    const double width = run.crosstalk ? run.crosstalk->figures.eye_width_with : worst.eye_width;
    std::vector<double> figures = {height, width / s.bit_time()};
    if (s.ber_eye) {
        figures.push_back(run.ber->eye.eye_height);
        figures.push_back(run.ber->eye.eye_width);
    }
    if (s.time_domain) {
        const WaveformResult &wave = run.waveform;
        figures.push_back(wave.eye.valid ? wave.eye.height : NAN);
        figures.push_back(wave.eye.valid ? wave.eye.width : NAN);
        figures.push_back(wave.data.latency_found ? static_cast<double>(wave.data.bit_errors) : NAN);
    }
    return figures;
}

} // namespace

std::shared_ptr<const SweepSetup> make_sweep_setup(const RunSettings &settings,
                                                   const std::vector<std::string> &channels)
{
    auto setup = std::make_shared<SweepSetup>();
    setup->settings = settings;
    setup->link = prepare_models(settings);
    for (const std::string &name : channels) {
        if (name.empty())
            throw Error("a sweep's channel has no name: give a file, or default for the embedded line");
        ChannelSettings channel = settings.channel;
        channel.file = name == kDefaultChannel ? "" : name;
        setup->channels.push_back(std::make_shared<const LinkChannels>(
            make_link_channels(channel, settings.sample_interval(), settings.bit_time())));
    }
    return setup;
}

std::vector<std::string> sweep_metrics(bool time_domain, bool ber_eye)
{
    std::vector<std::string> names = {"eye_height", "eye_width_ui"};
    if (ber_eye)
        names.insert(names.end(), {"ber_eye_height", "ber_eye_width_ui"});
    if (time_domain)
        names.insert(names.end(), {"td_eye_height", "td_eye_width_ui", "td_bit_errors"});
    return names;
}

LinkSetup point_link(const SweepSetup &setup, const SweepGrid &grid, const SweepPoint &point)
{
    LinkSetup link = setup.link;
    if (link.tx.present())
        set_overrides(link.tx, joined(setup.settings.tx.overrides, overrides_at(grid, point, "tx")));
    if (link.rx.present())
        set_overrides(link.rx, joined(setup.settings.rx.overrides, overrides_at(grid, point, "rx")));
    link.channels = setup.channels.at(point.channel);
    return link;
}

EvaluatorFactory sweep_evaluator(std::shared_ptr<const SweepSetup> setup)
{
    return [setup] {
        auto loaded = std::make_shared<SweepSetup>(*setup);
        load_models(loaded->link, setup->settings.time_domain);
        return PointEvaluator([loaded](const SweepGrid &grid, const SweepPoint &point) {
            return figures_of(run_link(point_link(*loaded, grid, point), loaded->settings), loaded->settings);
        });
    };
}

} // namespace ami_host
