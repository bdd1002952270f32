/* Edge and pulse shaping blocks: rise/fall, delay, slope, triangle, Rayleigh, sawtooth. */
#ifndef AMI_SHAPING_H
#define AMI_SHAPING_H

#include "ami_export.h"

AMI_BEGIN_C

/* Common to the six blocks below.
 *
 * The set-up function returns the record by value; the apply and delete
 * functions take it by value. Coefficients and sizes are plain fields fixed
 * at set-up. Histories, lines, write positions and running sums are
 * allocations that every copy of the record shares, so each apply call
 * continues where the previous one stopped. Set-up clears them all.
 *
 * Every apply function takes:
 *  in    : [size: count] input samples; only read
 *  count : number of samples; <= 0 writes nothing
 *  rec   : the record from the block's set-up
 *  reset : non-zero clears the history, line, write position and running sum
 *          after the last sample of this call (not before); honoured also
 *          when count <= 0
 *  out   : [size: count] output samples; may be in itself (each input sample
 *          is read before the output at its position is written)
 * It processes the samples in order and allocates nothing. When in or out is
 * null nothing is written (a reset is still honoured).
 *
 * If a set-up allocation fails, the record's pointers are null and apply
 * copies in to out. Delete frees the allocations once; the record and its
 * copies must not be used afterwards. Delete is safe on such a record and on a
 * zero-filled one. */

/* ---- Rise/fall filter ------------------------------------------------------ */

/* Second-order low-pass with unit gain at DC that slows the edges:
 * H(z) = (1 - q)^2 (1 + q z^-1)^2 / (1 - q^2 z^-1)^2, q = exp(-dt/rise_time).
 * A step rises monotonically from (1 - q)^2 towards 1. */
typedef struct RiseFall {
    double b0;      /* feed-forward coefficient of the newest input, (1 - q)^2 */
    double b1;      /* feed-forward coefficient of the input 1 sample back     */
    double b2;      /* feed-forward coefficient of the input 2 samples back    */
    double a1;      /* feedback coefficient of the newest output, 2 exp(-a)    */
    double a2;      /* feedback coefficient of the output 2 back, -exp(-2a)    */
    double *x_hist; /* [3] last inputs, newest first                           */
    double *y_hist; /* [2] last outputs, newest first                          */
} RiseFall;

/* Creates a rise/fall filter with cleared history; a = 2*sample_interval/
 * rise_time. A rise_time of 0 gives a filter that passes samples unchanged.
 *  sample_interval : time between samples, seconds, > 0
 *  rise_time       : edge time constant, seconds, > 0 */
AMI_EXPORT RiseFall SetRiseFall(double sample_interval, double rise_time);

/* Filters count samples (see the common rules above). */
AMI_EXPORT void ApplyRiseFall(const double *in, int count, RiseFall rec, int reset, double *out);

/* Frees x_hist and y_hist. */
AMI_EXPORT void DeleteRiseFall(RiseFall rec);

/* ---- Delay ----------------------------------------------------------------- */

/* Delays the signal by length - 1 whole samples: delay_time/sample_interval
 * rounded to the nearest whole number, halves rounded down (2.5 gives 2, 2.6
 * gives 3, anything above -0.5 up to 0.5 gives none). Zeros come out before
 * the first input does. A record with length 0 passes samples unchanged. */
typedef struct Delay {
    int length;    /* entries of line, >= 1; 0 passes samples unchanged */
    int *position; /* [1] write index into line, 0..length-1           */
    double *line;  /* [length] delay line                               */
} Delay;

/* Creates a delay with a cleared line. length is the smallest whole number,
 * at least 1, not below v = delay_time/sample_interval + 0.5. When v is not
 * above 0 (a ratio at or below -0.5), not a number, too large for an int, or
 * the line cannot be allocated, length is 0 and the delay passes samples
 * unchanged.
 *  delay_time      : delay, seconds; meaningful when > -0.5*sample_interval
 *  sample_interval : time between samples, seconds, > 0 */
AMI_EXPORT Delay SetupDelay(double delay_time, double sample_interval);

/* Delays count samples (see the common rules above). */
AMI_EXPORT void ApplyDelay(const double *in, int count, Delay rec, int reset, double *out);

/* Frees position and line. */
AMI_EXPORT void DeleteDelay(Delay rec);

/* ---- Slope ----------------------------------------------------------------- */

/* Moving average over the last r = ramp_time/sample_interval samples (the
 * oldest one interpolated), run as a recursive sum: a unit step becomes a
 * straight ramp from 1/r to 1 over r samples. Any 0 < r <= 1 passes samples
 * unchanged. K is the smallest whole number, at least 1, not below r. A
 * record with length 1 passes samples unchanged. */
typedef struct Slope {
    int length;          /* K + 1 entries of line, >= 2; 1 passes samples unchanged */
    int *position;       /* [1] write index into line, 0..length-1                  */
    double *line;        /* [length] the last length inputs                        */
    double c0;           /* weight of the new input, 1/r                           */
    double c1;           /* weight of the input K - 1 back, 1 - K/r                */
    double c2;           /* weight of the input K back, (K - 1)/r - 1              */
    double *accumulator; /* [1] running sum: the previous output                   */
} Slope;

