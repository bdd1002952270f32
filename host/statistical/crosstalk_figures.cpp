// Peak distortion: every bit of an aggressor's pulse at the victim's cursor
// phase, at its worst.
#include "statistical/crosstalk_figures.h"

#include "statistical/worst_case_eye.h"

#include <cmath>

namespace ami_host {

CrosstalkFigures crosstalk_figures(const StatisticalResult &result, int samples_per_bit, double sample_interval)
{
    CrosstalkFigures figures;
    const StageResponse &victim = result.stages.back();
    figures.eye_without = victim.metrics.eye_height;
    const size_t bit = static_cast<size_t>(samples_per_bit);
    const size_t phase = victim.metrics.cursor_index % bit;
    for (const std::vector<double> &impulse : result.aggressors) {
        // An aggressor's data are independent of the victim's: every bit of
        // its pulse, the main one too, may add to the victim's worst case.
        const std::vector<double> pulse = pulse_response(impulse, samples_per_bit, sample_interval);
        double distortion = 0.0;
        for (size_t i = phase; i < pulse.size(); i += bit)
            distortion += std::fabs(pulse[i]);
        figures.peak_distortion.push_back(distortion);
        figures.total += distortion;
    }
    figures.eye_with = figures.eye_without - figures.total;
    return figures;
}

} // namespace ami_host
