// Eye and signal metrics of pulse responses and of waveforms sampled on a
// recovered clock.
#include "eye.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace ami_host {

namespace {

// Linear interpolation at fractional sample `x`; 0 outside the samples.
double sample_at(const std::vector<double> &samples, double x)
{
    if (!(x >= 0.0) || x > static_cast<double>(samples.size() - 1))
        return 0.0;
    const size_t i = static_cast<size_t>(x);
    if (i + 1 >= samples.size())
        return samples[i];
    const double f = x - static_cast<double>(i);
    return samples[i] + f * (samples[i + 1] - samples[i]);
}

// Where a linearly interpolated curve crosses zero between a (> 0) at xa and b (<= 0) at xb.
double crossing(double xa, double a, double xb, double b) { return xa + (xb - xa) * a / (a - b); }

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const size_t mid = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<long>(mid), values.end());
    return values[mid];
}

// Where the eye closes on each side of `center` (an index into `height`),
// as offsets in grid steps; the edges of the grid when it stays open.
void eye_edges(const std::vector<double> &height, size_t center, double &left, double &right)
{
    left = -static_cast<double>(center);
    for (size_t j = center; j > 0; --j) {
        if (height[j - 1] <= 0.0) {
            left = crossing(static_cast<double>(j), height[j], static_cast<double>(j - 1), height[j - 1]) -
                   static_cast<double>(center);
            break;
        }
    }
    right = static_cast<double>(height.size() - 1 - center);
    for (size_t j = center; j + 1 < height.size(); ++j) {
        if (height[j + 1] <= 0.0) {
            right = crossing(static_cast<double>(j), height[j], static_cast<double>(j + 1), height[j + 1]) -
                    static_cast<double>(center);
            break;
        }
    }
}

// The waveform that `pulse` (for a 1 V bit starting at sample 0) gives for
// `bits` sent as -0.5/+0.5 V, at fractional sample `x`.
double superposed(const std::vector<double> &pulse, const std::vector<uint8_t> &bits, int samples_per_bit, double x)
{
    const double bit = samples_per_bit;
    const long last = std::min(static_cast<long>(bits.size()) - 1, static_cast<long>(std::floor(x / bit)));
    double v = 0.0;
    for (long i = last; i >= 0; --i) {
        const double at = x - static_cast<double>(i) * bit;
        if (at > static_cast<double>(pulse.size() - 1))
            break;
        v += (bits[static_cast<size_t>(i)] ? 0.5 : -0.5) * sample_at(pulse, at);
    }
    return v;
}

constexpr int kGridPerBit = 64; // eye phases per bit time
constexpr int kDensityLevels = 128;

} // namespace

std::vector<double> pulse_response(const std::vector<double> &impulse, int samples_per_bit, double sample_interval)
{
    std::vector<double> pulse(impulse.size());
    double sum = 0.0;
    const size_t width = static_cast<size_t>(samples_per_bit);
    for (size_t i = 0; i < impulse.size(); ++i) {
        sum += impulse[i];
        if (i >= width)
            sum -= impulse[i - width];
        pulse[i] = sample_interval * sum;
    }
    return pulse;
}

double opening_at(const std::vector<double> &pulse, double position, int samples_per_bit, double sign)
{
    const double bit = static_cast<double>(samples_per_bit);
    double isi = 0.0;
    for (double x = position - bit; x > -bit; x -= bit)
        isi += std::fabs(sample_at(pulse, x));
    for (double x = position + bit; x < static_cast<double>(pulse.size()); x += bit)
        isi += std::fabs(sample_at(pulse, x));
    return sign * sample_at(pulse, position) - isi;
}

PulseMetrics analyse_pulse(const std::vector<double> &pulse, int samples_per_bit, double sample_interval)
{
    PulseMetrics m;
    if (pulse.empty())
        return m;
    for (size_t i = 1; i < pulse.size(); ++i)
        if (std::fabs(pulse[i]) > std::fabs(pulse[m.cursor_index]))
            m.cursor_index = i;
    m.cursor_time = static_cast<double>(m.cursor_index) * sample_interval;
    m.main_cursor = pulse[m.cursor_index];
    const double sign = m.main_cursor < 0.0 ? -1.0 : 1.0;
    const double cursor = static_cast<double>(m.cursor_index);
    m.eye_height = opening_at(pulse, cursor, samples_per_bit, sign);
    m.isi = std::fabs(m.main_cursor) - m.eye_height;
    m.peak = std::fabs(m.main_cursor) + m.isi;

    // Openings one sample apart within a bit on either side of the cursor.
    std::vector<double> height(2 * static_cast<size_t>(samples_per_bit) + 1);
    for (size_t j = 0; j < height.size(); ++j)
        height[j] = opening_at(pulse, cursor + static_cast<double>(j) - samples_per_bit, samples_per_bit, sign);
    if (m.eye_height > 0.0) {
        double left = 0.0, right = 0.0;
        eye_edges(height, static_cast<size_t>(samples_per_bit), left, right);
        m.eye_width = (right - left) * sample_interval;
    }
    return m;
}

