// The channel between non-ideal ends: a transmitter's linearised output
// stage and package driving a network whose every port may reflect, into a
// receiver's package and linearised input. The transfer function is that of
// the whole S-matrix with these terminations, so mismatched ends reflect.
#pragma once

#include "channel/channel.h"
#include "channel/network_paths.h"
#include "channel/touchstone.h"

#include <array>
#include <string>
#include <vector>

namespace ami_host {

// A package leg: R and L in series from the die to the pin, C from the pin
// to ground.
struct PackageLeg {
    double r = 0.0, l = 0.0, c = 0.0;
};

// Per leg of the pair (index 0 the positive leg, 1 the negative one).
struct AnalogEnds {
    double tx_resistance = 50.0;     // ohms: the source's resistance
    double tx_c_comp = 0.0;          // farads, from the transmitter's die to ground
    std::array<PackageLeg, 2> tx_package{};
    double rx_conductance = 0.02;    // siemens, from the receiver's die to AC ground
    double rx_c_comp = 0.0;
    double rx_rac = 0.0, rx_cac = 0.0; // a series R-C branch at the receiver's die; cac 0: none
    std::array<PackageLeg, 2> rx_package{};
    std::vector<std::string> notes;  // each value and where it came from
};

// The ports the pair's ends connect to; the minus ports are 0 for a
// single-ended path.
struct EndPorts {
    int tx_plus = 1, tx_minus = 0, rx_plus = 2, rx_minus = 0;
};

// The transfer from the transmitter's open-circuit (differential) voltage to
// the receiver's die voltage, doubled: relative to what the source puts
// across a matched load, so that ends of the network's reference impedance
// with no capacitance or package give S21 (Sdd21 for a pair) itself. Ports
// other than the ends see the reference impedance. `power_out` and the
// description are the bare network path's.
FrequencyResponse terminated_path(const SParameters &network, const EndPorts &ports, const AnalogEnds &ends,
                                  const FrequencyResponse &bare);

// A two-port channel as a pair of two uncoupled, identical lines (ports 1->2
// and 3->4), so that both legs' ends can differ.
SParameters uncoupled_pair(const SParameters &two_port);

// A channel known by its impulse response as a line of `impedance` ohms whose
// matched transfer that response is, in the network's reference of 50 ohms,
// from 10 MHz to 50 GHz in 10 MHz steps.
SParameters line_two_port(const Channel &line, double impedance);

} // namespace ami_host
