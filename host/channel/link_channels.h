// The channels of a run: the through channel the options name, and the
// crosstalk aggressors, with what was assumed to build them.
#pragma once

#include "cli/run_options.h"
#include "channel/touchstone_channel.h"

#include <string>
#include <vector>

namespace ami_host {

struct LinkChannels {
    Channel through;
    std::vector<std::string> notes; // the through channel's (Touchstone files)
    std::vector<Aggressor> aggressors;
};

// Builds them; writes the through channel as a two-port when asked.
LinkChannels make_link_channels(const Options &options);

} // namespace ami_host
