/* The three IBIS-AMI entry points through which a channel simulator drives a
 * model; both models export them under these names. */
#ifndef IBIS_AMI_MODEL_H
#define IBIS_AMI_MODEL_H

#include "ami_export.h"

AMI_BEGIN_C

/* Creates a model instance, binds `AMI_parameters_in` (null or a parameter
 * string), and equalizes the impulse matrix in place: `aggressors` + 1 columns
 * of `row_size` samples, one after the other, spaced `sample_interval`
 * seconds, for a bit time of `bit_time` seconds. Stores the instance through
 * `AMI_memory_handle` (required), the output parameter string through
 * `AMI_parameters_out` and the message string through `msg` (either may be
 * null). The texts belong to the instance. Numbers in them are read and
 * written with a point before the decimals, whatever the host's locale.
 * Returns 1 on success, 0 when the model cannot work with the given timing or
 * memory ran out; `msg` then says why (it is null only when not even the
 * message could be allocated), and the stored instance passes waveforms
 * through unchanged. When no instance can be created at all (no handle, or
 * no memory for it), a null instance is stored and `msg` points to a static
 * text that lives as long as the library is loaded: the host must neither
 * free nor change it. */
AMI_EXPORT long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
                         double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
                         void **AMI_memory_handle, char **msg);

/* Processes the next `wave_size` samples of the waveform in place, carrying
 * the filters' history from the previous call. A model with clock recovery
 * (the receiver) writes the clock times that fall in this block to
 * `clock_times` from slot 0, in seconds from the first sample it was ever
 * given, and ends them with -1.0; it writes at most one clock time per
 * sample, so `wave_size` + 1 slots always suffice. The terminator is written
 * after every call, also one that finds no clock edge or gets no samples; a
 * positive value in slot 0 on entry is taken as a reference clock time. The
 * receiver stores a new output parameter string through `AMI_parameters_out`
 * on every call (the previous one is released); the transmitter stores null.
 * Returns 1. */
AMI_EXPORT long AMI_GetWave(double *wave, long wave_size, double *clock_times, char **AMI_parameters_out,
                            void *AMI_memory);

/* Releases the instance and every text it handed out. Returns 1. */
AMI_EXPORT long AMI_Close(void *AMI_memory);

AMI_END_C

#endif /* IBIS_AMI_MODEL_H */
