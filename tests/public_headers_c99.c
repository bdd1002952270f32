/* Compiles every public header as strict C99: the headers are the contract
 * that a C host program sees. */
#include "IBIS_AMI_tree.h"
#include "Nerova_AMI_Model.h"
#include "Quorvane_pelisk4.h"
#include "ami_advanced_cdr.h"
#include "ami_agc.h"
#include "ami_cdr.h"
#include "ami_complex.h"
#include "ami_dfe.h"
#include "ami_export.h"
#include "ami_fir.h"
#include "ami_patterns.h"
#include "ami_peaking_filter.h"
#include "ami_shaping.h"
#include "ami_table.h"
#include "ami_tx_ffe.h"
#include "dorvex8_tx.h"
#include "ibis_ami_model.h"

int public_headers_c99_anchor(void);
int public_headers_c99_anchor(void)
{
    TxInstance tx = {0};
    RxInstance rx = {0};
    Complex c = {0.0, 0.0};
    AmiToken token = {0, 0};
    (void)token;
    (void)c;
    (void)rx;
    return tx.tree.count + AMI_TREE;
}
