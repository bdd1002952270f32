// The through channel and the aggressors named by the options.
#include "channel/link_channels.h"

#include <cmath>

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

} // namespace

LinkChannels make_link_channels(const Options &o)
{
    const double dt = o.sample_interval();
    const ChannelOptions &c = o.channels;
    LinkChannels link;
    size_t dropped = 0;
    if (o.channel_file.empty()) {
        link.through = embedded_channel(o.line, dt, o.bit_time());
        dropped = static_cast<size_t>(std::lround(link.through.delay_removed / dt));
    } else if (is_touchstone_name(o.channel_file)) {
        TouchstoneChannel t = touchstone_channel(o.channel_file, c.touchstone, dt, o.bit_time());
        link.through = std::move(t.channel);
        link.notes = std::move(t.notes);
        dropped = t.lead_in_dropped;
    } else {
        link.through = channel_from_file(o.channel_file, o.channel_kind, dt);
    }
    const TouchstoneChoice xtalk = crosstalk_choice(c.touchstone);
    for (const std::string &text : c.xtalk_files) {
        const EndedName file = split_end(text);
        for (Aggressor &a : crosstalk_from_file(file.name, file.end, xtalk, o.channel_kind, dt, o.bit_time(), dropped))
            link.aggressors.push_back(std::move(a));
    }
    for (const std::string &text : c.aggressor_pairs) {
        const EndedName pair = split_end(text);
        link.aggressors.push_back(
            crosstalk_from_pair(o.channel_file, std::stoi(pair.name), pair.end, xtalk, dt, o.bit_time(), dropped));
    }
    if (!c.write_touchstone.empty())
        write_channel_touchstone(link.through, c.write_touchstone);
    return link;
}

} // namespace ami_host
