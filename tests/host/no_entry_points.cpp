// A shared library that is not an IBIS-AMI model: it exports no entry point.
extern "C" __attribute__((visibility("default"))) int not_a_model(void) { return 0; }
