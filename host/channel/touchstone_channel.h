// Channels and crosstalk paths given as Touchstone S-parameter files,
// brought to impulse responses at the simulation's sample interval.
#pragma once

#include "channel/channel.h"
#include "channel/frequency_to_impulse.h"
#include "channel/network_paths.h"

#include <string>
#include <vector>

namespace ami_host {

// Which path of a file is the channel, and how its data are completed.
struct TouchstoneChoice {
    PortNumbering numbering = PortNumbering::Adjacent;
    int single_from = 0, single_to = 0; // both set: S(to, from) between single ports instead of Sdd21
    DcMethod dc_method = DcMethod::Extrapolate;
    double dc_value = 0.0; // for DcMethod::Given
};

// Whether `path` names a Touchstone file (.s<N>p, .ts).
bool is_touchstone_name(const std::string &path);

// A channel together with what was assumed to build it and what looks wrong.
struct TouchstoneChannel {
    Channel channel;
    size_t lead_in_dropped = 0;  // leading samples dropped (the pure delay less one bit, or fewer)
    std::vector<std::string> notes; // the file's notes, the assumptions, then the warnings marked as such
};

// The through channel of `network` (S21 of a two-port, else Sdd21 of pair 0 or
// the chosen single-ended path), as long as the response needs (at most what
// the data's frequency step resolves, and 1 us), its pure delay less one bit
// of lead-in dropped unless that would drop more than 0.001 % of its energy.
// Throws Error for a path that is zero everywhere or data that end below a
// quarter of the bit rate (half the link's Nyquist frequency); warns for
// data that end below the Nyquist frequency and for a port numbering that
// the data contradict.
TouchstoneChannel touchstone_channel(const SParameters &network, const TouchstoneChoice &choice, double sample_interval,
                                     double bit_time);

// The same for a path of `network` already chosen (or terminated).
TouchstoneChannel channel_from_path(const SParameters &network, const FrequencyResponse &through,
                                    const TouchstoneChoice &choice, double sample_interval, double bit_time);

// A crosstalk aggressor: its path into the victim's receiver.
struct Aggressor {
    Channel channel;
    std::vector<std::string> notes;
};

// Aggressors from a file given for crosstalk: a two-port's S21, a file of one
// differential pair its Sdd21, one of more pairs the crosstalk from each pair
// after the first (the victim) at `end`; any other file is time/value pairs of
// `kind`. The crosstalk's value at 0 Hz is taken as 0 unless `choice` says
// otherwise. `victim_dropped` is the samples dropped from the through
// channel: an aggressor drops as many less whole bits as keep its own
// front, so the two keep their phase within the bit.
std::vector<Aggressor> crosstalk_from_file(const std::string &path, CrosstalkEnd end, const TouchstoneChoice &choice,
                                           ResponseKind kind, double sample_interval, double bit_time,
                                           size_t victim_dropped);

// The crosstalk from aggressor pair `pair` of the through channel's own network.
Aggressor crosstalk_from_pair(const SParameters &network, int pair, CrosstalkEnd end, const TouchstoneChoice &choice,
                              double sample_interval, double bit_time, size_t victim_dropped);

// Writes `channel` as a matched two-port from 10 MHz to 50 GHz in 10 MHz steps.
void write_channel_touchstone(const Channel &channel, const std::string &path);

} // namespace ami_host
