// Touchstone channels and crosstalk paths for the host: the path chosen from
// the network, its impulse response, and the lead-in trimmed as the embedded
// line's is.
#include "channel/touchstone_channel.h"

#include "base/host_error.h"
#include "channel/touchstone.h"

#include <algorithm>
#include <cctype>
#include <cmath>

namespace ami_host {

namespace {

constexpr size_t kLongestResponse = size_t{1} << 22;

std::string lower_extension(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string extension = path.substr(dot + 1);
    for (char &c : extension)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

// Samples the data's coarsest frequency step resolves: its time window 1/step.
size_t resolvable_length(const FrequencyResponse &path, double sample_interval)
{
    double widest = 0.0;
    for (size_t k = 1; k < path.frequencies.size(); ++k)
        widest = std::max(widest, path.frequencies[k] - path.frequencies[k - 1]);
    if (!(widest > 0.0))
        throw Error(path.description + ": at least two frequencies are needed");
    const double samples = std::floor(1.0 / (widest * sample_interval));
    return static_cast<size_t>(std::clamp(samples, 2.0, static_cast<double>(kLongestResponse)));
}

ImpulseOptions impulse_options(const FrequencyResponse &path, const TouchstoneChoice &choice, double sample_interval)
{
    ImpulseOptions options;
    options.sample_interval = sample_interval;
    options.length = resolvable_length(path, sample_interval);
    options.dc_method = choice.dc_method;
    options.dc_value = choice.dc_value;
    return options;
}

// The samples ahead of the response's main delay less one bit of lead-in.
long lead_in(const ImpulseResponse &response, double sample_interval, double bit_time)
{
    return static_cast<long>(std::max(0.0, std::floor((response.main_delay - bit_time) / sample_interval)));
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

std::vector<std::string> notes_of(const SParameters &network, const ImpulseResponse &response)
{
    std::vector<std::string> notes = network.notes;
    notes.insert(notes.end(), response.assumptions.begin(), response.assumptions.end());
    for (const std::string &w : response.warnings)
        notes.push_back("warning: " + w);
    return notes;
}

// A crosstalk path's impulse response, shifted to keep its phase within the
// bit against the victim's (whole bits of an independent pattern do not matter).
Aggressor aggressor_from_path(const SParameters &network, const FrequencyResponse &path, CrosstalkEnd end,
                              const TouchstoneChoice &choice, double sample_interval, double bit_time,
                              size_t victim_dropped)
{
    ImpulseOptions options = impulse_options(path, choice, sample_interval);
    options.check_precursor = end == CrosstalkEnd::Far;
    const ImpulseResponse response = impulse_response(path, options);
    const long bit = std::lround(bit_time / sample_interval);
    const long victim = static_cast<long>(victim_dropped);
    const long most = std::min(victim, end == CrosstalkEnd::Far ? lead_in(response, sample_interval, bit_time) : 0L);
    const long phase = victim % bit;
    const long drop = most - (((most - phase) % bit) + bit) % bit;
    Aggressor a;
    a.channel.impulse = shifted(response.impulse, drop);
    a.channel.sample_interval = sample_interval;
    a.channel.source = network.source;
    a.channel.description = path.description + (end == CrosstalkEnd::Far ? ", far end" : ", near end");
    a.notes = notes_of(network, response);
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
    const ImpulseResponse response = impulse_response(through, impulse_options(through, choice, sample_interval));
    TouchstoneChannel result;
    const long drop = lead_in(response, sample_interval, bit_time);
    result.lead_in_dropped = static_cast<size_t>(drop);
    Channel &c = result.channel;
    c.impulse = shifted(response.impulse, drop);
    c.sample_interval = sample_interval;
    c.source = network.source;
    c.delay_removed = static_cast<double>(drop) * sample_interval;
    c.description = through.description + " (" + std::to_string(network.frequencies.size()) + " frequencies, " +
                    "DC " + dc_text(choice) + ")";
    result.notes = notes_of(network, response);
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
