// A link taken from an IBIS file: the transmitter and the receiver named by
// pin or by model, their libraries and .ami files for this host, and the
// analog ends (buffers and packages) the channel is built between.
#pragma once

#include "channel/analog_ends.h"
#include "ibis/ibis_file.h"
#include "ibis/linear_buffer.h"

#include <string>
#include <vector>

namespace ami_host {

// One side: a pin ([COMPONENT:]PIN) or a model (or model selector) name;
// neither: the first pin whose model has an algorithmic model that drives
// (Tx) or receives (Rx).
struct IbisSideChoice {
    std::string pin;
    std::string model;
};

struct IbisChoice {
    std::string file; // empty: no IBIS file
    IbisSideChoice tx, rx;
    Corner corner = Corner::Typ;
    bool analog = true; // build the channel between the analog ends
};

struct IbisEnd {
    const IbisComponent *component = nullptr; // null for a model no pin uses
    const IbisPin *pin = nullptr;
    const IbisPin *partner = nullptr; // the pin's other leg, by [Diff Pin]
    const IbisModel *model = nullptr;
    std::string library, ami;         // resolved beside the .ibs file
    std::array<PackageLeg, 2> package{};
    std::vector<std::string> notes;   // what was chosen and where each value came from
};

struct IbisLink {
    IbisFile file;
    IbisEnd tx, rx;
    LinearBuffer tx_buffer, rx_buffer;
};

// Reads the file and resolves both sides for this host's platform and
// width. Throws Error, naming the file and line, for a pin or model the file
// does not have, a pin with no signal model, a model of the wrong direction
// or without [Algorithmic Model] or an Executable for this platform, a
// missing library or one of another width, a missing .ami file.
IbisLink resolve_ibis_link(const IbisChoice &choice);

// The ends' linear elements, with the notes of where each came from.
AnalogEnds analog_ends(const IbisLink &link);

} // namespace ami_host
