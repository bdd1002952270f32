// PRBS7 period helpers shared by the pattern conversions and their tests.
#pragma once

namespace ami {

// Recovers from one PRBS7 period of L = 127*S samples the pulse, folded
// modulo L, from which P2PRBS made it: correlation with the pattern (bit 1
// counting +1, bit 0 -1) into w, then inversion through the pattern's
// autocorrelation (127 at lag 0, -1 elsewhere) into pulse.
//  pulse    : [size: L] folded pulse
//  w        : [size: L] work array, left holding the correlation
//  waveform : [size: L] one PRBS7 period; only read
//  S        : samples per UI, 1..16909320
void invert_prbs7_period(double *pulse, double *w, const double *waveform, int S);

} // namespace ami
