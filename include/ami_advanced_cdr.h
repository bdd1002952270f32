/* Receiver clock recovery with latency line and vote. */
#ifndef AMI_ADVANCED_CDR_H
#define AMI_ADVANCED_CDR_H

#include "ami_cdr.h"
#include "ami_export.h"

AMI_BEGIN_C

/* State record of the receiver's bang-bang clock and data recovery loop. Its
 * first 24 fields are those of CDR (ami_cdr.h), in the same order and with
 * the same meaning; the phase detector's decisions then pass through a
 * latency line of `latency` data ticks and a vote over `vote` of them before
 * they move the step accumulator, and the step test is made at every data
 * tick.
 *
 * The plain fields are fixed at set-up (reference_enabled also through
 * EnableAdvancedNerovaReferenceClk). Every pointer field is an allocation of
 * its own that every copy of the record shares, so each apply call continues
 * where the previous one stopped. S below is samples_per_bit, S/2 its
 * truncated half, dt the sample interval given to apply, and a UI is S*dt
 * seconds.
 *
 * Sample n (counted over every apply call since set-up) lies at time
 * T = sample_count_low*dt + sample_count_high*(dt*2147483647.0). */
typedef struct AdvancedNerovaCDR {
    double *clock_phase;             /* [1] time of the last edge tick modulo the UI, seconds           */
    int mode;                        /* CONTROL_OFF..CONTROL_ADAPT; AUTO and ADAPT track phase          */
    double step;                     /* phase step, fraction of a UI                                    */
    int *threshold;                  /* [1] net votes needed for a step, 0 up to count_limit            */
    double freq_offset;              /* relative frequency offset; free-running period (1 + it) UI      */
    int history_length;              /* entries of data_history, >= 1                                  */
    int samples_per_bit;             /* whole samples per UI (S), >= 1                                  */
    double feedback;                 /* slicer feedback coefficient, times the previous decision        */
    double flip_time;                /* a data decision in the UI before this time, seconds, is inverted; 0: none */
    int *sample_count_low;           /* [1] running sample counter, low part, 0..2147483646             */
    int *sample_count_high;          /* [1] running sample counter, wraps of the low part               */
    double *edge_countdown;          /* [1] samples left to the next edge tick (h); 0 at set-up         */
    double *data_countdown;          /* [1] samples left to the next data tick (l); S/2 at set-up       */
    double *data_offset;             /* [1] samples from an edge tick to its data tick; S/2             */
    double *previous_sample;         /* [1] the input sample before the current one                    */
    double *data_history;            /* [history_length] data decisions, newest first; -0.5 at set-up   */
    double *data_decision;           /* [1] latest data decision, +0.5 or -0.5                          */
    double *edge_decision;           /* [1] latest edge decision, +0.5 or -0.5; 0 before the first      */
    double *retimed_data;            /* [1] retimed data level                                          */
    int *vote_accumulator;           /* [1] sum of the signs of the votes since the last step           */
    int count_limit;                 /* upper limit of threshold                                        */
    double *reference_time;          /* [1] reference clock time waiting for the next edge tick, seconds */
    double *previous_reference_time; /* [1] reference time used at the last adjustment, seconds        */
    int reference_enabled;           /* non-zero: follow the reference clock times                      */
    int *pd_history;                 /* [latency] phase-detector decisions +1, -1, 0, newest first      */
    int latency;                     /* entries of pd_history, >= 1                                     */
    int *vote_counter;               /* [1] data ticks counted in the current vote; 1 at set-up         */
    int vote;                        /* decisions summed per vote, 1..latency                           */
} AdvancedNerovaCDR;

