// The channel: synthesis of the embedded lossy line and the reader and
// resampler of impulse or step responses given as time/value pairs.
#include "channel/channel.h"

#include "base/host_error.h"
#include "channel/frequency_to_impulse.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace ami_host {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSpeedOfLight = 299792458.0;      // m/s
constexpr double kNeperPerDecibel = 0.115129254649702; // ln(10) / 20
constexpr size_t kMaxChannelSamples = size_t{1} << 22;

std::string number_text(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

// Relative permittivity of a wideband Debye dielectric: relaxation poles
// spread evenly on a logarithmic scale from 10 MHz to 1 THz give a loss
// tangent that is nearly constant over that band, with the dispersion that
// causality demands. eps(w) = eps_inf + spread * ln((w2 + jw) / (w1 + jw)) /
// ln(w2 / w1), fitted so that eps(reference) = permittivity * (1 - j loss_tangent).
struct Dielectric {
    static constexpr double w1 = 2.0 * kPi * 1e7;
    static constexpr double w2 = 2.0 * kPi * 1e12;
    double eps_inf = 1.0;
    double spread = 0.0;

    static std::complex<double> shape(double w)
    {
        return std::log(std::complex<double>(w2, w) / std::complex<double>(w1, w)) / std::log(w2 / w1);
    }

    Dielectric(double permittivity, double loss_tangent, double reference_w)
    {
        const std::complex<double> at_reference = shape(reference_w);
        spread = -permittivity * loss_tangent / at_reference.imag();
        eps_inf = permittivity - spread * at_reference.real();
    }

    std::complex<double> permittivity(double w) const { return eps_inf + spread * shape(w); }
};

void check_line(const LineParameters &line)
{
    auto require = [](bool ok, const std::string &what) {
        if (!ok)
            throw Error("line model: " + what);
    };
    require(std::isfinite(line.length) && line.length >= 0.0 && line.length <= 10.0,
            "the length must be 0 to 10 m");
    require(std::isfinite(line.permittivity) && line.permittivity >= 1.0 && line.permittivity <= 100.0,
            "the relative permittivity must be 1 to 100");
    require(std::isfinite(line.loss_tangent) && line.loss_tangent >= 0.0 && line.loss_tangent <= 0.2,
            "the loss tangent must be 0 to 0.2");
    require(std::isfinite(line.conductor_loss) && line.conductor_loss >= 0.0 && line.conductor_loss <= 1000.0,
            "the conductor loss must be 0 to 1000 dB/m");
    require(std::isfinite(line.reference_frequency) && line.reference_frequency > 0.0,
            "the reference frequency must be positive");
    require(std::isfinite(line.skin_onset) && line.skin_onset > 0.0 && line.skin_onset < line.reference_frequency,
            "the skin-effect onset must be positive and below the reference frequency");
}

// Drops the samples after the last one above `relative` times the peak.
void trim_tail(std::vector<double> &impulse, double relative)
{
    double peak = 0.0;
    for (double v : impulse)
        peak = std::max(peak, std::fabs(v));
    size_t keep = impulse.size();
    while (keep > 1 && std::fabs(impulse[keep - 1]) <= relative * peak)
        --keep;
    impulse.resize(keep);
}

} // namespace

