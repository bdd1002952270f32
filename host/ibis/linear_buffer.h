// The analog buffers of an IBIS model brought to the linear elements a
// channel's transfer function can hold: a transmitter's output resistance
// and a receiver's input admittance, each with C_comp, at one corner.
#pragma once

#include "ibis/ibis_file.h"

#include <string>
#include <vector>

namespace ami_host {

struct LinearBuffer {
    double resistance = 0.0;  // ohms: a transmitter's output, a receiver's input (infinity: open)
    double conductance = 0.0; // siemens: a receiver's, to AC ground
    double c_comp = 0.0;           // farads, from the die to ground
    double rac = 0.0, cac = 0.0;   // a receiver's series R-C branch to ground; cac 0: none
    std::vector<std::string> sources; // each value, the keyword it came from and where
};

// A buffer is linearised at its operating point: the pin voltage at which
// the current of everything connected in a state sums to zero with nothing
// outside driving the pin (the voltage it settles to, unloaded), and its
// conductance is the slope of that sum there. A state sums its driver table
// ([Pulldown] driving low, [Pullup] driving high), [GND Clamp], [POWER
// Clamp], [Rgnd] and [Rpower]; tables referred to the supply ([Pullup],
// [POWER Clamp]) are placed at the [Voltage Range] of the corner, and held
// at their end values beyond their last rows.
//
// A transmitter's output resistance is the mean of its two states' (a bit
// spends as long in either). Throws Error, naming the file and line, for a
// model with neither driver table, a state with no operating point or no
// conduction there, or supply-referred tables without [Voltage Range].
LinearBuffer output_buffer(const IbisFile &file, const IbisModel &model, Corner corner);

// A receiver's input: its clamps, [Rgnd] and [Rpower] at their operating
// point (none conducting: an open input), with [Rac] in series with [Cac].
LinearBuffer input_buffer(const IbisFile &file, const IbisModel &model, Corner corner);

// A resistance, capacitance or inductance as the listing and the notes
// show it: "50 ohm", "0.5 pF", "1 nH".
std::string ohms_text(double ohms);
std::string farads_text(double farads);
std::string henries_text(double henries);

} // namespace ami_host
