/* Decision feedback equalizer block. */
#ifndef AMI_DFE_H
#define AMI_DFE_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_DFE_H */
