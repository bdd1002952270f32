// Loads a model's shared library with dlopen and finds its entry points by
// name, as a channel simulator does; for the model tests, which check what
// a library exports without the host's diagnosis in between.
#pragma once

#include "ibis_ami_model.h"

#include <dlfcn.h>
#include <string>
#include <vector>

struct LoadedModel {
    // The entry points' types, as the public header declares them.
    using InitFn = decltype(&AMI_Init);
    using GetWaveFn = decltype(&AMI_GetWave);
    using CloseFn = decltype(&AMI_Close);

    void *handle = nullptr;
    InitFn init = nullptr;
    GetWaveFn get_wave = nullptr;
    CloseFn close = nullptr;
    std::string error;

    explicit LoadedModel(const char *path)
    {
        handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            error = dlerror();
            return;
        }
        init = reinterpret_cast<InitFn>(dlsym(handle, "AMI_Init"));
        get_wave = reinterpret_cast<GetWaveFn>(dlsym(handle, "AMI_GetWave"));
        close = reinterpret_cast<CloseFn>(dlsym(handle, "AMI_Close"));
        if (!init || !get_wave || !close)
            error = "an entry point is missing";
    }
    LoadedModel(const LoadedModel &) = delete;
    LoadedModel &operator=(const LoadedModel &) = delete;
    ~LoadedModel()
    {
        if (handle)
            dlclose(handle);
    }
    bool ok() const { return error.empty(); }

    void *symbol(const char *name) const { return dlsym(handle, name); }
};

// What AMI_Init handed back, with its texts copied.
struct InitRun {
    long result = -1;
    void *instance = nullptr;
    std::string message;    // "<null>" when no message was stored
    std::string parameters; // empty when no parameter string was stored
    bool has_parameters = false;
};

// Calls AMI_Init on `matrix` (null when empty) with `parameters` (null when
// null); the parameter-string slot starts non-null to show whether the model
// cleared it.
inline InitRun run_init(const LoadedModel &model, std::vector<double> &matrix, long row_size, long aggressors,
                        const char *parameters, double sample_interval, double bit_time)
{
    InitRun run;
    char *out = reinterpret_cast<char *>(1);
    char *msg = nullptr;
    std::string in = parameters ? parameters : "";
    run.result = model.init(matrix.empty() ? nullptr : matrix.data(), row_size, aggressors, sample_interval, bit_time,
                            parameters ? in.data() : nullptr, &out, &run.instance, &msg);
    run.message = msg ? msg : "<null>";
    run.has_parameters = out != nullptr;
    run.parameters = out ? out : "";
    return run;
}
