// The channels of a link: the through channel its settings name, and the
// crosstalk aggressors, with what was assumed to build them.
#pragma once

#include "channel/analog_ends.h"
#include "channel/touchstone_channel.h"

#include <optional>

#include <string>
#include <vector>

namespace ami_host {

// A crosstalk file as the user names it: FILE, FILE:near or FILE:far.
struct CrosstalkFile {
    std::string path;
    CrosstalkEnd end = CrosstalkEnd::Far;
};

// Crosstalk from differential pair `pair` (from 1; pair 0 is the victim) of
// the through channel's own Touchstone file.
struct CrosstalkPair {
    int pair = 1;
    CrosstalkEnd end = CrosstalkEnd::Far;
};

struct ChannelSettings {
    std::string file;                            // empty: the embedded line
    ResponseKind kind = ResponseKind::Impulse;   // of time/value files, the through channel's and crosstalk ones
    LineParameters line;                         // the embedded line's
    TouchstoneChoice touchstone;                 // which path of a Touchstone file, and its value at 0 Hz
    std::vector<CrosstalkFile> xtalk_files;
    std::vector<CrosstalkPair> aggressor_pairs;  // need a Touchstone through channel
    std::string write_touchstone;                // where to write the through channel as a two-port; empty: nowhere
    // The buffers and packages at the ends of the through channel; none: ideal
    // ends of the network's reference impedance (the crosstalk keeps them).
    std::optional<AnalogEnds> analog;
};

struct LinkChannels {
    Channel through;
    std::vector<std::string> notes; // the through channel's (Touchstone files)
    std::vector<Aggressor> aggressors;
};

// Builds them at `sample_interval` for bits of `bit_time` seconds; a
// Touchstone through channel's file is read once, for the channel and its
// aggressor pairs alike. Throws Error for a file that cannot be read or used.
LinkChannels make_link_channels(const ChannelSettings &settings, double sample_interval, double bit_time);

} // namespace ami_host
