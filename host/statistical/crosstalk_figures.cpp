// Peak distortion: every bit of an aggressor's pulse at the victim's cursor
// phase, at its worst.
#include "statistical/crosstalk_figures.h"

#include "statistical/worst_case_eye.h"

#include <cmath>

namespace ami_host {

namespace {

// The most an aggressor's pulse adds at sample `position`: every bit of it.
double distortion_at(const std::vector<double> &pulse, size_t position, size_t bit)
{
    double distortion = 0.0;
    for (size_t i = position % bit; i < pulse.size(); i += bit)
        distortion += std::fabs(pulse[i]);
    return distortion;
}

// The worst-case eye's width with crosstalk: the victim's opening less the
// aggressors' distortion, one sample apart within a bit on either side of
// the cursor, as the victim's own width is found.
double width_with(const StageResponse &victim, const std::vector<std::vector<double>> &pulses, int samples_per_bit,
                  double sample_interval)
{
    const PulseMetrics &m = victim.metrics;
    const size_t bit = static_cast<size_t>(samples_per_bit);
    const double sign = m.main_cursor < 0.0 ? -1.0 : 1.0;
    const size_t first = m.cursor_index + bit; // `bit` samples before the cursor, kept unsigned
    std::vector<double> height(2 * bit + 1);
    for (size_t j = 0; j < height.size(); ++j) {
        const double position = static_cast<double>(m.cursor_index + j) - samples_per_bit;
        height[j] = opening_at(victim.pulse, position, samples_per_bit, sign);
        for (const std::vector<double> &pulse : pulses)
            height[j] -= distortion_at(pulse, first + j, bit);
    }
    double left = 0.0, right = 0.0;
    eye_edges(height, bit, left, right);
    return (right - left) * sample_interval;
}

} // namespace

CrosstalkFigures crosstalk_figures(const StatisticalResult &result, int samples_per_bit, double sample_interval)
{
    CrosstalkFigures figures;
    const StageResponse &victim = result.stages.back();
    figures.eye_without = victim.metrics.eye_height;
    const size_t bit = static_cast<size_t>(samples_per_bit);
    std::vector<std::vector<double>> pulses;
    for (const std::vector<double> &impulse : result.aggressors) {
        // An aggressor's data are independent of the victim's: every bit of
        // its pulse, the main one too, may add to the victim's worst case.
        pulses.push_back(pulse_response(impulse, samples_per_bit, sample_interval));
        const double distortion = distortion_at(pulses.back(), victim.metrics.cursor_index, bit);
        figures.peak_distortion.push_back(distortion);
        figures.total += distortion;
    }
    figures.eye_with = figures.eye_without - figures.total;
    if (figures.eye_with > 0.0)
        figures.eye_width_with = width_with(victim, pulses, samples_per_bit, sample_interval);
    return figures;
}

} // namespace ami_host
