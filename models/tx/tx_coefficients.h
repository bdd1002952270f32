// The transmitter's FFE taps and FIR coefficients as functions of its settings.
#pragma once

namespace dorvex8 {

constexpr int kFfeTaps = 2;  // main cursor, then the post-cursor one UI later
constexpr int kFirTaps = 12; // FIR coefficient k weights the signal k x 2e-11 s back

struct TxTaps {
    double ffe[kFfeTaps];
    double fir[kFirTaps];
};

// Evaluates the fitted polynomials for validated settings: corner -1..1,
// de-emphasis 0..7, swing 0..7.
TxTaps compute_tx_taps(int corner, int deemphasis, int swing);

} // namespace dorvex8
