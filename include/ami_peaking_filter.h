/* Peaking filter: a bank of pole/weight configurations run as IIR filters. */
#ifndef AMI_PEAKING_FILTER_H
#define AMI_PEAKING_FILTER_H

#include "ami_complex.h"
#include "ami_export.h"

AMI_BEGIN_C

/* One configuration of the bank: a sum of first-order pole sections. */
typedef struct FilterConfig {
    int index;        /* position of the configuration in the bank, from 0     */
    int pole_count;   /* number of sections held (the filter order), >= 0      */
    Complex *poles;   /* [pole_count] poles, radians per second                */
    Complex *weights; /* [pole_count] weights, each multiplied by the gain     */
} FilterConfig;

/* State record of a peaking filter of order N. The plain fields are fixed at
 * set-up; the histories are allocations that every copy of the record
 * shares, so each call continues where the previous one stopped. The
 * histories are common to all configurations.
 *
 * Configuration s computes
 *   y[n] = sum_{j=0..N} b[j]*x[n-j] + sum_{j=1..N} f[j-1]*y[n-j]
 * with b = forward_coefs[s] and f = feedback_coefs[s].
 *
 * A record with config_count 0 (all other fields zero or null) passes
 * samples through unchanged: SetupPeakingFilter returns one when its
 * arguments are out of range or an allocation fails. */
typedef struct PeakingFilter {
    int config_count;        /* number of configurations, 0 = pass-through    */
    FilterConfig *configs;   /* [config_count] the bank                       */
    int tap_count;           /* order + 1 (N + 1)                             */
    double *peak_in;         /* [N+1] element j: input j samples before the newest  */
    double *peak_out;        /* [N+1] element j: output j samples before the newest */
    double **forward_coefs;  /* [config_count][N+1] feed-forward coefficients b     */
    double **feedback_coefs; /* [config_count][N] feedback coefficients f: f[j-1]
                                weights the output j samples back                  */
} PeakingFilter;

/* Fills *config: sets index and pole_count, copies the poles, and sets each
 * weight to weights[k] * (gain + 0i). When pole_count < 1, an array is null
 * or an allocation fails, the configuration is left with pole_count 0 and
 * null arrays. The message buffer is not used.
 *  config       : record to fill; null does nothing
 *  pole_count   : number of sections, >= 0
 *  index        : position in the bank, any int
 *  gain         : real gain of the configuration, any double
 *  poles        : [size: pole_count] poles, radians per second; only read
 *  weights      : [size: pole_count] section weights; only read
 *  message      : message buffer; not used
 *  message_size : capacity of message, characters; not used */
AMI_EXPORT void SetupFilterConfig(FilterConfig *config, int pole_count, int index, double gain,
                                  const Complex *poles, const Complex *weights, char *message,
                                  int message_size);

/* Creates a peaking filter of order N = order with config_count
 * configurations and all-zero history. Configuration i is the sum of the
 * sections weights[i][k]*gains[i]*(-p)/(s - p), p = poles[i][k], each made
 * discrete for a sample interval T; its sections end at the first weight
 * (after the gain) that is exactly 0 + 0i. The response of a configuration
 * to a constant input settles to the real part of the sum of its weights
 * times its gain; imaginary parts of the coefficients are dropped (they
 * cancel for conjugate pairs of poles with conjugate weights). Everything is
 * copied; the caller keeps its arrays. Writes no message.
 * Returns a pass-through record (config_count 0) when order or config_count
 * is negative, an array needed is null, or an allocation fails.
 *  sample_interval : T, seconds, > 0
 *  order           : filter order N (sections per configuration), >= 0
 *  config_count    : number of configurations, >= 0
 *  poles           : [size: config_count] each [size: order] poles, radians
 *                    per second; only read
 *  weights         : [size: config_count] each [size: order] weights; only read
 *  gains           : [size: config_count] real gain of each configuration;
 *                    only read
 *  message         : message buffer; not written
 *  message_size    : capacity of message, characters; not used */
AMI_EXPORT PeakingFilter SetupPeakingFilter(double sample_interval, int order, int config_count,
                                            const Complex *const *poles, const Complex *const *weights,
                                            const double *gains, char *message, int message_size);

/* Filters count samples with one configuration, carrying the history over
 * from the previous call. A pass-through record copies in to out and leaves
 * the history alone. Allocates nothing. A record with configurations but a
 * null history is an internal error: the assertion "filt.peak_in" or
 * "filt.peak_out" fails and the process stops.
 *  in      : [size: count] input samples; only read
 *  count   : number of samples; <= 0 filters nothing (reset still clears)
 *  filt    : record from SetupPeakingFilter
 *  select  : configuration to run; outside 0..config_count-1 runs 0
 *  reset   : non-zero clears the history before and after this block
 *  out     : [size: count] output samples; may be in itself */
AMI_EXPORT void ApplyPeakingFilter(const double *in, int count, PeakingFilter filt, int select, int reset,
                                   double *out);

/* Frees the record's allocations once; the record and its copies must not be
 * used afterwards. Safe on a pass-through or zero-filled record.
 *  filt    : record from SetupPeakingFilter */
AMI_EXPORT void DeletePeakingFilter(PeakingFilter filt);

AMI_END_C

#endif /* AMI_PEAKING_FILTER_H */
