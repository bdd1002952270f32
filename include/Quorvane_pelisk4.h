/* The receiver model Quorvane_pelisk4: CTLE (a peaking filter chosen from
 * measured tables), limiting amplifier (a lookup table), edge-rate filter and
 * a bang-bang clock recovery that writes clock times. */
#ifndef QUORVANE_PELISK4_H
#define QUORVANE_PELISK4_H

#include "IBIS_AMI_tree.h"
#include "ami_advanced_cdr.h"
#include "ami_peaking_filter.h"
#include "ami_shaping.h"
#include "ami_table.h"
#include "ibis_ami_model.h"

AMI_BEGIN_C

#define RX_CTLE_CONFIGS 15  /* CTLE configurations: 3 process corners x 5 EQ settings */
#define RX_CTLE_ORDER 6     /* pole sections (slots) per configuration             */
#define RX_LIM_AMP_POINTS 201 /* points of each limiting-amplifier curve            */

/* One model instance, created by AMI_Init and released by AMI_Close. The
 * clock-times array that the host passes to AMI_GetWave needs wave_size + 1
 * slots: the clock recovery writes at most one clock time per sample, then
 * the -1.0 terminator. */
typedef struct RxInstance {
    PeakingFilter ctle;        /* the CTLE: 15 configurations of order 6            */
    Table lim_amp;             /* limiting-amplifier curve, 201 points              */
    RiseFall rise_fall;        /* edge-rate filter                                  */
    double sample_interval;    /* sample interval given to AMI_Init, seconds        */
    int eq_config;             /* validated EQ_Config, 0..4                         */
    int rx_process;            /* validated RX_Process, -1..1                       */
    int coupling_config;       /* validated Coupling_Config, 0..1                   */
    AdvancedNerovaCDR cdr;     /* clock recovery                                    */
    AmiTree input_tree;        /* "Quorvane_pelisk4": clock_recovery branch, RX_Process, EQ_Config, Coupling_Config */
    AmiTree output_tree;       /* "Quorvane_pelisk4": clock_recovery branch with phase */
    char *parameters_out;      /* parameter string most recently handed out, or null */
    char *message;             /* message string handed out by AMI_Init, or null    */
} RxInstance;

/* Gain of each CTLE configuration (all 1.0). */
AMI_EXPORT extern const double RxCTLE_gain[RX_CTLE_CONFIGS];

/* Poles of each CTLE configuration in radians per second: row r holds six
 * complex poles as re, im pairs. Unused slots hold a filler pole whose
 * residue is zero. Row r is RX_Process r/5 - 1, EQ_Config r%5. */
AMI_EXPORT extern const double RxCTLE_poles[RX_CTLE_CONFIGS][2 * RX_CTLE_ORDER];

/* Residue (section weight) of each pole, stored like RxCTLE_poles. */
AMI_EXPORT extern const double RxCTLE_pfract[RX_CTLE_CONFIGS][2 * RX_CTLE_ORDER];

/* CTLE configuration (row 0..14) for an RX_Process in -1..1 and an EQ_Config
 * in 0..4: (rx_process + 1) * 5 + eq_config; -1 for any other pair. */
AMI_EXPORT int RxCTLEGetIndex(int rx_process, int eq_config);

/* Limiting-amplifier curve (0..2) for an RX_Process in -1..1; -1 otherwise. */
AMI_EXPORT int lim_ampGetIndex(int rx_process);

/* Builds the CTLE: a peaking filter whose configuration r is row r of the
 * tables above, for samples spaced sample_interval seconds (> 0). The filter
 * belongs to the caller (DeletePeakingFilter).
 *  sample_interval : seconds, finite, > 0
 *  message         : message buffer handed to the filter's set-up (written
 *                    by nothing at present); may be null
 *  message_size    : its capacity in characters */
AMI_EXPORT PeakingFilter RxCTLEGetFilter(double sample_interval, char *message, int message_size);

AMI_END_C

#endif /* QUORVANE_PELISK4_H */
