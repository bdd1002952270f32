// The receiver's limiting-amplifier transfer curves, one per process corner.
#pragma once

#include "Quorvane_pelisk4.h"

namespace quorvane {

// Input levels and the three curves' output levels, volts, 201 points each.
struct LimAmpCurves {
    double in[RX_LIM_AMP_POINTS];     // -1.0, -0.99, ..., 1.0: strictly increasing
    double out[3][RX_LIM_AMP_POINTS]; // row lim_ampGetIndex(RX_Process)
};

// The curves, built once at compile time; constant, shared by all instances.
const LimAmpCurves &lim_amp_curves();

} // namespace quorvane
