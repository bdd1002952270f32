/* Conversions between impulse, step, pulse and PRBS7 responses. */
#ifndef AMI_PATTERNS_H
#define AMI_PATTERNS_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_PATTERNS_H */
