/* Control modes and the bang-bang clock and data recovery block. */
#ifndef AMI_CDR_H
#define AMI_CDR_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_CDR_H */
