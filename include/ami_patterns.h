/* Conversions between impulse, step, pulse and PRBS7 responses. */
#ifndef AMI_PATTERNS_H
#define AMI_PATTERNS_H

#include "ami_export.h"

AMI_BEGIN_C

/* Notation: n samples in an impulse or pulse response, S whole samples per
 * unit interval (UI), dt the sample interval in seconds, L = 127*S the length
 * of one PRBS7 period. The PRBS7 pattern is the 127-bit sequence of
 * x^7 + x^6 + 1 started from all ones (bit(k) = bit(k-1) XOR bit(k-7)),
 * bit 1 at level +0.5 and bit 0 at -0.5. A pulse is the response to one bit
 * of S samples. Arrays are never null. Unless stated, out must not be in.
 *
 * Each function states its limits. When they are not met it neither reads
 * nor writes outside its arrays: it fills its output with zeros, or leaves
 * the output unchanged where no output length can be formed. The same holds
 * when an internal work array cannot be allocated. */

/* Impulse to step: the response to a step from -0.5 to +0.5 at sample n.
 * With r_i = dt*(in[0] + ... + in[i-1]) and R = r_n: out[i] = -R/2 and
 * out[n+i] = r_i - R/2 for i = 0..n-1.
 *  out : [size: 2n] step response
 *  in  : [size: n] impulse response; only read
 *  n   : samples in the impulse response; <= 0 writes nothing
 *  dt  : sample interval, seconds, any */
AMI_EXPORT void I2S(double *out, const double *in, int n, double dt);

/* Step to impulse: differentiates x[k] = in[n+k] with the seven-point stencil
 * out[k] = (0.59*(x[k+1] - x[k-1]) - 0.03*(x[k+3] - x[k-3])) / dt, indices
 * clamped to 0..n-1. The first half of in is not read. Meant for n >= 6;
 * below that the clamped stencil is still computed within the array.
 *  out : [size: n] impulse response
 *  in  : [size: 2n] step response; only read
 *  n   : samples in the impulse response; <= 0 writes nothing
 *  dt  : sample interval, seconds, non-zero */
AMI_EXPORT void S2I(double *out, const double *in, int n, double dt);

/* Impulse to pulse: out[i] = dt*(in[i] + in[i-1] + ... + in[i-S+1]), terms
 * with a negative index left out.
 *  out : [size: n] pulse response; may be in
 *  in  : [size: n] impulse response; only read
 *  n   : samples; <= 0 writes nothing
 *  S   : samples per UI, >= 1 (below: zeros)
 *  dt  : sample interval, seconds, any */
AMI_EXPORT void I2P(double *out, const double *in, int n, int S, double dt);

/* Pulse to impulse: step s[i] = in[i] + in[i-S] + in[i-2S] + ... (terms with
 * index >= 0, added from the newest), then differentiated as by S2I: about
 * n*n/(2*S) additions. Allocates a work array of n.
 *  out : [size: n] impulse response
 *  in  : [size: n] pulse response; only read
 *  n   : samples, >= 6 (1..5: clamped stencil); <= 0 writes nothing
 *  S   : samples per UI, >= 1 (below: zeros)
 *  dt  : sample interval, seconds, non-zero */
AMI_EXPORT void P2I(double *out, const double *in, int n, int S, double dt);

/* Pulse to one period of the periodic PRBS7 response: out[(j + b*S) mod L]
 * accumulates level(b)*in[j] for b = 0..126, j = 0..n-1; a pulse longer
 * than L folds round the period.
 *  out : [size: L] PRBS7 waveform, bit 0 of the period at sample 0
 *  in  : [size: n] pulse response; only read
 *  n   : samples in the pulse; <= 0 gives zeros
 *  S   : samples per UI, 1..16909320 (otherwise out is left unchanged)
 *  dt  : not used */
AMI_EXPORT void P2PRBS(double *out, const double *in, int n, int S, double dt);

/* One PRBS7 period back to a pulse of n samples: correlation with the
 * pattern and inversion (exact for a waveform from P2PRBS, the pulse folded
 * modulo L), then extension to n samples around the largest sample (the
 * cursor) and removal of the tail mean and of a ripple correction (UI-spaced
 * weighted mean less dense weighted mean over +/-8.5 UI). Allocates a work
 * array of L + n + 17*S + 17.
 *  out : [size: n] pulse response
 *  in  : [size: L] PRBS7 waveform; only read
 *  n   : samples in the pulse, >= L (otherwise zeros)
 *  S   : samples per UI, >= 1 (otherwise zeros)
 *  dt  : not used */
AMI_EXPORT void PRBS2P(double *out, const double *in, int n, int S, double dt);

/* One PRBS7 period back to an impulse response: PRBS2P, then P2I.
 *  out : [size: n] impulse response
 *  in  : [size: L] PRBS7 waveform; only read
 *  n   : samples in the response, >= L (otherwise zeros)
 *  S   : samples per UI, >= 1 (otherwise zeros)
 *  dt  : sample interval, seconds, non-zero */
AMI_EXPORT void PRBS2I(double *out, const double *in, int n, int S, double dt);

/* Impulse response to one PRBS7 period: I2P, then P2PRBS.
 *  out : [size: L] PRBS7 waveform
 *  in  : [size: n] impulse response; only read
 *  n   : samples in the response; <= 0 gives zeros
 *  S   : samples per UI, 1..16909320 (otherwise out is left unchanged)
 *  dt  : sample interval, seconds, any */
AMI_EXPORT void I2PRBS(double *out, const double *in, int n, int S, double dt);

/* Impulse response to three PRBS7 periods in a new array. The response is
 * first rotated r samples later (circularly), r being the index of its
 * largest magnitude sample, less 4*S when that index exceeds 8*S. The array
 * is handed over to the caller, who releases it with PRBS72I.
 * When the limits are not met or the allocation fails, *out is set to null,
 * *out_length and *rotation to 0.
 *  out        : place for the new array of 381*S samples; not null
 *  in         : [size: n] impulse response; only read
 *  n          : samples in the response, >= 1
 *  S          : samples per UI, 1..5636440
 *  out_length : place for the array length 381*S; not null
 *  rotation   : place for r, 0..n-1; not null
 *  dt         : sample interval, seconds, any */
AMI_EXPORT void I2PRBS7(double **out, const double *in, int n, int S, int *out_length, int *rotation, double dt);

/* Impulse response from the middle period of an array from I2PRBS7
 * (PRBS2I), rotated back by r: out[i] = work[(r + i) mod n], r taken modulo
 * n. Releases the array and sets *prbs to null, also when the limits are not
 * met (out is then zeros).
 *  out      : [size: n] impulse response
 *  prbs     : place holding the array from I2PRBS7 made with the same S
 *             (3*L samples); a null array gives zeros
 *  n        : samples in the response, >= L (otherwise zeros)
 *  S        : samples per UI, >= 1 (otherwise zeros)
 *  rotation : place holding r from I2PRBS7; null counts as 0
 *  dt       : sample interval, seconds, non-zero */
AMI_EXPORT void PRBS72I(double *out, double **prbs, int n, int S, int *rotation, double dt);

AMI_END_C

#endif /* AMI_PATTERNS_H */
