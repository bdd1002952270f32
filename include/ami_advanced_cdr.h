/* Receiver clock recovery with latency line and vote. */
#ifndef AMI_ADVANCED_CDR_H
#define AMI_ADVANCED_CDR_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_ADVANCED_CDR_H */