Channel embedded_channel(const LineParameters &line, double sample_interval, double bit_time)
{
    check_line(line);
    const Dielectric dielectric(line.permittivity, line.loss_tangent, 2.0 * kPi * line.reference_frequency);
    if (!(dielectric.eps_inf >= 1.0))
        throw Error("line model: the loss tangent is too large for the permittivity");
    // Conductor loss alpha_dc * sqrt(1 + jw / w_skin): the resistance at DC
    // below the skin-effect onset, resistance and internal inductance both
    // growing as sqrt(w) above it; causal, and scaled to the given loss at
    // the reference frequency.
    const double skin_w = 2.0 * kPi * line.skin_onset;
    const double reference_w = 2.0 * kPi * line.reference_frequency;
    const double alpha_dc = line.conductor_loss * kNeperPerDecibel /
                            std::sqrt(std::complex<double>(1.0, reference_w / skin_w)).real(); // Np/m

    // The signal front travels at c / sqrt(eps_inf); that pure delay is taken
    // out, leaving one bit time of lead-in before the front.
    const double front = line.length * std::sqrt(dielectric.eps_inf) / kSpeedOfLight;
    const double shift = std::max(0.0, front - bit_time);

    // An 80 ns window after the lead-in holds the dispersed response and its
    // resistive tail; the inverse transform of so fine a frequency grid folds
    // next to nothing back.
    size_t n = 1024;
    while (static_cast<double>(n) * sample_interval < bit_time + 80e-9 && n < (size_t{1} << 24))
        n *= 2;
    std::vector<std::complex<double>> spectrum(n / 2 + 1);
    for (size_t k = 0; k < spectrum.size(); ++k) {
        const double w = 2.0 * kPi * static_cast<double>(k) / (static_cast<double>(n) * sample_interval);
        const std::complex<double> j(0.0, 1.0);
        // Propagation constant: dielectric (phase and loss) plus conductors.
        const std::complex<double> gamma = j * w * std::sqrt(dielectric.permittivity(w)) / kSpeedOfLight +
                                           alpha_dc * std::sqrt(std::complex<double>(1.0, w / skin_w));
        spectrum[k] = std::exp(-line.length * gamma + j * w * shift);
    }

    Channel channel;
    channel.sample_interval = sample_interval;
    channel.source = "embedded";
    channel.delay_removed = shift;
    // The discrete response, in volts per second.
    channel.impulse = inverse_fft(spectrum, n);
    for (double &value : channel.impulse)
        value /= sample_interval;
    trim_tail(channel.impulse, 1e-6);
    channel.description = "embedded lossy line: " + number_text(line.length) + " m, er " +
                          number_text(line.permittivity) + ", tan d " + number_text(line.loss_tangent) + ", " +
                          number_text(line.conductor_loss) + " dB/m conductor loss at " +
                          number_text(line.reference_frequency / 1e9) + " GHz";
    return channel;
}

namespace {

// At most `limit` printable characters of `text`, for quoting a line that may
// hold anything (a binary file read as text, say).
std::string printable_excerpt(const std::string &text, size_t limit = 24)
{
    std::string out;
    for (char c : text) {
        if (out.size() >= limit)
            return out + "...";
        out += c >= 0x20 && c < 0x7f ? c : '?';
    }
    return out;
}

struct Pairs {
    std::vector<double> times, values;
};

// Parses one "time value" line into `pairs`; blank and comment lines add nothing.
void read_pair(std::string line, const std::string &where, Pairs &pairs)
{
    line = line.substr(0, line.find('#'));
    std::replace(line.begin(), line.end(), ',', ' ');
    const size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return;
    std::istringstream fields(line);
    std::string a, b, extra;
    fields >> a >> b >> extra;
    char *end_a = nullptr, *end_b = nullptr;
    const double t = std::strtod(a.c_str(), &end_a);
    const double v = std::strtod(b.c_str(), &end_b);
    if (b.empty() || !extra.empty() || *end_a != '\0' || *end_b != '\0')
        throw Error(where + "expected two numbers (time and value), found '" + printable_excerpt(line.substr(first)) +
                    "'");
    if (!std::isfinite(t) || !std::isfinite(v))
        throw Error(where + "the time and the value must be finite numbers");
    if (!pairs.times.empty() && !(t > pairs.times.back()))
        throw Error(where + "time " + a + " does not come after the previous time " + number_text(pairs.times.back()));
    pairs.times.push_back(t);
    pairs.values.push_back(v);
}

Pairs read_pairs(const std::string &path)
{
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored))
        throw Error("cannot read the channel file '" + path + "': it is a directory");
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw Error("cannot read the channel file '" + path + "': no such file or not readable");
    Pairs pairs;
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (line.find('\0') != std::string::npos)
            throw Error(path + ":" + std::to_string(number) + ": not a text file of time/value pairs");
        read_pair(line, path + ":" + std::to_string(number) + ": ", pairs);
    }
    if (pairs.times.size() < 2)
        throw Error("the channel file '" + path + "' holds fewer than two time/value pairs");
    return pairs;
}

