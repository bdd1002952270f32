/* Lookup table: piecewise-linear transfer curve, and nonlinearities applied to responses. */
#ifndef AMI_TABLE_H
#define AMI_TABLE_H

#include "ami_export.h"

AMI_BEGIN_C

/* A memoryless transfer curve given by points (x[i], y[i]), interpolated
 * linearly between points and held at the end values outside them. It never
 * changes after SetTable, so one table may serve any number of streams.
 * A record with npts 0 and null arrays passes samples through unchanged:
 * SetTable returns one when an array is null or an allocation fails. */
typedef struct Table {
    int npts;  /* number of points, 2..16777214 (0 when passing through)  */
    double *x; /* [npts] input values of the points, strictly increasing  */
    double *y; /* [npts] output values of the points                      */
} Table;

/* Creates a table holding copies of x and y. A point count outside
 * 2..16777214 is an internal error: the assertion
 * "npts > 1 && npts < 0xffffff" fails and the process stops; so does an x
 * that does not increase strictly ("x[indx] > x[indx-1]", NaN included).
 * Returns a pass-through record when x or y is null or an allocation fails.
 *  npts : number of points, 2..16777214
 *  x    : [size: npts] input values, strictly increasing; only read
 *  y    : [size: npts] output values, any; only read */
AMI_EXPORT Table SetTable(int npts, const double *x, const double *y);

/* Maps each sample through the curve: y[0] at or below x[0], y[npts-1]
 * above x[npts-1], linear interpolation between the two enclosing points
 * otherwise; NaN gives NaN. Allocates nothing. A pass-through record (npts
 * below 1 or a null array) copies in to out. A degenerate search, reachable
 * only with a hand-made one-point record and a NaN, fails the assertion
 * "hi != lo" and stops the process.
 *  in    : [size: count] input samples; only read
 *  count : number of samples; <= 0 writes nothing
 *  table : record from SetTable
 *  out   : [size: count] output samples; may be in itself */
AMI_EXPORT void ApplyTable(const double *in, int count, Table table, double *out);

/* Frees the table's arrays; the record and its copies must not be used
 * afterwards. Safe on a pass-through or zero-filled record.
 *  table : record from SetTable */
AMI_EXPORT void DeleteTable(Table table);

/* Applies the table to an impulse response by way of one period of the PRBS7
 * waveform: impulse -> PRBS7 period (I2PRBS), table on every sample, PRBS7
 * period -> impulse (PRBS2I). Allocates one scratch period per call.
 * When the limits below are not met, or the scratch allocation fails, out
 * becomes a copy of in.
 *  in              : [size: count] impulse response; only read
 *  count           : samples in the response, >= 6 and >= 127*samples_per_bit
 *  samples_per_bit : samples per UI, >= 1
 *  sample_interval : seconds, non-zero
 *  table           : record from SetTable
 *  out             : [size: count] impulse response after the table; may be in */
AMI_EXPORT void ApplyTablePRBS(const double *in, int count, int samples_per_bit, double sample_interval,
                               Table table, double *out);

/* As ApplyTablePRBS for pulse responses: the conversions are P2PRBS and
 * PRBS2P. Same arguments and limits, with in and out holding pulse responses. */
AMI_EXPORT void PulseTablePRBS(const double *in, int count, int samples_per_bit, double sample_interval,
                               Table table, double *out);

/* As ApplyTablePRBS, but every sample v of the PRBS7 period becomes
 * limit*tanh(v/limit): unit gain for small values, saturating at +/-limit.
 * Same limits; when they are not met, out becomes a copy of in.
 *  in              : [size: count] impulse response; only read
 *  count           : samples in the response, >= 6 and >= 127*samples_per_bit
 *  samples_per_bit : samples per UI, >= 1
 *  sample_interval : seconds, non-zero
 *  limit           : output level of saturation, non-zero (0 gives NaN)
 *  out             : [size: count] impulse response after the curve; may be in */
AMI_EXPORT void Apply_tanh(const double *in, int count, int samples_per_bit, double sample_interval, double limit,
                           double *out);

AMI_END_C

#endif /* AMI_TABLE_H */
