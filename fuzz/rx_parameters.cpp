// Fuzz target: the receiver driven by an arbitrary parameter string.
#include "model_run.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::run_model(data, size);
    return 0;
}
