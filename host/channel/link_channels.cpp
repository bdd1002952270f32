// The through channel and the aggressors that a link's settings name.
#include "channel/link_channels.h"

#include "base/host_error.h"
#include "base/text.h"
#include "channel/touchstone.h"

#include <cmath>
#include <optional>

namespace ami_host {

namespace {

// The crosstalk's value at 0 Hz: none, unless the data reach 0 Hz (a
// straight line through the lowest points says little of coupling).
TouchstoneChoice crosstalk_choice(const TouchstoneChoice &through)
{
    TouchstoneChoice choice = through;
    choice.single_from = choice.single_to = 0;
    choice.dc_method = DcMethod::Given;
    choice.dc_value = 0.0;
    return choice;
}

std::string ohms_text(double ohms)
{
    return four_digits(ohms) + " ohm";
}

// The through channel between the analog ends: a Touchstone file's whole
// network, or the embedded line as a two-port of its impedance (a time/value
// channel of 50 ohms); a two-port carries each leg of the pair alike.
TouchstoneChannel analog_channel(const ChannelSettings &c, const std::optional<SParameters> &file_network,
                                 const Channel &plain, double dt, double bit_time)
{
    const AnalogEnds &ends = *c.analog;
    const double impedance = c.file.empty() ? c.line.impedance : 50.0;
    const SParameters network = file_network ? *file_network : line_two_port(plain, impedance);
    const TouchstoneChoice &choice = c.touchstone;
    FrequencyResponse path;
    if (choice.single_from > 0 && choice.single_to > 0) {
        path = terminated_path(network, {choice.single_from, 0, choice.single_to, 0}, ends,
                               single_ended_path(network, choice.single_from, choice.single_to));
    } else if (network.ports == 2) {
        path = terminated_path(uncoupled_pair(network), {1, 3, 2, 4}, ends, through_path(network, choice.numbering));
    } else {
        const DifferentialLine line = differential_line(network, choice.numbering, 0);
        path = terminated_path(network, {line.input.plus, line.input.minus, line.output.plus, line.output.minus},
                               ends, through_path(network, choice.numbering));
    }
    TouchstoneChannel t = channel_from_path(network, path, choice, dt, bit_time);
    if (!file_network)
        t.channel.description = plain.description + ", as a " + ohms_text(impedance) +
                                " two-port between the analog ends";
    t.notes.insert(t.notes.end(), ends.notes.begin(), ends.notes.end());
    t.notes.push_back("crosstalk paths keep ideal ends");
    return t;
}

} // namespace

LinkChannels make_link_channels(const ChannelSettings &c, double dt, double bit_time)
{
    LinkChannels link;
    size_t dropped = 0;
    std::optional<SParameters> network;
    if (c.file.empty()) {
        link.through = embedded_channel(c.line, dt, bit_time);
        dropped = static_cast<size_t>(std::lround(link.through.delay_removed / dt));
    } else if (is_touchstone_name(c.file)) {
        network = read_touchstone(c.file);
        TouchstoneChannel t = touchstone_channel(*network, c.touchstone, dt, bit_time);
        link.through = std::move(t.channel);
        link.notes = std::move(t.notes);
        dropped = t.lead_in_dropped;
    } else {
        link.through = channel_from_file(c.file, c.kind, dt);
    }
    if (c.analog) {
        TouchstoneChannel t = analog_channel(c, network, link.through, dt, bit_time);
        link.through = std::move(t.channel);
        link.notes = std::move(t.notes);
        dropped = t.lead_in_dropped;
    }
    const TouchstoneChoice xtalk = crosstalk_choice(c.touchstone);
    for (const CrosstalkFile &file : c.xtalk_files)
        for (Aggressor &a : crosstalk_from_file(file.path, file.end, xtalk, c.kind, dt, bit_time, dropped))
            link.aggressors.push_back(std::move(a));
    for (const CrosstalkPair &pair : c.aggressor_pairs) {
        if (!network)
            throw Error("crosstalk from pair " + std::to_string(pair.pair) +
                        " needs a Touchstone channel (--channel FILE.sNp)");
        link.aggressors.push_back(crosstalk_from_pair(*network, pair.pair, pair.end, xtalk, dt, bit_time, dropped));
    }
    return link;
}

} // namespace ami_host