/* Creates the loop with its clock at the start of the waveform. mode_text is
 * read by GetControlMode (its warning goes to message with message_size).
 * flip_time below 0.0 is stored as 0.0. Out-of-range values are corrected
 * with a warning appended by WarnPrt, in this order:
 *   latency < 1: "CDR: Latency must be greater than or equal to 1. Setting
 *     Latency equal to 1.\n\n", latency 1;
 *   vote < 1: "CDR: Vote must be greater than or equal to 1. Setting Vote
 *     equal to 1.\n\n", vote 1;
 *   vote > latency: "CDR: Vote must be less than or equal to Latency. Setting
 *     Vote equal to Latency.\n\n", vote = latency;
 *   history_length < 1: "CDR: History length must be greater than or equal
 *     to 1. Setting History length equal to 1.\n\n", history_length 1;
 *   samples_per_bit < 1: "CDR: Samples per bit must be greater than or equal
 *     to 1. Setting Samples per bit equal to 1.\n\n", samples_per_bit 1.
 * These warnings use a buffer size of 256, or message_size when smaller.
 * If an allocation fails, every pointer of the record is null and
 * ApplyAdvancedNerovaCDR does nothing.
 *  mode_text       : control mode word; may be null (CONTROL_OFF)
 *  step            : phase step, fraction of a UI, >= 0 (e.g. 1/64)
 *  count_limit     : upper limit of the step threshold, >= 0
 *  freq_offset     : relative frequency offset, > -1 (0 for none)
 *  history_length  : data decisions kept, >= 1
 *  latency         : data ticks a detector decision waits before its vote
 *                    counts, plus one, >= 1
 *  vote            : detector decisions summed per vote, 1..latency
 *  samples_per_bit : whole samples per UI, >= 1
 *  feedback        : slicer feedback coefficient, any finite value
 *  flip_time       : seconds; the data decision made in the UI before it is
 *                    inverted; <= 0 for none
 *  message         : message buffer, null-terminated; may be null
 *  message_size    : capacity of message in characters, terminator included */
AMI_EXPORT AdvancedNerovaCDR SetupAdvancedNerovaCDR(const char *mode_text, double step, int count_limit,
                                                    double freq_offset, int history_length, int latency,
                                                    int vote, int samples_per_bit, double feedback,
                                                    double flip_time, char *message, int message_size);

/* Runs the loop over wave_size samples. At each edge tick it writes the tick
 * time (seconds, from the first sample ever processed) into clock_times[k],
 * k counting up from clock_index, and sets the next slot to -1.0. A positive
 * value found in slot clock_index on entry, or in the slot after each written
 * time, is taken as a reference clock time (and replaced by -1.0); it is
 * followed only when reference_enabled is non-zero. At most one clock time is
 * written per sample, so wave_size + 1 slots from clock_index on always
 * suffice. Allocates nothing.
 * Returns the slot after the last clock time written, which holds -1.0 when
 * one was written (clock_index when none was). When wave_size <= 0, wave or
 * clock_times is null, or clock_index < 0, it touches nothing and returns
 * clock_index.
 *  wave            : [size: wave_size] samples; only read
 *  wave_size       : number of samples
 *  cdr             : record from SetupAdvancedNerovaCDR
 *  sample_interval : time between samples, seconds, > 0
 *  clock_index     : first slot of clock_times to use, >= 0
 *  clock_times     : [size: clock_index + wave_size + 1] clock times,
 *                    seconds, read and written */
AMI_EXPORT int ApplyAdvancedNerovaCDR(const double *wave, int wave_size, AdvancedNerovaCDR cdr,
                                      double sample_interval, int clock_index, double *clock_times);

/* Frees the record's cells and arrays once; the record and its copies must
 * not be used afterwards. Safe on a zero-filled record.
 *  cdr : record from SetupAdvancedNerovaCDR */
AMI_EXPORT void DeleteAdvancedNerovaCDR(AdvancedNerovaCDR cdr);

/* Turns the reference clock on (non-zero) or off (0) by storing enable in
 * cdr->reference_enabled. Call it on the record that is then handed to
 * ApplyAdvancedNerovaCDR. Does nothing when cdr is null.
 *  cdr    : the caller's stored record
 *  enable : non-zero to follow the reference clock times */
AMI_EXPORT void EnableAdvancedNerovaReferenceClk(AdvancedNerovaCDR *cdr, int enable);

AMI_END_C

#endif /* AMI_ADVANCED_CDR_H */
