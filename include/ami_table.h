/* Lookup table: piecewise-linear transfer curve, and nonlinearities applied to responses. */
#ifndef AMI_TABLE_H
#define AMI_TABLE_H

#include "ami_export.h"

AMI_BEGIN_C

AMI_END_C

#endif /* AMI_TABLE_H */
