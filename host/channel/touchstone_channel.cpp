// Touchstone channels and crosstalk paths for the host: the path chosen from
// the network, its impulse response, and the lead-in trimmed as the embedded
// line's is.
#include "channel/touchstone_channel.h"

#include "base/host_error.h"
#include "base/text.h"
#include "channel/touchstone.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <utility>

namespace ami_host {

namespace {

constexpr size_t kLongestResponse = size_t{1} << 22;
// The longest window computed, whatever the frequency step allows: far
// longer than any board's response, short enough to compute in a moment.
constexpr double kLongestWindow = 1e-6; // seconds
// What the lead-in cut may drop of the response's energy.
constexpr double kLeadInEnergy = 1e-5;

// In the unit that suits it: data may end at 20 Hz or at 50 GHz.
std::string frequency_text(double frequency)
{
    for (const auto &[scale, unit] : {std::pair{1e9, " GHz"}, std::pair{1e6, " MHz"}, std::pair{1e3, " kHz"}})
        if (frequency >= scale)
            return four_digits(frequency / scale) + unit;
    return four_digits(frequency) + " Hz";
}

std::string lower_extension(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    return lowercase(path.substr(dot + 1));
}

// The samples of the window computed: what the data's coarsest frequency
// step resolves (1/step), at most kLongestWindow; the response is then
// trimmed to what it needs.
size_t window_length(const FrequencyResponse &path, double sample_interval)
{
    double widest = 0.0;
    for (size_t k = 1; k < path.frequencies.size(); ++k)
        widest = std::max(widest, path.frequencies[k] - path.frequencies[k - 1]);
    if (!(widest > 0.0))
        throw Error(path.description + ": at least two frequencies are needed");
    const double samples = std::floor(std::min(1.0 / widest, kLongestWindow) / sample_interval);
    return static_cast<size_t>(std::clamp(samples, 2.0, static_cast<double>(kLongestResponse)));
}

ImpulseOptions impulse_options(const FrequencyResponse &path, const TouchstoneChoice &choice, double sample_interval)
{
    ImpulseOptions options;
    options.sample_interval = sample_interval;
    options.length = window_length(path, sample_interval);
    options.dc_method = choice.dc_method;
    options.dc_value = choice.dc_value;
    options.trim_tail = true;
    return options;
}

// Data that end below the link's Nyquist frequency leave the loss that
// matters most to the extrapolation above them; far below it they cannot
// describe the link at all, and a channel made of them would mislead.
void check_band(const FrequencyResponse &path, const std::string &file, double bit_time,
                std::vector<std::string> &warnings)
{
    const double nyquist = 0.5 / bit_time, top = path.frequencies.back();
    const std::string span = file + ": the data span " + frequency_text(path.frequencies.front()) + " to " +
                             frequency_text(top) + ", ";
    const std::string link = "the link's Nyquist frequency " + frequency_text(nyquist) + " (half the bit rate)";
    if (top < 0.5 * nyquist)
        throw Error(span + "far below " + link + ": they cannot describe the link");
    if (top < nyquist)
        warnings.push_back(span + "below " + link + ": the response above " + frequency_text(top) + " is extrapolated");
}

// `numbering_hint` is numbering_check's word, if any: the likely cause.
void refuse_zero_path(const FrequencyResponse &path, const std::string &numbering_hint)
{
    if (std::all_of(path.transfer.begin(), path.transfer.end(), [](auto value) { return value == 0.0; }))
        throw Error(path.description + " is zero at every frequency: nothing would reach the receiver" +
                    (numbering_hint.empty() ? "" : "; " + numbering_hint));
}

// The samples ahead of the response's main delay less one bit of lead-in,
// fewer if those would hold more than kLeadInEnergy of the response's energy.
long lead_in(const ImpulseResponse &response, double sample_interval, double bit_time,
             std::vector<std::string> &notes)
{
    const std::vector<double> &h = response.impulse;
    const double from_delay = std::max(0.0, std::floor((response.main_delay - bit_time) / sample_interval));
    const size_t wanted = static_cast<size_t>(std::min(from_delay, static_cast<double>(h.size() - 1)));
    double total = 0.0;
    for (double value : h)
        total += value * value;
    double early = 0.0;
    size_t drop = 0;
    while (drop < wanted && early + h[drop] * h[drop] <= kLeadInEnergy * total) {
        early += h[drop] * h[drop];
        ++drop;
    }
    if (drop < wanted)
        notes.push_back("lead-in cut at " + four_digits(static_cast<double>(drop) * sample_interval * 1e9) +
                        " ns instead of the main delay less one bit (" +
                        four_digits(static_cast<double>(wanted) * sample_interval * 1e9) +
                        " ns), which would drop more than " + four_digits(100.0 * kLeadInEnergy) +
                        " % of the response's energy");
    return static_cast<long>(drop);
}

// Drops `count` leading samples, or puts -count zeros ahead when negative.
std::vector<double> shifted(const std::vector<double> &impulse, long count)
{
    if (count >= 0)
        return std::vector<double>(impulse.begin() + std::min<long>(count, static_cast<long>(impulse.size()) - 1),
                                   impulse.end());
    std::vector<double> out(static_cast<size_t>(-count), 0.0);
    out.insert(out.end(), impulse.begin(), impulse.end());
    return out;
}

// The file's notes, the assumptions, then the warnings (`warnings` found
// here first) marked as such.
std::vector<std::string> notes_of(const SParameters &network, const ImpulseResponse &response,
                                  const std::vector<std::string> &assumptions,
                                  const std::vector<std::string> &warnings)
{
    std::vector<std::string> notes = network.notes;
    notes.insert(notes.end(), response.assumptions.begin(), response.assumptions.end());
    notes.insert(notes.end(), assumptions.begin(), assumptions.end());
    for (const auto *list : {&warnings, &response.warnings})
        for (const std::string &w : *list)
            notes.push_back("warning: " + w);
    return notes;
}

double mean_power(const FrequencyResponse &path)
{
    double sum = 0.0;
    for (const auto &value : path.transfer)
        sum += std::norm(value);
    return sum / static_cast<double>(path.transfer.size());
}

// Lines numbered the other way make the chosen through path a crosstalk
// path: far weaker than the through path of the other numbering. Returns
// the warning, or nothing.
std::string numbering_check(const SParameters &network, const TouchstoneChoice &choice,
                            const FrequencyResponse &through)
{
    if (network.ports < 4 || choice.single_from > 0)
        return "";
    const bool adjacent = choice.numbering == PortNumbering::Adjacent;
    const FrequencyResponse other = through_path(network, adjacent ? PortNumbering::Halves : PortNumbering::Adjacent);
    const double ours = mean_power(through), theirs = mean_power(other);
    if (!(theirs > 2.0 * ours))
        return "";
    return through.description + " carries " +
           (ours > 0.0 ? four_digits(10.0 * std::log10(theirs / ours)) + " dB" : std::string("infinitely")) +
           " less power than " + other.description + ": the data suggest " +
           (adjacent ? "halves numbering (1->3, 2->4: --port-numbering halves)"
                     : "adjacent numbering (1->2, 3->4: --port-numbering adjacent)");
}

// A crosstalk path's impulse response, shifted to keep its phase within the
// bit against the victim's (whole bits of an independent pattern do not
// matter). Its phase's slope says little of when a coupling arrives, so its
// causality is judged against time 0 only.
Aggressor aggressor_from_path(const SParameters &network, const FrequencyResponse &path, CrosstalkEnd end,
                              const TouchstoneChoice &choice, double sample_interval, double bit_time,
                              size_t victim_dropped)
{
    std::vector<std::string> assumptions, warnings;
    check_band(path, network.source, bit_time, warnings);
    ImpulseOptions options = impulse_options(path, choice, sample_interval);
    options.check_precursor = false;
    const ImpulseResponse response = impulse_response(path, options);
    const long bit = std::lround(bit_time / sample_interval);
    const long victim = static_cast<long>(victim_dropped);
    const long own = end == CrosstalkEnd::Far ? lead_in(response, sample_interval, bit_time, assumptions) : 0L;
    const long most = std::min(victim, own);
    const long phase = victim % bit;
    const long drop = most - (((most - phase) % bit) + bit) % bit;
    Aggressor a;
    a.channel.impulse = shifted(response.impulse, drop);
    a.channel.sample_interval = sample_interval;
    a.channel.source = network.source;
    a.channel.description = path.description + (end == CrosstalkEnd::Far ? ", far end" : ", near end");
    a.notes = notes_of(network, response, assumptions, warnings);
    return a;
}

const char *dc_text(const TouchstoneChoice &choice)
{
    switch (choice.dc_method) {
    case DcMethod::Extrapolate:
        return "extrapolated";
    case DcMethod::HoldLowest:
        return "lowest point held";
    case DcMethod::Given:
        break;
    }
    return "given";
}

} // namespace

bool is_touchstone_name(const std::string &path)
{
    const std::string extension = lower_extension(path);
    if (extension == "ts")
        return true;
    return extension.size() >= 3 && extension.front() == 's' && extension.back() == 'p' &&
           std::all_of(extension.begin() + 1, extension.end() - 1, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

TouchstoneChannel touchstone_channel(const SParameters &network, const TouchstoneChoice &choice, double sample_interval,
                                     double bit_time)
{
    const bool single = choice.single_from > 0 && choice.single_to > 0;
    const FrequencyResponse through = single ? single_ended_path(network, choice.single_from, choice.single_to)
                                             : through_path(network, choice.numbering);
    return channel_from_path(network, through, choice, sample_interval, bit_time);
}

TouchstoneChannel channel_from_path(const SParameters &network, const FrequencyResponse &through,
                                    const TouchstoneChoice &choice, double sample_interval, double bit_time)
{
    const std::string numbering = numbering_check(network, choice, through);
    refuse_zero_path(through, numbering);
    std::vector<std::string> assumptions, warnings;
    check_band(through, network.source, bit_time, warnings);
    if (!numbering.empty())
        warnings.push_back(numbering);
    const ImpulseResponse response = impulse_response(through, impulse_options(through, choice, sample_interval));
    TouchstoneChannel result;
    const long drop = lead_in(response, sample_interval, bit_time, assumptions);
    result.lead_in_dropped = static_cast<size_t>(drop);
    Channel &c = result.channel;
    c.impulse = shifted(response.impulse, drop);
    c.sample_interval = sample_interval;
    c.source = network.source;
    c.delay_removed = static_cast<double>(drop) * sample_interval;
    c.highest_frequency = through.frequencies.back();
    c.description = through.description + " (" + std::to_string(network.frequencies.size()) + " frequencies, " +
                    "DC " + dc_text(choice) + ")";
    result.notes = notes_of(network, response, assumptions, warnings);
    return result;
}

std::vector<Aggressor> crosstalk_from_file(const std::string &path, CrosstalkEnd end, const TouchstoneChoice &choice,
                                           ResponseKind kind, double sample_interval, double bit_time,
                                           size_t victim_dropped)
{
    if (!is_touchstone_name(path)) {
        Aggressor a;
        a.channel = channel_from_file(path, kind, sample_interval);
        return {a};
    }
    const SParameters network = read_touchstone(path);
    if (network.ports == 2 || network.ports == 4) {
        const FrequencyResponse through = through_path(network, choice.numbering);
        return {aggressor_from_path(network, through, end, choice, sample_interval, bit_time, victim_dropped)};
    }
    if (network.ports % 4 != 0)
        throw Error(path + ": crosstalk needs a two-port or whole differential pairs (an even number of ports: 4 "
                           "or a multiple of 4), not " + std::to_string(network.ports) + " ports");
    std::vector<Aggressor> aggressors;
    for (int pair = 1; pair < network.ports / 4; ++pair)
        aggressors.push_back(aggressor_from_path(network, crosstalk_path(network, choice.numbering, pair, end), end,
                                                 choice, sample_interval, bit_time, victim_dropped));
    return aggressors;
}

Aggressor crosstalk_from_pair(const SParameters &network, int pair, CrosstalkEnd end, const TouchstoneChoice &choice,
                              double sample_interval, double bit_time, size_t victim_dropped)
{
    const int pairs = network.ports % 4 == 0 ? network.ports / 4 : 0;
    if (pair < 1 || pair >= pairs)
        throw Error(network.source + ": no aggressor pair " + std::to_string(pair) + ": the file's " +
                    std::to_string(network.ports) + " ports hold " + std::to_string(pairs) +
                    " differential pairs, pair 0 the victim");
    return aggressor_from_path(network, crosstalk_path(network, choice.numbering, pair, end), end, choice,
                               sample_interval, bit_time, victim_dropped);
}

void write_channel_touchstone(const Channel &channel, const std::string &path)
{
    std::vector<double> frequencies;
    for (int k = 1; k <= 5000; ++k)
        frequencies.push_back(10e6 * k);
    write_touchstone(path, matched_two_port(frequencies, sampled_transfer(channel.impulse, channel.sample_interval,
                                                                          frequencies, channel.delay_removed)));
}

} // namespace ami_host
