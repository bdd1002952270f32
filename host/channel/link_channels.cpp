// The through channel and the aggressors that a link's settings name.
#include "channel/link_channels.h"

#include "base/host_error.h"
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
