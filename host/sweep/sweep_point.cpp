// A point of a sweep: fresh model instances, AMI_Init in the statistical flow
// and, in the time-domain flow, AMI_GetWave on the same instances, as a
// single run drives them.
#include "sweep/sweep_point.h"

#include "base/host_error.h"
#include "model/model_loader.h"
#include "model/parameter_string.h"
#include "statistical/ber_analysis.h"
#include "statistical/init_flow.h"
#include "time_domain/time_domain_run.h"
#include "run/time_domain_setup.h"
#include "channel/touchstone_channel.h"

#include <algorithm>
#include <cmath>

namespace ami_host {

namespace {

std::unique_ptr<ModelLibrary> load_library(const std::string &path, const AmiFile *ami, const std::string &side,
                                           bool getwave_needed)
{
    if (ami == nullptr)
        return nullptr;
    auto library = std::make_unique<ModelLibrary>(path, side + " model");
    if (getwave_needed && ami->getwave_exists() && library->get_wave() == nullptr)
        throw Error(ami->origin + " declares GetWave_Exists True, but the " + side + " model '" + path +
                    "' does not export AMI_GetWave");
    return library;
}

class PointRunner {
public:
    explicit PointRunner(std::shared_ptr<const SweepSetup> setup)
        : setup_(std::move(setup)),
          tx_(load_library(setup_->options.tx_model, setup_->tx_ami(), "Tx", setup_->time_domain)),
          rx_(load_library(setup_->options.rx_model, setup_->rx_ami(), "Rx", setup_->time_domain))
    {
    }

    std::vector<double> evaluate(const SweepGrid &grid, const SweepPoint &point) const
    {
        const Options &o = setup_->options;
        const Channel &channel = setup_->channels.at(point.channel);
        const std::unique_ptr<ModelInstance> tx = tx_ ? std::make_unique<ModelInstance>(*tx_) : nullptr;
        const std::unique_ptr<ModelInstance> rx = rx_ ? std::make_unique<ModelInstance>(*rx_) : nullptr;
        const FlowModel tx_flow{tx.get(), tx ? point_parameters(*setup_, grid, point, "tx") : "",
                                !tx || setup_->tx.init_returns_impulse()};
        const FlowModel rx_flow{rx.get(), rx ? point_parameters(*setup_, grid, point, "rx") : "",
                                !rx || setup_->rx.init_returns_impulse()};
        const StatisticalResult statistical =
            run_statistical(channel.impulse, o.sample_interval(), o.bit_time(), o.samples_per_bit, tx_flow, rx_flow);
        const PulseMetrics &worst = statistical.stages.back().metrics;
        std::vector<double> figures = {worst.eye_height, worst.eye_width / o.bit_time()};
        if (setup_->ber_eye) {
            const BerAnalysis ber = analyse_ber(statistical.stages.back(), statistical.aggressors, setup_->impairments,
                                                o.bit_time(), o.sample_interval(), o.samples_per_bit,
                                                o.impairments.target_ber);
            figures.push_back(ber.eye.eye_height);
            figures.push_back(ber.eye.eye_width);
        }
        if (setup_->time_domain) {
            const WaveformResult wave = time_domain(channel, statistical, tx.get(), rx.get());
            figures.push_back(wave.eye.valid ? wave.eye.height : NAN);
            figures.push_back(wave.eye.valid ? wave.eye.width : NAN);
            figures.push_back(wave.data.latency_found ? static_cast<double>(wave.data.bit_errors) : NAN);
        }
        return figures;
    }

private:
    bool getwave(const AmiFile *ami) const { return ami != nullptr && ami->getwave_exists(); }

    // The models run as in a single run, without the linear reference.
    TimeDomainLink link(const Channel &channel, const StatisticalResult &statistical, ModelInstance *tx,
                        ModelInstance *rx) const
    {
        const GetWaveUse use =
            getwave_use(tx != nullptr, getwave(setup_->tx_ami()), rx != nullptr, getwave(setup_->rx_ami()));
        return victim_link(channel.impulse, statistical, tx, rx, tx != nullptr, rx != nullptr, use,
                           setup_->options.sample_interval());
    }

    WaveformResult time_domain(const Channel &channel, const StatisticalResult &statistical, ModelInstance *tx,
                               ModelInstance *rx) const
    {
        const long ignore_bits = std::max(tx ? setup_->tx.ignore_bits() : 0L, rx ? setup_->rx.ignore_bits() : 0L);
        Progress quiet(Progress::Mode::Never);
        return run_time_domain(time_domain_settings(setup_->options), link(channel, statistical, tx, rx),
                               analysis_settings(setup_->options, statistical, ignore_bits), quiet)
            .waveform;
    }

    std::shared_ptr<const SweepSetup> setup_;
    std::unique_ptr<ModelLibrary> tx_, rx_;
};

} // namespace

Channel sweep_channel(const std::string &name, const Options &o)
{
    if (name == kDefaultChannel)
        return embedded_channel(o.line, o.sample_interval(), o.bit_time());
    if (is_touchstone_name(name))
        return touchstone_channel(name, o.channels.touchstone, o.sample_interval(), o.bit_time()).channel;
    return channel_from_file(name, o.channel_kind, o.sample_interval());
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

std::string point_parameters(const SweepSetup &setup, const SweepGrid &grid, const SweepPoint &point,
                             const std::string &side)
{
    const bool tx = side == "tx";
    std::vector<Override> overrides;
    for (const std::string &text : tx ? setup.options.tx_overrides : setup.options.rx_overrides)
        overrides.push_back(parse_override(text));
    for (const std::string &text : overrides_at(grid, point, side))
        overrides.push_back(parse_override(text));
    return build_parameter_string(tx ? setup.tx : setup.rx, overrides, tx ? "Tx" : "Rx").text;
}

EvaluatorFactory sweep_evaluator(std::shared_ptr<const SweepSetup> setup)
{
    return [setup] {
        auto runner = std::make_shared<const PointRunner>(setup);
        return PointEvaluator(
            [runner](const SweepGrid &grid, const SweepPoint &point) { return runner->evaluate(grid, point); });
    };
}

} // namespace ami_host
