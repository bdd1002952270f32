/* Edge and pulse shaping blocks: rise/fall, delay, slope, triangle, Rayleigh, sawtooth. */
#ifndef AMI_SHAPING_H
#define AMI_SHAPING_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_SHAPING_H */
