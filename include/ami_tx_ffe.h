/* Tx FFE: the transmitter's symbol-spaced feed-forward equalizer, a FIR
 * filter whose taps are whole unit intervals apart. */
#ifndef AMI_TX_FFE_H
#define AMI_TX_FFE_H

#include "ami_export.h"

AMI_BEGIN_C

/* State record of a Tx FFE. The plain fields are fixed at set-up; the taps,
 * limits, write position and history are allocations that every copy of the
 * record shares, so each call continues where the previous one stopped.
 *
 * A record with history_length 0 (and null arrays, tap_count 0) passes
 * samples through unchanged: SetupTxFFE returns one when its arguments are
 * out of range or an allocation fails. */
typedef struct TxFFE {
    int samples_per_bit; /* samples per UI: delay between adjacent taps, >= 1  */
    int tap_count;       /* number of taps, >= 1 (0 when passing through)     */
    int mode;            /* caller's tag, kept and never read by the block    */
    double *taps;        /* [tap_count] tap k weights the input k UI earlier  */
    double *max_gain;    /* [tap_count] upper limit per tap, 1.0 at set-up    */
    double *min_gain;    /* [tap_count] lower limit per tap, -1.0 at set-up   */
    double *gain_step;   /* [tap_count] quantisation step per tap, 1e-06 at set-up */
    int history_length;  /* samples_per_bit*tap_count: length of history (L)  */
    int *position;       /* [1] slot of history taking the next sample, 0..L-1 */
    double *history;     /* [L] circular buffer of the last L input samples   */
} TxFFE;

/* Creates a Tx FFE with all-zero history. The taps are copied; the limits
 * start at 1.0, -1.0 and step 1e-06. Returns a pass-through record when
 * samples_per_bit < 1, tap_count < 1, taps is null, the history would exceed
 * INT_MAX samples, or an allocation fails.
 *  samples_per_bit : samples per UI, >= 1
 *  tap_count       : number of taps, >= 1
 *  mode            : integer tag stored in the record, any value
 *  taps            : [size: tap_count] tap weights, tap 0 on the current
 *                    sample; only read */
AMI_EXPORT TxFFE SetupTxFFE(int samples_per_bit, int tap_count, int mode, const double *taps);

/* Filters count samples: out[n] = sum_k taps[k] * x[n - k*samples_per_bit],
 * where x is everything fed since set-up or the last reset (zero before).
 * Allocates nothing. A pass-through record copies in to out.
 *  in      : [size: count] input samples; only read
 *  count   : number of samples; <= 0 writes nothing
 *  ffe     : record from SetupTxFFE
 *  reset   : non-zero clears history and position after this block
 *  out     : [size: count] output samples; may be in itself */
AMI_EXPORT void ApplyTxFFE(const double *in, int count, TxFFE ffe, int reset, double *out);

/* Clamps each tap to [min_gain, max_gain] and quantises it to the nearest
 * multiple of gain_step (halves upward), storing the limits in the record.
 * A tap whose limits are not max > min, step > 0 and max - min > step is left
 * unchanged with a warning appended to message (when it fits). Does nothing
 * on a pass-through record or when a limit array is null.
 *  ffe          : record from SetupTxFFE
 *  max_gain     : [size: tap_count] upper limit per tap; only read
 *  min_gain     : [size: tap_count] lower limit per tap; only read
 *  gain_step    : [size: tap_count] quantisation step per tap, > 0; only read
 *  message      : message buffer, null-terminated; null drops the warnings
 *  message_size : capacity of message, in characters including the null */
AMI_EXPORT void AdvancedTxFFE(TxFFE ffe, const double *max_gain, const double *min_gain,
                              const double *gain_step, char *message, int message_size);

/* Frees the record's allocations once; the record and its copies must not be
 * used afterwards. Safe on a pass-through or zero-filled record.
 *  ffe     : record from SetupTxFFE */
AMI_EXPORT void DeleteTxFFE(TxFFE ffe);

AMI_END_C

#endif /* AMI_TX_FFE_H */
