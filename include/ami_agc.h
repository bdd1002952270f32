/* Automatic gain control and figures of merit of an impulse response. */
#ifndef AMI_AGC_H
#define AMI_AGC_H

#include "ami_export.h"

AMI_BEGIN_C

/* State record of an automatic gain control, which scales a signal towards a
 * target RMS level. target is fixed at set-up; gain and level are
 * allocations that every copy of the record shares, so updates persist
 * between calls. A record with null cells (set-up allocation failed) passes
 * samples through unchanged. */
typedef struct AGC {
    double *gain;  /* [1] gain applied to every sample                     */
    double target; /* target RMS level, >= 0                               */
    double *level; /* [1] running estimate of the input RMS level          */
} AGC;

/* Creates an AGC: target = |target|, gain 1.0, level = target. When S >= 1
 * and the pulse p = I2P(impulse, n, S, dt) has an energy
 * E = sum p[i]*(p[i]*0.25) other than zero, level = sqrt(E/S), the RMS of a
 * random data waveform of swing 1.0 through the channel, and
 * gain = target/level.
 *  target  : target RMS level; its magnitude is used
 *  impulse : [size: n] impulse response; only read
 *  n       : samples in the impulse response; <= 0 keeps gain 1.0
 *  dt      : sample interval, seconds
 *  S       : samples per UI; < 1 keeps gain 1.0 */
AMI_EXPORT AGC SetupAGC(double target, const double *impulse, int n, double dt, int S);

/* Scales a block: output[i] = input[i]*gain. For a waveform block (impulse
 * zero) the RMS r of the block first updates level = 0.99*level + 0.01*r and
 * gain = target/level, so a block's gain includes its own measurement. An
 * impulse response (impulse non-zero) is scaled by the current gain, which is
 * left unchanged. Allocates nothing.
 *  input        : [size: sample_count] samples; only read
 *  sample_count : number of samples; <= 0 measures and writes nothing
 *  agc          : record from SetupAGC
 *  impulse      : non-zero when input is an impulse response
 *  output       : [size: sample_count] scaled samples; may be input */
AMI_EXPORT void ApplyAGC(const double *input, int sample_count, AGC agc, int impulse, double *output);

/* Frees the two cells once; the record and its copies must not be used
 * afterwards. Safe on a zero-filled record.
 *  agc : record from SetupAGC */
AMI_EXPORT void DeleteAGC(AGC agc);

/* Figures of merit. Each forms the pulse p = I2P(impulse, n, S, dt) and its
 * cursor m, the index of the largest |p[i]| (first of equal maxima, 0 when
 * all are zero). They return 0.0 when n < 1, S < 1 or the pulse cannot be
 * allocated. */

/* Peak amplitude that any data pattern can produce at the cursor phase:
 * |p[m]| plus, when n > S, |p[(m + k*S) mod n]| for k = 1..K, K the smallest
 * k with (k + 1)*S >= n.
 *  impulse : [size: n] impulse response; only read
 *  n       : samples, >= 1
 *  S       : samples per UI, >= 1
 *  dt      : sample interval, seconds */
AMI_EXPORT double MAX(const double *impulse, int n, int S, double dt);

/* Worst-case eye opening by peak distortion analysis: as MAX, with the terms
 * for k >= 1 subtracted instead of added. Same arguments as MAX. */
AMI_EXPORT double PDA(const double *impulse, int n, int S, double dt);

/* Signal-to-noise ratio of the pulse, with h = S/2 (truncated): noise
 * N = sum of p[i]^2 outside m-h <= i < m+h; signal G = sum of
 * (p[i] - threshold)^2 over m-h <= i < m+h for the samples above threshold.
 * Returns G/N when N > 0, G*1e9 otherwise.
 *  impulse   : [size: n] impulse response; only read
 *  n         : samples, >= 1
 *  S         : samples per UI, >= 1
 *  dt        : sample interval, seconds
 *  threshold : level a signal sample must exceed, any */
AMI_EXPORT double SNR(const double *impulse, int n, int S, double dt, double threshold);

AMI_END_C

#endif /* AMI_AGC_H */