std::vector<double> ideal_clock_times(size_t samples, int samples_per_bit, double sample_interval,
                                      size_t cursor_index)
{
    std::vector<double> times;
    const double bit_time = samples_per_bit * sample_interval;
    for (size_t at = cursor_index; at < samples; at += static_cast<size_t>(samples_per_bit))
        times.push_back(static_cast<double>(at) * sample_interval - 0.5 * bit_time);
    return times;
}

WaveformResult analyse_waveform(const WaveformInputs &in)
{
    assert(in.wave && in.clock_times && in.bits && in.samples_per_bit > 0 && in.sample_interval > 0.0);
    const std::vector<double> &wave = *in.wave;
    const std::vector<uint8_t> &bits = *in.bits;
    const double dt = in.sample_interval;
    const double ui = in.samples_per_bit * dt;
    WaveformResult r;

    // Sampling instants whose window of one bit either side lies inside the
    // waveform.
    const double last = static_cast<double>(wave.size()) - 1.0;
    for (double edge : *in.clock_times) {
        const double t = edge + 0.5 * ui;
        if (t - ui >= 0.0 && (t + ui) / dt <= last)
            r.clock_time.push_back(t);
    }
    r.clocks = r.clock_time.size();
    if (r.clocks == 0)
        return r;

    // Phase of each sampling instant within the bit, unwrapped.
    r.phase.resize(r.clocks);
    for (size_t k = 0; k < r.clocks; ++k) {
        const double raw = r.clock_time[k] / ui - std::floor(r.clock_time[k] / ui);
        r.phase[k] = k == 0 ? raw : raw + std::round(r.phase[k - 1] - raw);
    }
    r.final_phase = median(std::vector<double>(r.phase.end() - static_cast<long>((r.clocks + 3) / 4), r.phase.end()));
    if (in.clock_from_model) {
        size_t k = r.clocks;
        while (k > 0 && std::fabs(r.phase[k - 1] - r.final_phase) <= in.settle_tolerance)
            --k;
        r.settle_clock = k;
        r.settled = k < r.clocks && 4 * k <= 3 * r.clocks;
    } else {
        r.settle_clock = 0;
        r.settled = true;
    }
    // Phase wander after settling (over the whole run when it never settled).
    const size_t from = r.settled ? r.settle_clock : 0;
    const auto [lo, hi] = std::minmax_element(r.phase.begin() + static_cast<long>(from), r.phase.end());
    r.phase_spread = *hi - *lo;
    if (r.settled && in.clock_from_model)
        r.settle_time = r.clock_time[r.settle_clock];

    // Counted clocks: after settling (or from the start when the clock never
    // settles) and past the ignored bits.
    size_t first = r.settled ? r.settle_clock : 0;
    while (first < r.clocks && r.clock_time[first] < static_cast<double>(in.ignore_bits) * ui)
        ++first;
    if (first >= r.clocks)
        return r;
    r.first_counted_time = r.clock_time[first];

    // The bit slot of each sampling instant: the bit whose nominal sampling
    // instant (at the final phase) lies nearest; and the decision there.
    std::vector<long> slot(r.clocks);
    std::vector<uint8_t> decision(r.clocks);
    for (size_t k = first; k < r.clocks; ++k) {
        slot[k] = std::lround(r.clock_time[k] / ui - r.final_phase);
        decision[k] = sample_at(wave, r.clock_time[k] / dt) > 0.0 ? 1 : 0;
    }

    // Latency: the shift between received slots and sent bits at which the
    // most decisions agree, judged on up to 4000 counted clocks.
    const size_t judged = std::min(r.clocks, first + 4000);
    long best_matches = -1, best_compared = 0;
    for (long latency = 0; latency <= in.max_latency; ++latency) {
        long matches = 0, compared = 0;
        for (size_t k = first; k < judged; ++k) {
            const long sent = slot[k] - latency;
            if (sent >= 0 && sent < static_cast<long>(bits.size())) {
                ++compared;
                matches += decision[k] == bits[static_cast<size_t>(sent)];
            }
        }
        if (compared > 0 && matches > best_matches) {
            best_matches = matches;
            best_compared = compared;
            r.latency = latency;
        }
    }
    if (best_compared == 0)
        return r;
    r.latency_found = true;
    r.latency_match = static_cast<double>(best_matches) / static_cast<double>(best_compared);

    // Errors, slips and the inner eye over the counted clocks.
    const int grid = kGridPerBit;
    r.offset.resize(grid + 1);
    r.lowest_one.assign(grid + 1, std::numeric_limits<double>::infinity());
    r.highest_zero.assign(grid + 1, -std::numeric_limits<double>::infinity());
    for (int j = 0; j <= grid; ++j)
        r.offset[j] = static_cast<double>(j) / grid - 0.5;
    double low = std::numeric_limits<double>::infinity(), high = -low;
    double linear_one = low, linear_zero = high;
    bool ones = false, zeros = false;
    std::vector<size_t> counted;
    for (size_t k = first; k < r.clocks; ++k) {
        if (k > first && slot[k] != slot[k - 1] + 1)
            ++r.clock_slips;
        const long sent = slot[k] - r.latency;
        if (sent < 0 || sent >= static_cast<long>(bits.size()))
            continue;
        counted.push_back(k);
        const bool one = bits[static_cast<size_t>(sent)] != 0;
        ++r.bits_counted;
        r.bit_errors += decision[k] != (one ? 1 : 0);
        ones = ones || one;
        zeros = zeros || !one;
        if (in.pulse != nullptr) {
            const double v = superposed(*in.pulse, bits, in.samples_per_bit, r.clock_time[k] / dt);
            if (one)
                linear_one = std::min(linear_one, v);
            else
                linear_zero = std::max(linear_zero, v);
        }
        for (int j = 0; j <= grid; ++j) {
            const double v = sample_at(wave, (r.clock_time[k] + r.offset[j] * ui) / dt);
            if (one)
                r.lowest_one[j] = std::min(r.lowest_one[j], v);
            else
                r.highest_zero[j] = std::max(r.highest_zero[j], v);
        }
        const size_t from = static_cast<size_t>((r.clock_time[k] - ui) / dt);
        const size_t to = std::min(wave.size() - 1, static_cast<size_t>((r.clock_time[k] + ui) / dt) + 1);
        const auto [lo, hi] = std::minmax_element(wave.begin() + static_cast<long>(from),
                                                  wave.begin() + static_cast<long>(to) + 1);
        low = std::min(low, *lo);
        high = std::max(high, *hi);
    }
    r.eye_valid = ones && zeros;
    r.linear_eye_valid = r.eye_valid && in.pulse != nullptr;
    if (r.linear_eye_valid)
        r.linear_eye_height = linear_one - linear_zero;
    if (r.eye_valid) {
        std::vector<double> height(grid + 1);
        for (int j = 0; j <= grid; ++j)
            height[j] = r.lowest_one[j] - r.highest_zero[j];
        r.eye_height = height[grid / 2];
        if (r.eye_height > 0.0) {
            eye_edges(height, grid / 2, r.eye_left, r.eye_right);
            r.eye_left /= grid;
            r.eye_right /= grid;
            r.eye_width = r.eye_right - r.eye_left;
        }
    }

    // Density of the folded eye, two bits wide.
    if (!counted.empty()) {
        const double margin = 0.05 * std::max(high - low, 1e-12);
        r.density_times = 2 * grid;
        r.density_levels = kDensityLevels;
        r.density_low = low - margin;
        r.density_high = high + margin;
        r.density.assign(static_cast<size_t>(r.density_times) * r.density_levels, 0);
        const double scale = r.density_levels / (r.density_high - r.density_low);
        for (size_t k : counted) {
            for (int j = 0; j < r.density_times; ++j) {
                const double offset = (j + 0.5) / grid - 1.0;
                const double v = sample_at(wave, (r.clock_time[k] + offset * ui) / dt);
                const int level = std::clamp(static_cast<int>((v - r.density_low) * scale), 0, r.density_levels - 1);
                ++r.density[static_cast<size_t>(level) * r.density_times + j];
            }
        }
    }
    return r;
}

} // namespace ami_host
