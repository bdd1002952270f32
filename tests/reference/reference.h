// The blocks' straightforward loops, kept as they were before the fast
// versions replaced them. Compiled only into the tests, which compare the
// fast code against them bit for bit.
#pragma once

#include "ami_advanced_cdr.h"
#include "ami_fir.h"
#include "ami_peaking_filter.h"
#include "ami_shaping.h"
#include "ami_table.h"
#include "ami_tx_ffe.h"

namespace reference {

void ApplyPeakingFilter(const double *in, int count, PeakingFilter filt, int select, int reset, double *out);
void ApplyTable(const double *in, int count, Table table, double *out);
void ApplyRiseFall(const double *in, int count, RiseFall rec, int reset, double *out);
int ApplyAdvancedNerovaCDR(const double *wave, int wave_size, AdvancedNerovaCDR cdr, double sample_interval,
                           int clock_index, double *clock_times);
void ApplyTxFFE(const double *in, int count, TxFFE ffe, int reset, double *out);
void ApplyFIR(const double *in, int count, FIR fir, int set, int reset, double *out);

void I2P(double *out, const double *in, int n, int S, double dt);
void P2I(double *out, const double *in, int n, int S, double dt);
void ApplyTablePRBS(const double *in, int count, int S, double dt, Table table, double *out);
void P2PRBS(double *out, const double *in, int n, int S, double dt);
void PRBS2P(double *out, const double *in, int n, int S, double dt);

} // namespace reference
