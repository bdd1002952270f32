/* Signal-processing block library: every block and numeric helper that the
 * models are built from. */
#ifndef NEROVA_AMI_MODEL_H
#define NEROVA_AMI_MODEL_H

#include "ami_complex.h"
#include "ami_tx_ffe.h"
#include "ami_fir.h"

#endif /* NEROVA_AMI_MODEL_H */
