/* FIR filter with taps at a fixed time spacing, read from the waveform by
 * linear interpolation, and one or more coefficient sets. */
#ifndef AMI_FIR_H
#define AMI_FIR_H

#include "ami_export.h"

AMI_BEGIN_C

/* State record of a FIR filter. Tap j stands j*tap_spacing back, that is
 * y_j = j*r samples with r = tap_spacing/sample_interval: delays[j] =
 * floor(y_j) and weights[j] = 1 - frac(y_j). The plain fields are fixed at
 * set-up; the position and history are allocations that every copy of the
 * record shares.
 *
 * A record with history_length 0 (all fields zero or null) passes samples
 * through unchanged: the set-up functions return one when their arguments are
 * out of range or an allocation fails. */
typedef struct FIR {
    int tap_count;      /* number of taps (N), >= 0                            */
    int set_count;      /* number of coefficient sets, >= 1                    */
    double **tap_sets;  /* [set_count][N] gain-scaled coefficients, [set][tap] */
    double *weights;    /* [N] weight of the nearer sample of each tap, (0, 1] */
    int *delays;        /* [N] whole-sample part of each tap's delay, >= 0     */
    int history_length; /* floor(N*r) + 2: length of history (L)               */
    int *position;      /* [1] slot of history taking the next sample, 0..L-1  */
    double *history;    /* [L] circular buffer of past input samples           */
} FIR;

/* Creates a FIR with set_count coefficient sets and all-zero history:
 * tap_sets[i][j] = gains[i] * coefficients[j][i]. Everything is copied.
 * Returns a pass-through record when an argument is out of range, a needed
 * array is null, the history would not fit an int, or an allocation fails.
 *  tap_count       : number of taps (N), >= 0
 *  set_count       : number of coefficient sets, >= 1
 *  tap_spacing     : time between adjacent taps, seconds, finite, >= 0
 *  sample_interval : time between samples, seconds, finite, > 0
 *  gains           : [size: set_count] gain of each set; only read; may be
 *                    null when tap_count is 0
 *  coefficients    : [size: tap_count x set_count] row j holds tap j of each
 *                    set, unscaled; only read; may be null when tap_count is 0 */
AMI_EXPORT FIR SetupFIR(int tap_count, int set_count, double tap_spacing, double sample_interval,
                        const double *gains, const double *const *coefficients);

/* Creates a FIR with one coefficient set: tap_sets[0][j] = *gain *
 * coefficients[j]. Same range rules as SetupFIR.
 *  tap_count       : number of taps (N), >= 0
 *  tap_spacing     : time between adjacent taps, seconds, finite, >= 0
 *  sample_interval : time between samples, seconds, finite, > 0
 *  gain            : [size: 1] gain of the set; only read; may be null when
 *                    tap_count is 0
 *  coefficients    : [size: tap_count] unscaled coefficients; only read; may
 *                    be null when tap_count is 0 */
AMI_EXPORT FIR SetupSimpleFIR(int tap_count, double tap_spacing, double sample_interval,
                              const double *gain, const double *coefficients);

/* Filters count samples with coefficient set q = tap_sets[set]:
 * out[n] = sum_j q[j] * (w_j*x[n - d_j] + (1 - w_j)*x[n - d_j - 1]), where x
 * is everything fed since set-up or the last reset (zero before). Allocates
 * nothing. A pass-through record copies in to out.
 *  in      : [size: count] input samples; only read
 *  count   : number of samples; <= 0 writes nothing
 *  fir     : record from SetupFIR or SetupSimpleFIR
 *  set     : coefficient set, clamped to 0..set_count-1
 *  reset   : non-zero clears history and position after this block
 *  out     : [size: count] output samples; may be in itself */
AMI_EXPORT void ApplyFIR(const double *in, int count, FIR fir, int set, int reset, double *out);

/* Frees the record's allocations once; the record and its copies must not be
 * used afterwards. Safe on a pass-through or zero-filled record.
 *  fir     : record from SetupFIR or SetupSimpleFIR */
AMI_EXPORT void DeleteFIR(FIR fir);

AMI_END_C

#endif /* AMI_FIR_H */
