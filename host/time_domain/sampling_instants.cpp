// Instants are kept only where a bit's window before them lies in the run.
#include "time_domain/sampling_instants.h"

namespace ami_host {

SamplingInstants::SamplingInstants(const AnalysisSettings &settings, double bit_time)
    : dt_(settings.sample_interval), ui_(bit_time), samples_per_bit_(settings.samples_per_bit),
      ideal_position_(settings.ideal_position)
{
}

void SamplingInstants::add_ideal(long long wave_end)
{
    for (;;) {
        const double t = (ideal_position_ + static_cast<double>(next_ideal_ * samples_per_bit_)) * dt_;
        if ((t + ui_) / dt_ > static_cast<double>(wave_end))
            return;
        if (t - ui_ >= 0.0)
            pending_.push_back(t);
        ++next_ideal_;
    }
}

void SamplingInstants::add_edges(const double *edges, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        model_clock_seen_ = true;
        const double t = edges[i] + 0.5 * ui_;
        if (t - ui_ >= 0.0)
            pending_.push_back(t);
    }
}

} // namespace ami_host
