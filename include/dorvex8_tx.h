/* The transmitter model dorvex8_tx: a 2-tap FFE followed by a 12-tap shaping
 * FIR whose taps come from TX_Corner, TX_Deemph and TX_Vswing. */
#ifndef DORVEX8_TX_H
#define DORVEX8_TX_H

#include "IBIS_AMI_tree.h"
#include "ami_fir.h"
#include "ami_tx_ffe.h"
#include "ibis_ami_model.h"

AMI_BEGIN_C

/* One model instance, created by AMI_Init and released by AMI_Close. */
typedef struct TxInstance {
    TxFFE ffe;            /* the FFE: main cursor and one post-cursor, 1 UI apart */
    FIR fir;              /* the shaping FIR: 12 taps every 2e-11 s, one set      */
    AmiTree tree;         /* "dorvex8_tx": TX_Corner, TX_Deemph, TX_Vswing (int)  */
    char *parameters_out; /* output parameter string handed out by AMI_Init       */
    char *message;        /* message string handed out by AMI_Init, or null       */
} TxInstance;

AMI_END_C

#endif /* DORVEX8_TX_H */
