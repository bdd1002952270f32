// Loads a model's shared library with dlopen and finds its entry points by
// name, as a channel simulator does.
#pragma once

#include <dlfcn.h>
#include <string>

struct LoadedModel {
    using InitFn = long (*)(double *, long, long, double, double, char *, char **, void **, char **);
    using GetWaveFn = long (*)(double *, long, double *, char **, void *);
    using CloseFn = long (*)(void *);

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
