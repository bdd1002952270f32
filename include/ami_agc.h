/* Automatic gain control and figures of merit of an impulse response. */
#ifndef AMI_AGC_H
#define AMI_AGC_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_AGC_H */
