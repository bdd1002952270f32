/* Compiles every public header as strict C99: the headers are the contract
 * that a C host program sees. */
#include "IBIS_AMI_tree.h"
#include "ami_export.h"

int public_headers_c99_anchor(void);
int public_headers_c99_anchor(void)
{
    AmiTree tree = {"Root", 0, 0};
    AmiToken token = {0, 0};
    (void)token;
    return tree.count + AMI_TREE;
}
