// The frequency grid has step 1 / (L x dt) for an FFT of L points, L a
// power of two at least twice the kept length, so that a response longer
// than the kept window wraps into the dropped half rather than onto the
// kept samples. FFTW plans are made with FFTW_ESTIMATE so that the same
// sizes always round the same way.
#include "channel/frequency_to_impulse.h"

#include "base/fft_plan.h"
#include "base/host_error.h"
#include "base/text.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>

namespace ami_host {
namespace {

constexpr double pi = std::numbers::pi;
// Above the data's highest frequency the magnitude falls to zero over this
// fraction of it: a roll-off of the data's band, whatever the sample rate.
constexpr double roll_off_width = 0.5;
// What the tail dropped from a trimmed response may hold: of its energy, and
// of its largest step (the area it still gathers).
constexpr double tail_energy = 1e-6;
constexpr double tail_area = 1e-3;

std::string hertz(double frequency)
{
    return four_digits(frequency / 1e9) + " GHz";
}

// The data in polar form, the phase unwrapped, plus the point at 0 Hz.
struct PolarData {
    std::vector<double> frequencies; // starting at 0 Hz
    std::vector<double> magnitudes;
    std::vector<double> phases;      // radians, continuous
};

std::vector<double> unwrapped_phases(const std::vector<std::complex<double>> &values)
{
    std::vector<double> phases;
    double previous = 0.0;
    for (size_t k = 0; k < values.size(); ++k) {
        double phase = std::arg(values[k]);
        if (k > 0)
            phase += 2.0 * pi * std::round((previous - phase) / (2.0 * pi));
        phases.push_back(phase);
        previous = phase;
    }
    return phases;
}

// Adds the point at 0 Hz: its phase is the multiple of pi nearest the
// phase extrapolated from the two lowest points (0 for a positive transfer,
// pi for a negative one), so the phase joins the data without a jump.
PolarData with_dc_point(const FrequencyResponse &path, const ImpulseOptions &options, ImpulseResponse &result)
{
    PolarData data;
    const auto phases = unwrapped_phases(path.transfer);
    const double f0 = path.frequencies[0], f1 = path.frequencies[1];
    const double m0 = std::abs(path.transfer[0]), m1 = std::abs(path.transfer[1]);
    const bool starts_at_dc = f0 == 0.0;
    const double phase_at_dc = starts_at_dc ? phases[0] : phases[0] - f0 * (phases[1] - phases[0]) / (f1 - f0);
    double half_turns = std::round(phase_at_dc / pi);
    double magnitude = 0.0;
    if (starts_at_dc) {
        result.assumptions.push_back("transfer at 0 Hz as measured, real part taken");
        if (std::abs(path.transfer[0].imag()) > 1e-6 * std::max(m0, 1e-12))
            result.warnings.push_back("the transfer at 0 Hz is not real (" + four_digits(path.transfer[0].imag()) +
                                      " imaginary); its real part is used");
        magnitude = std::abs(path.transfer[0].real()); // half_turns is odd exactly when the real part is negative
    } else if (options.dc_method == DcMethod::Given) {
        magnitude = std::abs(options.dc_value);
        // Same sign as given: pick the nearest multiple of pi of the right parity.
        const bool negative = options.dc_value < 0.0;
        if (options.dc_value != 0.0 && (std::fmod(std::abs(half_turns), 2.0) == 1.0) != negative)
            half_turns += phase_at_dc / pi > half_turns ? 1.0 : -1.0;
        result.assumptions.push_back("transfer at 0 Hz given: " + four_digits(options.dc_value));
    } else if (options.dc_method == DcMethod::HoldLowest) {
        magnitude = m0;
        result.assumptions.push_back("transfer at 0 Hz: the magnitude at " + hertz(f0) + " held");
    } else {
        magnitude = std::max(0.0, m0 - f0 * (m1 - m0) / (f1 - f0));
        result.assumptions.push_back("transfer at 0 Hz extrapolated linearly in magnitude and phase from " +
                                     hertz(f0) + " and " + hertz(f1));
    }
    const double phase_gap = std::abs(phase_at_dc - half_turns * pi);
    if (!starts_at_dc && options.dc_method != DcMethod::Given && phase_gap > pi / 6.0)
        result.warnings.push_back("the phase extrapolated to 0 Hz is " + four_digits(phase_gap * 180.0 / pi) +
                                  " degrees away from that of a real number: the transfer at 0 Hz is uncertain; "
                                  "give it if it is known (0 for most crosstalk)");
    result.dc_gain = std::fmod(std::abs(half_turns), 2.0) == 1.0 && magnitude > 0.0 ? -magnitude : magnitude;
    result.assumptions.push_back("gain at 0 Hz: " + four_digits(result.dc_gain));

    data.frequencies.push_back(0.0);
    data.magnitudes.push_back(magnitude);
    data.phases.push_back(half_turns * pi);
    for (size_t k = starts_at_dc ? 1 : 0; k < path.frequencies.size(); ++k) {
        data.frequencies.push_back(path.frequencies[k]);
        data.magnitudes.push_back(std::abs(path.transfer[k]));
        data.phases.push_back(phases[k]);
    }
    return data;
}

// The transfer on the FFT grid, bins 0 .. size / 2.
std::vector<std::complex<double>> uniform_spectrum(const PolarData &data, size_t size, double sample_interval,
                                                   ImpulseResponse &result)
{
    const double step = 1.0 / (static_cast<double>(size) * sample_interval);
    const double nyquist = 0.5 / sample_interval;
    const size_t last = data.frequencies.size() - 1;
    const double top = data.frequencies[last];
    // The phase's slope over the upper half of the band carries on above it.
    const size_t middle = last / 2;
    const double slope = (data.phases[last] - data.phases[middle]) / (top - data.frequencies[middle]);
    const double roll_off_end = top * (1.0 + roll_off_width);
    if (top < nyquist)
        result.assumptions.push_back("above the data's highest frequency " + hertz(top) +
                                     ", the magnitude rolled off to zero at " + hertz(roll_off_end) +
                                     " with a raised cosine" +
                                     (roll_off_end > nyquist ? ", cut at the Nyquist frequency " + hertz(nyquist)
                                                             : std::string()));
    else
        result.assumptions.push_back("data above the Nyquist frequency " + hertz(nyquist) + " not used");

    std::vector<std::complex<double>> spectrum(size / 2 + 1);
    size_t k = 0;
    for (size_t bin = 0; bin < spectrum.size(); ++bin) {
        const double f = static_cast<double>(bin) * step;
        double magnitude = 0.0, phase = 0.0;
        if (f >= top) {
            const double fraction = (f - top) / (roll_off_end - top);
            magnitude = data.magnitudes[last] * 0.5 * (1.0 + std::cos(pi * std::min(fraction, 1.0)));
            phase = data.phases[last] + slope * (f - top);
        } else {
            while (data.frequencies[k + 1] <= f)
                ++k;
            const double t = (f - data.frequencies[k]) / (data.frequencies[k + 1] - data.frequencies[k]);
            magnitude = data.magnitudes[k] + t * (data.magnitudes[k + 1] - data.magnitudes[k]);
            phase = data.phases[k] + t * (data.phases[k + 1] - data.phases[k]);
        }
        spectrum[bin] = std::polar(magnitude, phase);
    }
    return spectrum;
}


void check_passivity(const FrequencyResponse &path, ImpulseResponse &result)
{
    constexpr double tolerance = 1e-6;
    size_t gains = 0, powers = 0, worst_gain = 0, worst_power = 0;
    for (size_t k = 0; k < path.frequencies.size(); ++k) {
        const double gain = std::abs(path.transfer[k]);
        if (gain > 1.0 + tolerance) {
            ++gains;
            if (gain >= std::abs(path.transfer[worst_gain]))
                worst_gain = k;
        }
        if (k < path.power_out.size() && path.power_out[k] > 1.0 + tolerance) {
            ++powers;
            if (path.power_out[k] >= path.power_out[worst_power])
                worst_power = k;
        }
    }
    if (gains)
        result.warnings.push_back("not passive: |transfer| > 1 at " + std::to_string(gains) +
                                  " frequencies, up to " + four_digits(std::abs(path.transfer[worst_gain])) + " at " +
                                  hertz(path.frequencies[worst_gain]));
    if (powers)
        result.warnings.push_back("not passive: the power leaving the ports exceeds the power sent at " +
                                  std::to_string(powers) + " frequencies, up to " +
                                  four_digits(path.power_out[worst_power]) + " at " +
                                  hertz(path.frequencies[worst_power]));
}

void check_frequency_coverage(const FrequencyResponse &path, const ImpulseOptions &options,
                              ImpulseResponse &result)
{
    const double window = static_cast<double>(result.impulse.size()) * options.sample_interval;
    // A sweep that starts one step above 0 Hz leaves no wider gap there than
    // between its points; one that starts well above that misses the range
    // that the response's slow settling over the kept window depends on.
    const double f0 = path.frequencies[0];
    if (f0 > 2.0 * (path.frequencies[1] - f0) && f0 > 0.5 / window)
        result.warnings.push_back("missing low frequencies: the data start at " + hertz(f0) + ", above 1/(2 x " +
                                  four_digits(window * 1e9) + " ns) and twice their first step");
    double widest = 0.0, turn = 0.0;
    for (size_t k = 1; k < path.frequencies.size(); ++k) {
        widest = std::max(widest, path.frequencies[k] - path.frequencies[k - 1]);
        turn = std::max(turn, std::abs(std::arg(path.transfer[k] / path.transfer[k - 1])));
    }
    if (turn > 0.5 * pi)
        result.warnings.push_back("frequency step too coarse: the phase turns by up to " +
                                  four_digits(turn * 180.0 / pi) + " degrees between points, so the delay may be "
                                  "mistaken by a multiple of 1/step");
    // Where 99.9 % of the kept response's energy has arrived.
    double total = 0.0;
    for (double value : result.impulse)
        total += value * value;
    double running = 0.0;
    size_t extent = 0;
    while (extent < result.impulse.size() && running < 0.999 * total) {
        running += result.impulse[extent] * result.impulse[extent];
        ++extent;
    }
    const double duration = static_cast<double>(extent) * options.sample_interval;
    if (duration > 1.0 / widest)
        result.warnings.push_back("frequency step too coarse: steps up to " + hertz(widest) +
                                  " resolve only " + four_digits(1e9 / widest) + " ns, but the response lasts " +
                                  four_digits(duration * 1e9) + " ns");
}

// The phase's mean slope misleads when the phase turns fast where the
// magnitude is small (a resonance or a weak late path near the top of the
// band): the response then peaks well ahead of that delay. The peak, being
// the response itself, is taken instead.
void check_delay_against_peak(const std::vector<double> &samples, double sample_interval, double margin,
                              ImpulseResponse &result)
{
    size_t peak = 0;
    for (size_t n = 1; n < samples.size() / 2; ++n)
        if (std::abs(samples[n]) > std::abs(samples[peak]))
            peak = n;
    const double peak_time = static_cast<double>(peak) * sample_interval;
    if (peak_time >= result.main_delay - margin)
        return;
    result.warnings.push_back("the phase's mean slope gives a delay of " + four_digits(result.main_delay * 1e9) +
                              " ns, but the response peaks at " + four_digits(peak_time * 1e9) +
                              " ns: the peak's time is taken as the main delay");
    result.main_delay = peak_time;
}

// Drops what came before time 0 and after the kept length, measuring the
// energy that arrived too early. A response that starts at once (no delay,
// or near-end crosstalk) has the band limit's smoothing of its first edge
// partly before time 0, within a few periods of the highest frequency: that
// part is folded into the first sample rather than lost, and only what comes
// earlier counts as non-causal. A delayed response should show nothing
// before its main delay less that margin.
void keep_causal_part(const std::vector<double> &samples, const FrequencyResponse &path,
                      const ImpulseOptions &options, double top, ImpulseResponse &result)
{
    const size_t size = samples.size();
    const double dt = options.sample_interval;
    const double margin = 5.0 / top;
    if (options.check_precursor)
        check_delay_against_peak(samples, dt, margin, result);
    const bool starts_at_once = !options.check_precursor || result.main_delay < margin;
    const double early_limit = starts_at_once ? -margin : result.main_delay - margin;
    double total = 0.0, early = 0.0;
    for (size_t n = 0; n < size; ++n) {
        const double time = n < size / 2 ? static_cast<double>(n) * dt : -static_cast<double>(size - n) * dt;
        const double energy = samples[n] * samples[n];
        total += energy;
        if (time < early_limit)
            early += energy;
    }
    result.noncausal_fraction = total > 0.0 ? early / total : 0.0;
    if (result.noncausal_fraction > 0.01)
        result.warnings.push_back("non-causal: " + four_digits(100.0 * result.noncausal_fraction) +
                                  " % of the energy arrives " +
                                  (starts_at_once ? std::string("before time 0")
                                                  : "ahead of the main delay " + four_digits(result.main_delay * 1e9) + " ns") +
                                  " (" + path.description + ")");
    if (result.main_delay > static_cast<double>(options.length) * dt)
        result.warnings.push_back("the main delay " + four_digits(result.main_delay * 1e9) +
                                  " ns is longer than the response kept");
    result.impulse.assign(samples.begin(), samples.begin() + static_cast<std::ptrdiff_t>(options.length));
    if (starts_at_once) {
        // The smaller taken as doubles: data that end far below 1 Hz give a
        // margin of more samples than a size_t holds.
        const size_t edge = static_cast<size_t>(std::min(std::ceil(margin / dt), static_cast<double>(size / 2)));
        for (size_t n = size - edge; n < size; ++n)
            result.impulse[0] += samples[n];
    }
}

// Shortens the response to what it needs: up to where all but `tail_energy`
// of its energy has arrived and its step response stays within `tail_area`
// of its final value, so that a fine frequency step, which allows a long
// window, does not make a long channel of a short response.
void trim_decayed_tail(ImpulseResponse &result, double sample_interval)
{
    const std::vector<double> &h = result.impulse;
    double total = 0.0, area = 0.0, largest_step = 0.0;
    for (double value : h) {
        total += value * value;
        area += value;
        largest_step = std::max(largest_step, std::abs(area));
    }
    // Walking back from the end: the tail's energy and area beyond sample n.
    size_t keep = h.size();
    double tail = 0.0, tail_sum = 0.0;
    while (keep > 2) {
        tail += h[keep - 1] * h[keep - 1];
        tail_sum += h[keep - 1];
        if (tail > tail_energy * total || std::abs(tail_sum) > tail_area * largest_step)
            break;
        --keep;
    }
    const size_t computed = h.size();
    const double window = static_cast<double>(computed) * sample_interval;
    result.impulse.resize(keep);
    result.assumptions.push_back("response kept for " + four_digits(static_cast<double>(keep) * sample_interval * 1e9) +
                                 " ns of the " + four_digits(window * 1e9) + " ns computed: until all but " +
                                 four_digits(tail_energy) + " of its energy has arrived and its step stays within " +
                                 four_digits(100.0 * tail_area) + " % of its final value");
    if (keep == computed)
        result.warnings.push_back("the response has not died away within the " + four_digits(window * 1e9) +
                                  " ns computed: it is cut there");
}

// Restores the area to the gain at 0 Hz. What is still missing is the
// response's tail, after the kept length or wrapped around to before time 0 by the
// frequency grid's finite step, so it is spread evenly over the kept
// samples: each cursor moves by as little as possible and the settled level
// is the gain at 0 Hz.
void keep_dc_gain(ImpulseResponse &result)
{
    double area = 0.0, largest_step = 0.0;
    for (double value : result.impulse) {
        area += value;
        largest_step = std::max(largest_step, std::abs(area));
    }
    const double lost = result.dc_gain - area;
    const double offset = lost / static_cast<double>(result.impulse.size());
    for (double &value : result.impulse)
        value += offset;
    result.assumptions.push_back("area outside the kept response restored evenly: " + four_digits(lost));
    // Judged against the larger of the gain and the step response's peak, so
    // that a path without gain at 0 Hz (crosstalk) is judged by its own size.
    const double scale = std::max(std::abs(result.dc_gain), largest_step);
    if (std::abs(lost) > 0.01 * scale)
        result.warnings.push_back("the response kept settles at " + four_digits(area) + " instead of the gain at 0 Hz " +
                                  four_digits(result.dc_gain) + " (" + four_digits(100.0 * std::abs(lost) / scale) +
                                  " % of its largest step); is the response longer than the length kept?");
}

} // namespace

ImpulseResponse impulse_response(const FrequencyResponse &path, const ImpulseOptions &options)
{
    if (path.frequencies.size() < 2 || path.transfer.size() != path.frequencies.size())
        throw Error(path.description + ": at least two frequencies are needed");
    constexpr size_t longest = size_t{1} << 25;
    if (!(options.sample_interval > 0.0) || options.length < 2 || options.length > longest)
        throw Error("the sample interval must be positive and the response from 2 to " + std::to_string(longest) +
                    " samples long");
    if (options.dc_method == DcMethod::Given && !std::isfinite(options.dc_value))
        throw Error("the transfer at 0 Hz must be a finite number");
    ImpulseResponse result;
    check_passivity(path, result);
    const PolarData data = with_dc_point(path, options, result);
    const double nyquist = 0.5 / options.sample_interval;
    const double top = std::min(data.frequencies.back(), nyquist);
    // The mean slope of the measured phase, the DC point left out: its phase
    // is a choice between multiples of pi.
    const size_t first = data.frequencies.size() - path.frequencies.size();
    result.main_delay = (data.phases[first] - data.phases.back()) /
                        (2.0 * pi * (data.frequencies.back() - data.frequencies[first]));

    result.assumptions.push_back("main delay " + four_digits(result.main_delay * 1e9) + " ns (the phase's mean slope)");
    size_t size = 64;
    while (size < 2 * options.length)
        size *= 2;
    const auto spectrum = uniform_spectrum(data, size, options.sample_interval, result);
    const auto samples = inverse_fft(spectrum, size);
    keep_causal_part(samples, path, options, top, result);
    if (options.trim_tail)
        trim_decayed_tail(result, options.sample_interval);
    keep_dc_gain(result);
    for (double &value : result.impulse)
        value /= options.sample_interval; // from weights per sample to V/s
    check_frequency_coverage(path, options, result);
    return result;
}

std::vector<std::complex<double>> sampled_transfer(const std::vector<double> &impulse, double sample_interval,
                                                   const std::vector<double> &frequencies, double delay)
{
    std::vector<std::complex<double>> transfer;
    for (double f : frequencies) {
        // The sum in blocks, each block's first rotation computed afresh so
        // that the running product's rounding does not build up.
        constexpr size_t block = 256;
        const std::complex<double> step = std::polar(1.0, -2.0 * pi * f * sample_interval);
        std::complex<double> sum = 0.0;
        for (size_t start = 0; start < impulse.size(); start += block) {
            std::complex<double> rotation = std::polar(1.0, -2.0 * pi * f * sample_interval * static_cast<double>(start));
            for (size_t n = start; n < std::min(start + block, impulse.size()); ++n) {
                sum += impulse[n] * rotation;
                rotation *= step;
            }
        }
        transfer.push_back(sum * sample_interval * std::polar(1.0, -2.0 * pi * f * delay));
    }
    return transfer;
}

std::vector<double> inverse_fft(const std::vector<std::complex<double>> &spectrum, size_t size)
{
    FftwArray<fftw_complex> bins(spectrum.size());
    FftwArray<double> samples(size);
    const FftPlan plan = FftPlan::backward(size, bins.get(), samples.get());
    for (size_t k = 0; k < spectrum.size(); ++k) {
        bins.get()[k][0] = spectrum[k].real();
        bins.get()[k][1] = spectrum[k].imag();
    }
    plan.execute();
    std::vector<double> result(samples.get(), samples.get() + size);
    for (double &value : result)
        value /= static_cast<double>(size);
    return result;
}

} // namespace ami_host
