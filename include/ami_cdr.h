/* Control modes and the bang-bang clock and data recovery block. */
#ifndef AMI_CDR_H
#define AMI_CDR_H

#include "ami_export.h"

AMI_BEGIN_C

/* Control modes read from a mode word by GetControlMode. */
#define CONTROL_OFF 0   /* "off", "Off", and any word not listed below */
#define CONTROL_FIXED 1 /* "fixed", "Fixed"                            */
#define CONTROL_AUTO 2  /* "auto", "Auto", "on", "On"                  */
#define CONTROL_ADAPT 3 /* "adapt", "Adapt"                            */

/* Optimization modes read from a mode word by GetOptMode. */
#define OPT_OFF 0 /* "off", "Off", and any word not listed below */
#define OPT_ON 1  /* "on", "On"                                  */

/* Returns the control mode named by mode_text, compared whole and exactly
 * (case as listed above). Any other text, null included, gives CONTROL_OFF
 * and appends three pieces to message, each with ErrPrt (so each carries its
 * own "**Error** " prefix and is dropped alone when it does not fit):
 * "**Warning** Control mode ", the text, and
 * " not recognized. Defaulting to \"off\".\n".
 *  mode_text    : null-terminated mode word; may be null
 *  message      : message buffer, null-terminated; may be null
 *  message_size : capacity of message in characters, terminator included */
AMI_EXPORT int GetControlMode(const char *mode_text, char *message, int message_size);

/* As GetControlMode for the optimization modes: OPT_ON for "on" and "On",
 * OPT_OFF otherwise; other text appends the pieces "Optimization mode ", the
 * text, and " not recognized. Defaulting to \"off\".\n", each with ErrPrt.
 *  mode_text    : null-terminated mode word; may be null
 *  message      : message buffer, null-terminated; may be null
 *  message_size : capacity of message in characters, terminator included */
AMI_EXPORT int GetOptMode(const char *mode_text, char *message, int message_size);

/* State record of the bang-bang clock and data recovery loop. It samples the
 * waveform at each recovered clock edge (edge tick) and data_offset samples
 * later (data tick), compares the edge decision with the data decisions on
 * either side, and in CONTROL_AUTO or CONTROL_ADAPT moves its clock by phase
 * steps of step UI; in the other modes the clock runs free with a period of
 * (1 + freq_offset) UI.
 *
 * The plain fields are fixed at set-up (reference_enabled also through
 * EnableReferenceClk). Every pointer field is an allocation of its own that
 * every copy of the record shares, so each apply call continues where the
 * previous one stopped. S below is samples_per_bit, S/2 its truncated half,
 * dt the sample interval given to apply, and a UI is S*dt seconds.
 *
 * Sample n (counted over every apply call since set-up) lies at time
 * T = sample_count_low*dt + sample_count_high*(dt*2147483647.0). */
typedef struct CDR {
    double *clock_phase;             /* [1] time of the last edge tick modulo the UI, seconds           */
    int mode;                        /* CONTROL_OFF..CONTROL_ADAPT; AUTO and ADAPT track phase          */
    double step;                     /* phase step, fraction of a UI                                    */
    int *threshold;                  /* [1] net decisions needed for a step, 0 up to count_limit        */
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
    int *vote_accumulator;           /* [1] early decisions minus late decisions since the last step    */
    int count_limit;                 /* upper limit of threshold                                        */
    double *reference_time;          /* [1] reference clock time waiting for the next edge tick, seconds */
    double *previous_reference_time; /* [1] reference time used at the last adjustment, seconds        */
    int reference_enabled;           /* non-zero: follow the reference clock times                      */
} CDR;

/* Creates a CDR loop with its clock at the start of the waveform. mode_text
 * is read by GetControlMode (its warning goes to message). flip_time below
 * 0.0 is stored as 0.0. A history_length or samples_per_bit below 1 is
 * stored as 1 with the warning "CDR: History length must be greater than or
 * equal to 1. Setting History length equal to 1.\n\n" or "CDR: Samples per
 * bit must be greater than or equal to 1. Setting Samples per bit equal to
 * 1.\n\n" appended by WarnPrt. If an allocation fails, every pointer of the
 * record is null and ApplyCDR does nothing.
 *  mode_text       : control mode word; may be null (CONTROL_OFF)
 *  step            : phase step, fraction of a UI, >= 0 (e.g. 1/64)
 *  count_limit     : upper limit of the step threshold, >= 0
 *  freq_offset     : relative frequency offset, > -1 (0 for none)
 *  history_length  : data decisions kept, >= 1
 *  samples_per_bit : whole samples per UI, >= 1
 *  feedback        : slicer feedback coefficient, any finite value
 *  flip_time       : seconds; the data decision made in the UI before it is
 *                    inverted; <= 0 for none
 *  message         : message buffer, null-terminated; may be null
 *  message_size    : capacity of message in characters, terminator included */
AMI_EXPORT CDR SetupCDR(const char *mode_text, double step, int count_limit, double freq_offset,
                        int history_length, int samples_per_bit, double feedback, double flip_time,
                        char *message, int message_size);

/* Runs the loop over wave_size samples. At each edge tick it writes the tick
 * time (seconds, from the first sample ever processed) into clock_times[k],
 * k counting up from clock_index, and sets the next slot to -1.0. A positive
 * value found in slot clock_index on entry, or in the slot after each written
 * time, is taken as a reference clock time (and replaced by -1.0); it is
 * followed only when reference_enabled is non-zero. At most one clock time is
 * written per sample, so wave_size + 1 slots from clock_index on always
 * suffice. Allocates nothing.
 * Returns the slot after the last clock time written (clock_index when none
 * was). When wave_size <= 0, wave or clock_times is null, or clock_index < 0,
 * it touches nothing and returns clock_index.
 *  wave            : [size: wave_size] samples; only read
 *  wave_size       : number of samples
 *  cdr             : record from SetupCDR
 *  sample_interval : time between samples, seconds, > 0
 *  clock_index     : first slot of clock_times to use, >= 0
 *  clock_times     : [size: clock_index + wave_size + 1] clock times,
 *                    seconds, read and written */
AMI_EXPORT int ApplyCDR(const double *wave, int wave_size, CDR cdr, double sample_interval,
                        int clock_index, double *clock_times);

/* Frees the record's cells and data_history once; the record and its copies
 * must not be used afterwards. Safe on a zero-filled record.
 *  cdr : record from SetupCDR */
AMI_EXPORT void DeleteCDR(CDR cdr);

/* Turns the reference clock on (non-zero) or off (0) by storing enable in
 * cdr->reference_enabled. Call it on the record that is then handed to
 * ApplyCDR. Does nothing when cdr is null.
 *  cdr    : the caller's stored record
 *  enable : non-zero to follow the reference clock times */
AMI_EXPORT void EnableReferenceClk(CDR *cdr, int enable);

AMI_END_C

#endif /* AMI_CDR_H */
