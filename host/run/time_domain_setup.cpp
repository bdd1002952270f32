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

TimeDomainLink victim_link(const std::vector<double> &channel, const StatisticalResult &statistical,
                           ModelInstance *tx, ModelInstance *rx, bool tx_present, bool rx_present, GetWaveUse use,
                           double sample_interval)
{
    TimeDomainLink link;
    link.tx = use.tx ? tx : nullptr;
    link.rx = use.rx ? rx : nullptr;
    link.channel = discrete(response_between(channel, statistical.stages.back().impulse,
                                             statistical.stages[1].impulse, tx_present, rx_present, use),
                            sample_interval);
    return link;
}

TimeDomainSettings time_domain_settings(const Options &o)
{
    TimeDomainSettings settings;
    settings.prbs_order = o.prbs;
    settings.bits = o.bits;
    settings.samples_per_bit = o.samples_per_bit;
    settings.block_size = o.block_size;
    settings.fft_size = static_cast<size_t>(o.fft_size);
    return settings;
}

AnalysisSettings analysis_settings(const Options &o, const StatisticalResult &statistical, long ignore_bits)
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
