// Decision feedback equalizer block.
#include "ami_cdr.h"
#include "ami_dfe.h"
#include "copy_samples.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

// Index of tap k after the cursor m, wrapped into 0..count-1; computed wide
// so that large spacings neither overflow nor give a negative index.
int tap_position(int m, int k, int samples_per_bit, int count)
{
    const std::int64_t offset = static_cast<std::int64_t>(k + 1) * samples_per_bit;
    std::int64_t i = (static_cast<std::int64_t>(m) + offset) % count;
    if (i < 0)
        i += count;
    return static_cast<int>(i);
}

} // namespace

extern "C" DFE SetupDFE(int tap_count, const double *initial_taps, int samples_per_bit, double tap_min,
                        double tap_max, double tap_resolution, const char *mode_text, double gain,
                        char *message, int message_size)
{
    DFE dfe{};
    dfe.mode = GetControlMode(mode_text, message, message_size);
    dfe.tap_min = tap_min;
    dfe.tap_max = tap_max;
    dfe.tap_resolution = tap_resolution;
    dfe.gain = gain;
    dfe.samples_per_bit = samples_per_bit;
    const int count = tap_count > 0 ? tap_count : 0;
    if (count > 0) {
        dfe.taps = static_cast<double *>(std::calloc(static_cast<size_t>(count), sizeof(double)));
        if (dfe.taps) {
            dfe.tap_count = count;
            if (initial_taps)
                std::memcpy(dfe.taps, initial_taps, sizeof(double) * static_cast<size_t>(count));
        }
    }
    return dfe;
}

extern "C" void ApplyDFE(const double *input, int sample_count, DFE dfe, int impulse, double scale,
                         const double *decisions, double *output)
{
    if (sample_count <= 0 || !input || !output)
        return;
    ami::copy_samples(input, sample_count, output);
    if (dfe.mode == CONTROL_OFF)
        return;
    const int taps = dfe.taps ? dfe.tap_count : 0;
    double *const tap = dfe.taps;

    if (impulse) {
        int m = 0;
        double largest = 0.0;
        for (int j = 0; j < sample_count; ++j)
            if (std::fabs(output[j]) > largest) {
                largest = std::fabs(output[j]);
                m = j;
            }
        // All taps are set before any is added, so positions that wrap onto
        // one another read the response as it came in.
        if (dfe.mode == CONTROL_AUTO)
            for (int k = 0; k < taps; ++k)
                tap[k] = -output[tap_position(m, k, dfe.samples_per_bit, sample_count)] * scale *
                         dfe.samples_per_bit;
        for (int k = 0; k < taps; ++k) {
            const int i = tap_position(m, k, dfe.samples_per_bit, sample_count);
            output[i] = output[i] + tap[k] / scale;
        }
        return;
    }

    if (taps == 0 || !decisions)
        return;
    const bool adapts = dfe.mode == CONTROL_AUTO || dfe.mode == CONTROL_ADAPT;
    for (int j = 0; j < sample_count; ++j) {
        for (int k = 0; k < taps; ++k)
            output[j] = output[j] + std::floor(tap[k] / dfe.tap_resolution) * dfe.tap_resolution * decisions[k];
        if (adapts)
            for (int k = 0; k < taps; ++k) {
                double t = tap[k] - dfe.gain * output[j] * decisions[k];
                if (t < dfe.tap_min)
                    t = dfe.tap_min;
                if (t > dfe.tap_max)
                    t = dfe.tap_max;
                tap[k] = t;
            }
    }
}

extern "C" void DeleteDFE(DFE dfe)
{
    std::free(dfe.taps);
}

extern "C" double ErrEnergy(const double *values, int count, double scale)
{
    if (count <= 0 || !values)
        return 0.0;
    double sum = 0.0;
    for (int i = 0; i < count; ++i)
        sum = sum + values[i] * values[i];
    return sum / scale / scale;
}
