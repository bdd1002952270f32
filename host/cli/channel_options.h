// The command-line options of Touchstone channels and crosstalk, and the
// channels they name.
#pragma once

#include "channel/touchstone_channel.h"

#include <string>
#include <vector>

namespace CLI {
class App;
}

namespace ami_host {

struct ChannelOptions {
    TouchstoneChoice touchstone;
    std::vector<std::string> xtalk_files;     // FILE[:near|:far]
    std::vector<std::string> aggressor_pairs; // PAIR[:near|:far], pairs of the through channel's file
    std::string write_touchstone;             // where to write the channel as a two-port; empty: nowhere
};

// Adds the options to the "Channel" and "Crosstalk" groups.
void add_channel_options(CLI::App &app, ChannelOptions &options);

// What is wrong with the options together ("" for nothing), given the
// through channel's file (empty: the embedded line).
std::string check_channel_options(const ChannelOptions &options, const std::string &channel_file);

// A name with an optional ":near" or ":far" after it (far when none).
struct EndedName {
    std::string name;
    CrosstalkEnd end = CrosstalkEnd::Far;
};
EndedName split_end(const std::string &text);

} // namespace ami_host
