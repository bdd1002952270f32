// The first step of a model's AMI_Init: its instance record, and the way out
// when the instance cannot be completed.
#pragma once

#include <cstdlib>

namespace ami {

// Messages for the failures that leave no instance to own a message text.
// They are static texts that live as long as the library stays loaded; the
// host must neither free nor change them.
inline constexpr char kNoHandleMessage[] = "**Error** AMI_Init was given no place to store the model instance.\n";
inline constexpr char kNoMemoryMessage[] = "**Error** Out of memory: the model instance could not be created.\n";

inline void store_static_message(char **msg, const char *text)
{
    if (msg != nullptr)
        *msg = const_cast<char *>(text); // the host's interface is not const; nothing writes it
}

// Allocates a zero-filled instance and stores it through the host's handle at
// once, so that AMI_Close can release whatever AMI_Init goes on to build; no
// output parameter string and no message is handed out yet. Returns null,
// with a static message, when there is no handle or the allocation fails.
template <typename Instance>
Instance *new_instance(void **AMI_memory_handle, char **AMI_parameters_out, char **msg)
{
    if (AMI_parameters_out != nullptr)
        *AMI_parameters_out = nullptr;
    if (msg != nullptr)
        *msg = nullptr;
    if (AMI_memory_handle == nullptr) {
        store_static_message(msg, kNoHandleMessage);
        return nullptr;
    }
    auto *instance = static_cast<Instance *>(std::calloc(1, sizeof(Instance)));
    *AMI_memory_handle = instance;
    if (instance == nullptr)
        store_static_message(msg, kNoMemoryMessage);
    return instance;
}

// Releases an instance whose parameter trees could not be built and leaves
// the host a null handle, which AMI_GetWave and AMI_Close accept, and the
// static out-of-memory message. Returns AMI_Init's failure code.
template <typename Instance, typename Close>
long abandon_instance(Instance *instance, Close close, void **AMI_memory_handle, char **msg)
{
    close(instance);
    *AMI_memory_handle = nullptr;
    store_static_message(msg, kNoMemoryMessage);
    return 0;
}

} // namespace ami
