// The first step of a model's AMI_Init: its instance record.
#pragma once

#include <cstdlib>

namespace ami {

// Allocates a zero-filled instance and stores it through the host's handle at
// once, so that AMI_Close can release whatever AMI_Init goes on to build; no
// output parameter string is handed out yet. Returns null when there is no
// handle or the allocation fails.
template <typename Instance>
Instance *new_instance(void **AMI_memory_handle, char **AMI_parameters_out)
{
    if (AMI_memory_handle == nullptr)
        return nullptr;
    auto *instance = static_cast<Instance *>(std::calloc(1, sizeof(Instance)));
    *AMI_memory_handle = instance;
    if (AMI_parameters_out != nullptr)
        *AMI_parameters_out = nullptr;
    return instance;
}

} // namespace ami
