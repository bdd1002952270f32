// Eye and signal metrics of pulse responses and of waveforms sampled on a
// recovered clock.
#include "statistical/worst_case_eye.h"

#include "base/linear_interpolation.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

namespace ami_host {

namespace {

// Where a linearly interpolated curve crosses zero between a (> 0) at xa and b (<= 0) at xb.
double crossing(double xa, double a, double xb, double b) { return xa + (xb - xa) * a / (a - b); }

// The middle of the span around `cursor` where the pulse stays above half
// its value there.
double main_lobe_middle(const std::vector<double> &pulse, size_t cursor)
{
    const double half = 0.5 * std::fabs(pulse[cursor]);
    size_t first = cursor, last = cursor;
    while (first > 0 && std::fabs(pulse[first - 1]) >= half)
        --first;
    while (last + 1 < pulse.size() && std::fabs(pulse[last + 1]) >= half)
        ++last;
    return 0.5 * static_cast<double>(first + last);
}

} // namespace

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
        m.sampling_position = cursor + 0.5 * (left + right);
    } else {
        m.sampling_position = main_lobe_middle(pulse, m.cursor_index);
    }
    return m;
}

} // namespace ami_host
