// Paths through an S-parameter network: the transfer function from one
// port (or one differential pair of ports) to another, for the channel
// between a transmitter and a receiver or for crosstalk from an aggressor.
#pragma once

#include "channel/touchstone.h"

#include <complex>
#include <string>
#include <vector>

namespace ami_host {

// A transfer function sampled at the network's frequencies, with what a
// passivity check needs: the power leaving all ports when the path's input
// is driven with unit power (at most 1 for a passive network).
struct FrequencyResponse {
    std::vector<double> frequencies;               // Hz, strictly increasing
    std::vector<std::complex<double>> transfer;
    std::vector<double> power_out;                 // per frequency
    std::string description;                       // e.g. "Sdd21 (ports 1,3 -> 2,4) of FILE"
};

// How the ports of a multi-line network are numbered. Line k (from 0) runs
//   Adjacent: from port 2k+1 to port 2k+2 (1->2, 3->4, ...);
//   Halves:   from port k+1 to port k+1+N/2 (1->3, 2->4 for four ports).
// Lines 2p and 2p+1 form differential pair p, the first the positive leg.
enum class PortNumbering { Adjacent, Halves };

struct PortPair {
    int plus = 0;
    int minus = 0;
};

struct DifferentialLine {
    PortPair input;  // the transmitter's end
    PortPair output; // the receiver's end
};

// Differential pair `pair` (from 0) of an N-port network. Throws Error for
// an odd or too small port count, or a pair the network does not have.
DifferentialLine differential_line(const SParameters &network, PortNumbering numbering, int pair);

// S(to, from) between single ports (from 1). Throws Error for a port the
// network does not have.
FrequencyResponse single_ended_path(const SParameters &network, int from, int to);

// The mixed-mode differential transfer Sdd(to, from).
FrequencyResponse differential_path(const SParameters &network, PortPair from, PortPair to);

// The channel from transmitter to receiver: S21 for a two-port, Sdd21 of
// pair 0 for four ports or more.
FrequencyResponse through_path(const SParameters &network, PortNumbering numbering);

// Crosstalk from aggressor pair `aggressor` into the receiver of pair 0:
// far-end from the aggressor's input (driven at the same end as the victim),
// near-end from its output (driven from the receiver's end).
enum class CrosstalkEnd { Far, Near };
FrequencyResponse crosstalk_path(const SParameters &network, PortNumbering numbering, int aggressor,
                                 CrosstalkEnd end);

} // namespace ami_host
