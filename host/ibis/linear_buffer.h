// The analog buffers of an IBIS model brought to the linear elements a
// channel's transfer function can hold: a transmitter's output resistance
// and a receiver's input admittance, each with C_comp, at one corner.
#pragma once

#include "ibis/ibis_file.h"

#include <string>
#include <vector>

namespace ami_host {

struct LinearBuffer {
    // Transmitter: the output resistance (ohms). Receiver: the conductance
    // to AC ground (siemens) of its clamps, [Rgnd] and [Rpower].
    double resistance = 0.0;
    double conductance = 0.0;
    double c_comp = 0.0;           // farads, from the die to ground
    double rac = 0.0, cac = 0.0;   // a receiver's series R-C branch to ground; cac 0: none
    std::vector<std::string> sources; // each value, the keyword it came from and where
};

// A transmitter's output stage: each of [Pulldown] and [Pullup] gives the
// resistance 1/|dI/dV| at its operating point, where its current crosses
// zero (the state the buffer drives with no load); with both, the output
// resistance is their mean, the two states a bit alternates between. Throws
// Error, naming the file and line, for a model with neither table or a
// table that does not conduct there.
LinearBuffer output_buffer(const IbisFile &file, const IbisModel &model, Corner corner);

// A receiver's input: the slopes of [GND Clamp] and [POWER Clamp] at their
// zero crossings in parallel with [Rgnd] and [Rpower], and [Rac] in series
// with [Cac]. A flat clamp (no current over a span around its crossing)
// adds nothing.
LinearBuffer input_buffer(const IbisFile &file, const IbisModel &model, Corner corner);

// A resistance, capacitance or inductance as the listing and the notes
// show it: "50 ohm", "0.5 pF", "1 nH".
std::string ohms_text(double ohms);
std::string farads_text(double farads);
std::string henries_text(double henries);

} // namespace ami_host
