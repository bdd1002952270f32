// The time-domain flow's link and settings, built the same way for a single
// run and for every point of a sweep.
#include "run/time_domain_setup.h"

namespace ami_host {

std::vector<double> discrete(std::vector<double> impulse, double sample_interval)
{
    for (double &k : impulse)
        k *= sample_interval;
    return impulse;
}

GetWaveUse getwave_use(bool tx_present, bool tx_getwave, bool rx_present, bool rx_getwave)
{
    GetWaveUse use;
    use.rx = rx_present && rx_getwave;
    use.tx = tx_present && tx_getwave && (use.rx || !rx_present);
    return use;
}

std::vector<double> response_between(const std::vector<double> &channel, const std::vector<double> &through_rx,
                                     const std::vector<double> &through_tx, bool tx_present, bool rx_present,
                                     GetWaveUse use)
{
    if (rx_present && !use.rx)
        return through_rx;
    if (tx_present && !use.tx)
        return through_tx;
    return channel;
}

TimeDomainLink time_domain_link(const std::vector<double> &channel,
                                const std::vector<std::vector<double>> &aggressor_channels,
                                const StatisticalResult &statistical, const TimeDomainModels &models,
                                bool linear_reference, double sample_interval)
{
    const bool tx_present = models.tx != nullptr;
    const bool rx_present = models.rx != nullptr;
    const GetWaveUse use = models.use;
    TimeDomainLink link;
    link.tx = use.tx ? models.tx : nullptr;
    link.rx = use.rx ? models.rx : nullptr;
    link.channel = discrete(response_between(channel, statistical.stages.back().impulse,
                                             statistical.stages[1].impulse, tx_present, rx_present, use),
                            sample_interval);
    if (linear_reference)
        link.reference = discrete(statistical.stages.back().impulse, sample_interval);
    for (size_t k = 0; k < statistical.aggressors.size(); ++k) {
        AggressorLink aggressor;
        aggressor.tx = use.tx ? models.aggressor_tx[k] : nullptr;
        aggressor.channel = discrete(response_between(aggressor_channels[k], statistical.aggressors[k],
                                                      statistical.aggressors_into_rx[k], tx_present, rx_present,
                                                      use),
                                     sample_interval);
        link.aggressors.push_back(std::move(aggressor));
    }
    return link;
}

TimeDomainSettings time_domain_settings(const RunSettings &o)
{
    TimeDomainSettings settings;
    settings.prbs_order = o.prbs;
    settings.bits = o.bits;
    settings.samples_per_bit = o.samples_per_bit;
    settings.block_size = o.block_size;
    settings.fft_size = static_cast<size_t>(o.fft_size);
    return settings;
}

AnalysisSettings analysis_settings(const RunSettings &o, const StatisticalResult &statistical, long ignore_bits)
{
    AnalysisSettings analysis;
    analysis.sample_interval = o.sample_interval();
    analysis.samples_per_bit = o.samples_per_bit;
    analysis.bits = o.bits;
    analysis.ignore_bits = ignore_bits;
    analysis.settle_tolerance = o.settle_tolerance;
    analysis.max_latency = statistical.row_size / o.samples_per_bit + 16;
    analysis.ideal_position = statistical.stages.back().metrics.sampling_position;
    return analysis;
}

} // namespace ami_host
