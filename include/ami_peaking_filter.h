/* Peaking filter: a bank of pole/weight configurations run as IIR filters. */
#ifndef AMI_PEAKING_FILTER_H
#define AMI_PEAKING_FILTER_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_PEAKING_FILTER_H */