// The step response at each given time, relative to the level before the
// first. A step file gives it directly. An impulse file's samples each carry
// the area of the span they stand for (half the gaps to their neighbours,
// the whole gap at either end), reached at the sample's own time; so a file
// on the simulation's own grid comes through sample for sample, and its
// area, the gain at DC, is kept wherever the energy sits.
std::vector<double> step_levels(const Pairs &pairs, ResponseKind kind)
{
    const std::vector<double> &t = pairs.times;
    const std::vector<double> &v = pairs.values;
    const size_t n = t.size();
    std::vector<double> step(n);
    double sum = 0.0;
    for (size_t i = 0; i < n; ++i) {
        if (kind == ResponseKind::Step) {
            step[i] = v[i] - v[0];
            continue;
        }
        const double span = i == 0 ? t[1] - t[0] : i + 1 == n ? t[i] - t[i - 1] : 0.5 * (t[i + 1] - t[i - 1]);
        sum += v[i] * span;
        step[i] = sum;
    }
    return step;
}

} // namespace

Channel channel_from_file(const std::string &path, ResponseKind kind, double sample_interval)
{
    const Pairs pairs = read_pairs(path);
    const std::vector<double> &times = pairs.times;
    const double span = times.back() - times.front();
    if (span / sample_interval >= static_cast<double>(kMaxChannelSamples))
        throw Error("the channel file '" + path + "' spans " + number_text(span) + " s, more than " +
                    std::to_string(kMaxChannelSamples) + " sample intervals");
    const std::vector<double> step = step_levels(pairs, kind);

    // Grid points from the first time on, the last at or past the last time
    // (a response shorter than one sample interval still gets one step).
    const size_t count = static_cast<size_t>(std::ceil(span / sample_interval * (1.0 - 1e-12))) + 1;
    Channel channel;
    channel.sample_interval = sample_interval;
    channel.source = path;
    channel.description = std::string(kind == ResponseKind::Step ? "step" : "impulse") + " response from " + path +
                          " (" + std::to_string(times.size()) + " points over " + number_text(span) + " s)";
    channel.impulse.resize(count);
    double previous = 0.0;
    size_t segment = 0;
    for (size_t n = 0; n < count; ++n) {
        const double t = times.front() + static_cast<double>(n) * sample_interval;
        while (segment + 2 < times.size() && times[segment + 1] < t)
            ++segment;
        const double fraction = std::clamp((t - times[segment]) / (times[segment + 1] - times[segment]), 0.0, 1.0);
        const double s = step[segment] + fraction * (step[segment + 1] - step[segment]);
        channel.impulse[n] = (s - previous) / sample_interval;
        previous = s;
    }
    if (std::all_of(channel.impulse.begin(), channel.impulse.end(), [](double v) { return v == 0.0; }))
        throw Error("the channel file '" + path + "' describes a response that is zero everywhere: nothing would "
                    "reach the receiver");
    return channel;
}

double transfer_db(const std::vector<double> &impulse, double sample_interval, double frequency)
{
    std::complex<double> sum = 0.0;
    for (size_t n = 0; n < impulse.size(); ++n) {
        const double phase = -2.0 * kPi * frequency * sample_interval * static_cast<double>(n);
        sum += impulse[n] * sample_interval * std::complex<double>(std::cos(phase), std::sin(phase));
    }
    return 20.0 * std::log10(std::abs(sum));
}

} // namespace ami_host
