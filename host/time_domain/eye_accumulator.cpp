// The inner eye is the middle 65 of the density's 129 columns: phases
// -0.5 to 0.5 UI about the sampling instant.
#include "time_domain/eye_accumulator.h"

#include "statistical/worst_case_eye.h"
#include "time_domain/eye_columns.h"

#include <algorithm>

namespace ami_host {

namespace {

constexpr int kGridPerBit = 64; // eye phases per bit time
constexpr int kDensityLevels = 128;

} // namespace

EyeAccumulator::EyeAccumulator(int samples_per_bit, double sample_interval, double bit_time, bool reference)
    : samples_per_bit_(samples_per_bit), dt_(sample_interval), ui_(bit_time), reference_(reference),
      traces_(2 * kGridPerBit + 1)
{
    eye_.offset.resize(kGridPerBit + 1);
    for (int j = 0; j <= kGridPerBit; ++j)
        eye_.offset[static_cast<size_t>(j)] = static_cast<double>(j) / kGridPerBit - 0.5;
    eye_.lowest_one.assign(kGridPerBit + 1, std::numeric_limits<double>::infinity());
    eye_.highest_zero.assign(kGridPerBit + 1, -std::numeric_limits<double>::infinity());
}

void EyeAccumulator::set_density_range(const std::vector<ClockDecision> &judged, const SampleWindow &wave)
{
    double low = std::numeric_limits<double>::infinity(), high = -low;
    for (const ClockDecision &d : judged) {
        const auto [lo, hi] = wave.extremes(static_cast<long long>((d.time - ui_) / dt_),
                                            static_cast<long long>((d.time + ui_) / dt_) + 1);
        low = std::min(low, lo);
        high = std::max(high, hi);
    }
    const double margin = 0.1 * std::max(high - low, 1e-12);
    density_.times = 2 * kGridPerBit;
    density_.levels = kDensityLevels;
    density_.low = low - margin;
    density_.high = high + margin;
    density_.counts.assign(static_cast<size_t>(density_.times) * density_.levels, 0);
    density_scale_ = density_.levels / (density_.high - density_.low);
}

void EyeAccumulator::add(double t, bool one, const SampleWindow &wave, const SampleWindow &reference)
{
    ones_ = ones_ || one;
    zeros_ = zeros_ || !one;
    if (reference_)
        add_linear(t, one, reference);
    const double step = samples_per_bit_ / static_cast<double>(kGridPerBit);
    wave.interpolate(t / dt_ - samples_per_bit_, step, traces_.size(), traces_.data());
    const double *inner = traces_.data() + kGridPerBit / 2;
    if (one) {
        for (size_t j = 0; j <= kGridPerBit; ++j)
            eye_.lowest_one[j] = std::min(eye_.lowest_one[j], inner[j]);
    } else {
        for (size_t j = 0; j <= kGridPerBit; ++j)
            eye_.highest_zero[j] = std::max(eye_.highest_zero[j], inner[j]);
    }
    density_.clipped += add_density_columns(traces_.data(), static_cast<size_t>(density_.times), density_.levels,
                                            density_.low, density_scale_, density_.counts.data());
}

void EyeAccumulator::add_linear(double t, bool one, const SampleWindow &reference)
{
    const double v = reference.at(t / dt_);
    if (one)
        linear_one_ = std::min(linear_one_, v);
    else
        linear_zero_ = std::max(linear_zero_, v);
}

void EyeAccumulator::close()
{
    eye_.valid = ones_ && zeros_;
    if (!eye_.valid)
        return;
    eye_.linear_valid = reference_;
    if (eye_.linear_valid)
        eye_.linear_height = linear_one_ - linear_zero_;
    const size_t centre = kGridPerBit / 2;
    eye_.top = eye_.lowest_one[centre];
    eye_.bottom = eye_.highest_zero[centre];
    eye_.height = eye_.top - eye_.bottom;
    eye_.open = eye_.bottom < 0.0 && eye_.top > 0.0;
    if (!eye_.open)
        return;
    // How far the threshold stays inside the opening either side.
    std::vector<double> margin(kGridPerBit + 1);
    for (size_t j = 0; j < margin.size(); ++j)
        margin[j] = std::min(eye_.lowest_one[j], -eye_.highest_zero[j]);
    eye_edges(margin, centre, eye_.left, eye_.right);
    eye_.left /= kGridPerBit;
    eye_.right /= kGridPerBit;
    eye_.width = eye_.right - eye_.left;
}

} // namespace ami_host
