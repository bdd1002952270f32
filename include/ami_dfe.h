/* Decision feedback equalizer block. */
#ifndef AMI_DFE_H
#define AMI_DFE_H

#include "ami_cdr.h"
#include "ami_export.h"

AMI_BEGIN_C

/* State record of a decision feedback equalizer. On an impulse response it
 * finds the main cursor and adds its taps' effect at whole UIs after it (in
 * CONTROL_AUTO first setting the taps to cancel the response there); on
 * waveform samples it adds the quantized tap feedback weighted by the
 * caller's decisions and, in CONTROL_AUTO and CONTROL_ADAPT, adapts the taps
 * by a least-mean-squares rule within [tap_min, tap_max]. CONTROL_OFF copies
 * the input. The tap array is an allocation that every copy of the record
 * shares, so tap updates carry from one apply call to the next. */
typedef struct DFE {
    int mode;              /* CONTROL_OFF, CONTROL_FIXED, CONTROL_AUTO or CONTROL_ADAPT   */
    double tap_min;        /* lower clamp of an adapted tap                               */
    double tap_max;        /* upper clamp of an adapted tap (applied after the lower one) */
    double tap_resolution; /* quantization step of a tap applied to a waveform, non-zero  */
    double gain;           /* adaptation gain                                             */
    int samples_per_bit;   /* samples per UI: spacing of the taps in an impulse response  */
    int tap_count;         /* number of taps, >= 0                                        */
    double *taps;          /* [tap_count] tap k acts k + 1 UIs after the cursor           */
} DFE;

/* Creates a DFE whose taps are a copy of initial_taps, or zeros when it is
 * null. mode_text is read by GetControlMode (its warning goes to message).
 * A negative tap_count is taken as 0. If the tap array cannot be allocated,
 * the record has tap_count 0 and null taps.
 *  tap_count       : number of taps, >= 0
 *  initial_taps    : [size: tap_count] starting taps; only read; may be null
 *  samples_per_bit : samples per UI, >= 1
 *  tap_min         : lower clamp of an adapted tap
 *  tap_max         : upper clamp of an adapted tap
 *  tap_resolution  : quantization step in the waveform flow, non-zero
 *  mode_text       : control mode word; may be null (CONTROL_OFF)
 *  gain            : adaptation gain, >= 0
 *  message         : message buffer, null-terminated; may be null
 *  message_size    : capacity of message in characters, terminator included */
AMI_EXPORT DFE SetupDFE(int tap_count, const double *initial_taps, int samples_per_bit, double tap_min,
                        double tap_max, double tap_resolution, const char *mode_text, double gain,
                        char *message, int message_size);

/* Copies input to output, then, unless the mode is CONTROL_OFF:
 * impulse non-zero: m = index of the first sample of largest magnitude (0 for
 *   an all-zero input); tap k sits at index (m + (k + 1)*samples_per_bit)
 *   modulo sample_count, wrapping round to the start (always taken in
 *   0..sample_count-1). In CONTROL_AUTO every tap k is first set to
 *   -output[i_k]*scale*samples_per_bit; then output[i_k] += tap k / scale for
 *   each k in order. Taps are neither quantized nor clamped here.
 * impulse zero: for each sample j, output[j] += floor(tap k/tap_resolution)*
 *   tap_resolution*decisions[k] for each k; then, in CONTROL_AUTO and
 *   CONTROL_ADAPT, tap k -= gain*output[j]*decisions[k], clamped below to
 *   tap_min, then above to tap_max. The same decisions serve every sample.
 * Allocates nothing. sample_count <= 0 writes nothing; null input or output
 * writes nothing; null decisions in the waveform flow (with taps) leaves the
 * copy unchanged.
 *  input        : [size: sample_count] samples; only read
 *  sample_count : number of samples
 *  dfe          : record from SetupDFE
 *  impulse      : non-zero for an impulse response, zero for waveform samples
 *  scale        : impulse flow: pulse amplitude per sample value (divided
 *                 out of each tap's effect), non-zero; unused otherwise
 *  decisions    : [size: tap_count] the caller's previous decisions, tap k
 *                 weighted by decisions[k]; read in the waveform flow only
 *  output       : [size: sample_count] result; may be input itself */
AMI_EXPORT void ApplyDFE(const double *input, int sample_count, DFE dfe, int impulse, double scale,
                         const double *decisions, double *output);

/* Frees the tap array once; the record and its copies must not be used
 * afterwards. Safe on a zero-filled record.
 *  dfe : record from SetupDFE */
AMI_EXPORT void DeleteDFE(DFE dfe);

/* Returns the sum of the squares of values[0..count-1], divided by scale
 * twice (sum/scale/scale); 0 when count <= 0 or values is null.
 *  values : [size: count] samples; only read
 *  count  : number of values
 *  scale  : divisor, non-zero */
AMI_EXPORT double ErrEnergy(const double *values, int count, double scale);

AMI_END_C

#endif /* AMI_DFE_H */
