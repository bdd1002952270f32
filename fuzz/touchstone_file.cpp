// Fuzz target: a Touchstone file read as the host reads a channel and, when
// it reads, the impulse response of the path the host would take from it,
// and the channel the host makes of it.
// The input's first line is the file's name (a version 1 file's port count
// is in its extension), the rest is the file's text. Error is how the host
// refuses a file; any other exception escaping is a finding.
#include "base/host_error.h"
#include "channel/frequency_to_impulse.h"
#include "channel/network_paths.h"
#include "channel/touchstone.h"
#include "channel/touchstone_channel.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using namespace ami_host;

// The host's default sampling: 10 Gb/s, 32 samples a bit.
constexpr double bit_time = 1.0 / 10e9;
constexpr double sample_interval = bit_time / 32;

// The host computes as many samples as the data's coarsest frequency step
// resolves, up to 1 us (320,000 here); capping the length keeps every
// input quick while running the same code.
constexpr double longest_response = 4096;

size_t response_length(const FrequencyResponse &path)
{
    double widest = 0.0;
    for (size_t k = 1; k < path.frequencies.size(); ++k)
        widest = std::max(widest, path.frequencies[k] - path.frequencies[k - 1]);
    const double resolved = std::floor(1.0 / (widest * sample_interval));
    return static_cast<size_t>(resolved > 2.0 ? std::min(resolved, longest_response) : 2.0);
}

// The through path the host takes by default or, for a network without
// one (an odd port count), the single-ended path from the first port to the last.
FrequencyResponse channel_path(const SParameters &network)
{
    if (network.ports == 2 || (network.ports >= 4 && network.ports % 2 == 0))
        return through_path(network, PortNumbering::Adjacent);
    return single_ended_path(network, 1, network.ports);
}

void build_impulses(const FrequencyResponse &path)
{
    ImpulseOptions options;
    options.sample_interval = sample_interval;
    options.length = response_length(path);
    options.dc_value = -0.5; // negative, so that the phase at 0 Hz must change parity
    options.trim_tail = true;
    for (DcMethod method : {DcMethod::Extrapolate, DcMethod::HoldLowest, DcMethod::Given}) {
        options.dc_method = method;
        impulse_response(path, options);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    const size_t newline = input.find('\n');
    const std::string name = input.substr(0, newline);
    const std::string text = newline == std::string::npos ? "" : input.substr(newline + 1);
    try {
        const SParameters network = parse_touchstone(text, name);
        build_impulses(channel_path(network));
        touchstone_channel(network, TouchstoneChoice{}, sample_interval, bit_time);
    } catch (const Error &) {
    }
    return 0;
}