/* Creates a slope block with cleared state. When r is not above 0 (a zero or
 * negative ramp time), is not a number, or K + 1 would not fit an int, the
 * record has length 1 and coefficients 0, and passes samples unchanged: a
 * ramp of no duration is no ramp.
 *  ramp_time       : ramp duration, seconds, > 0
 *  sample_interval : time between samples, seconds, > 0 */
AMI_EXPORT Slope SetupSlope(double ramp_time, double sample_interval);

/* Filters count samples (see the common rules above). */
AMI_EXPORT void ApplySlope(const double *in, int count, Slope rec, int reset, double *out);

/* Frees position, line and accumulator. */
AMI_EXPORT void DeleteSlope(Slope rec);

/* ---- Triangle -------------------------------------------------------------- */

/* First-order high-pass: H(z) = gain e^(-a/2) (1 - z^-1)/(1 - e^(-a) z^-1),
 * a = sample_interval/time_constant. A unit step gives gain e^(-a/2), then
 * decays by e^(-a) per sample. */
typedef struct Triangle {
    double b0;      /* weight of the new input, gain e^(-a/2)            */
    double b1;      /* weight of the previous input, -gain e^(-a/2)       */
    double a1;      /* weight of the previous output, e^(-a)              */
    double *x_hist; /* [2] last inputs, newest first                     */
    double *y_hist; /* [1] last output                                   */
} Triangle;

/* Creates a triangle block with cleared history.
 *  sample_interval : time between samples, seconds, > 0
 *  gain            : height of the step response, any finite value
 *  time_constant   : decay time constant, seconds, > 0 */
AMI_EXPORT Triangle SetTriangle(double sample_interval, double gain, double time_constant);

/* Filters count samples (see the common rules above). */
AMI_EXPORT void ApplyTriangle(const double *in, int count, Triangle rec, int reset, double *out);

/* Frees x_hist and y_hist. */
AMI_EXPORT void DeleteTriangle(Triangle rec);

/* ---- Rayleigh -------------------------------------------------------------- */

/* Third-order filter with zero gain at DC: with s = e^(-a/2) and
 * a = (sample_interval/0.431)/width, H(z) = K s (1 - z^-1)(1 + s z^-1) /
 * (1 - s^2 z^-1)^2. A unit step gives one smooth hump peaking near 0.5*gain
 * about 0.431*width after the step. */
typedef struct Rayleigh {
    double b0;      /* weight of the new input                          */
    double b1;      /* weight of the input 1 sample back                */
    double b2;      /* weight of the input 2 samples back               */
    double b3;      /* weight of the input 3 samples back               */
    double a1;      /* weight of the output 1 sample back, 3 e^(-a)     */
    double a2;      /* weight of the output 2 samples back, -3 e^(-2a)  */
    double a3;      /* weight of the output 3 samples back, e^(-3a)     */
    double *x_hist; /* [4] last inputs, newest first                    */
    double *y_hist; /* [3] last outputs, newest first                   */
} Rayleigh;

/* Creates a Rayleigh block with cleared history.
 *  sample_interval : time between samples, seconds, > 0
 *  gain            : scales the hump, whose peak is about 0.5*gain
 *  width           : hump width, seconds, > 0 */
AMI_EXPORT Rayleigh SetRayleigh(double sample_interval, double gain, double width);

/* Filters count samples (see the common rules above). */
AMI_EXPORT void ApplyRayleigh(const double *in, int count, Rayleigh rec, int reset, double *out);

/* Frees x_hist and y_hist. */
AMI_EXPORT void DeleteRayleigh(Rayleigh rec);

/* ---- Sawtooth -------------------------------------------------------------- */

/* gain times the slope block's output over r = duration/sample_interval
 * samples, minus gain times the input K samples back (K as for Slope): a unit
 * step becomes a ramp from gain/r to gain over r samples, then drops to zero.
 * A record with length 1 outputs zeros. */
typedef struct Sawtooth {
    int length;          /* K + 1 entries of line, >= 2; 1 outputs zeros          */
    int *position;       /* [1] write index into line, 0..length-1                */
    double *line;        /* [length] the last length inputs                      */
    double c0;           /* weight of the new input, gain/r                      */
    double c1;           /* weight of the input K - 1 back, (1 - K/r) gain       */
    double c2;           /* weight of the input K back, ((K - 1)/r - 1) gain     */
    double c3;           /* weight of the input K back in the output, -gain      */
    double *accumulator; /* [1] running sum: gain times the slope block's output */
} Sawtooth;

/* Creates a sawtooth block with cleared state. When r is not above 0 (a zero
 * or negative duration), is not a number, or K + 1 would not fit an int, the
 * record has length 1 and coefficients 0, and outputs zeros: a tooth of no
 * duration rises and falls within the same instant.
 *  sample_interval : time between samples, seconds, > 0
 *  gain            : height of the tooth, any finite value
 *  duration        : rise time of the tooth, seconds, > 0 */
AMI_EXPORT Sawtooth SetSawtooth(double sample_interval, double gain, double duration);

/* Filters count samples (see the common rules above). */
AMI_EXPORT void ApplySawtooth(const double *in, int count, Sawtooth rec, int reset, double *out);

/* Frees position, line and accumulator. */
AMI_EXPORT void DeleteSawtooth(Sawtooth rec);

AMI_END_C

#endif /* AMI_SHAPING_H */
