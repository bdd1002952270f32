/* Signal-processing block library: every block and numeric helper that the
 * models are built from. */
#ifndef NEROVA_AMI_MODEL_H
#define NEROVA_AMI_MODEL_H

#include "ami_complex.h"
#include "ami_tx_ffe.h"
#include "ami_fir.h"
#include "ami_peaking_filter.h"
#include "ami_table.h"
#include "ami_patterns.h"
#include "ami_shaping.h"
#include "ami_cdr.h"
#include "ami_dfe.h"
#include "ami_agc.h"

#endif /* NEROVA_AMI_MODEL_H */
