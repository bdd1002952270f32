// The command-line options of Touchstone channels and crosstalk.
#pragma once

#include "channel/link_channels.h"

#include <string>

namespace CLI {
class App;
}

namespace ami_host {

// Adds the options to the "Channel" and "Crosstalk" groups; values land in
// `settings` as they are parsed.
void add_channel_options(CLI::App &app, ChannelSettings &settings);

// What is wrong with the options together ("" for nothing).
std::string check_channel_options(const ChannelSettings &settings);

} // namespace ami_host
