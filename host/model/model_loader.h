// Loading an IBIS-AMI model's shared library and driving one instance of it
// through AMI_Init, AMI_GetWave and AMI_Close.
#pragma once

#include "ibis_ami_model.h"
#include "model/model_call_guard.h"

#include <string>
#include <vector>

namespace ami_host {

// A model library opened with dlopen, its entry points found with dlsym.
class ModelLibrary {
public:
    // The entry points' types, as the public header declares them.
    using InitFn = decltype(&AMI_Init);
    using GetWaveFn = decltype(&AMI_GetWave);
    using CloseFn = decltype(&AMI_Close);

    // `label` names the model in messages ("Tx model"). Throws Error when the
    // file is missing, is not a shared library of this host's width, cannot
    // be loaded, or lacks AMI_Init or AMI_Close.
    ModelLibrary(const std::string &path, const std::string &label);
    ~ModelLibrary();
    ModelLibrary(const ModelLibrary &) = delete;
    ModelLibrary &operator=(const ModelLibrary &) = delete;

    const std::string &path() const { return path_; }
    const std::string &label() const { return label_; }
    InitFn init() const { return init_; }
    GetWaveFn get_wave() const { return get_wave_; } // null when the library has none
    CloseFn close() const { return close_; }
    // Any other exported name; null when the library has none.
    void *symbol(const char *name) const;
    // Marks the next call of `entry` (numbered across the library's
    // instances) in progress; `first_sample` as for ModelCall.
    ModelCall start_call(ModelEntry entry, long long first_sample = -1) const;

private:
    std::string path_;
    std::string label_;
    std::string fault_prefix_; // how a model fault's line begins
    void *handle_ = nullptr;
    InitFn init_ = nullptr;
    GetWaveFn get_wave_ = nullptr;
    CloseFn close_ = nullptr;
    mutable long calls_[3] = {}; // per ModelEntry
};

// What AMI_Init handed back.
struct InitOutcome {
    long status = 0;
    std::string message;        // the model's message string ("" when none)
    std::string parameters_out; // the output parameter string ("" when none)
};

// One model instance; AMI_Close runs when it goes out of scope, whenever
// AMI_Init stored an instance, also after AMI_Init returned 0.
class ModelInstance {
public:
    explicit ModelInstance(const ModelLibrary &library) : library_(library) {}
    ~ModelInstance();
    ModelInstance(const ModelInstance &) = delete;
    ModelInstance &operator=(const ModelInstance &) = delete;

    // Calls AMI_Init on `impulse_matrix` (aggressors + 1 columns of row_size
    // samples, filtered in place) with the parameter string; copies the texts
    // the model handed out.
    InitOutcome init(std::vector<double> &impulse_matrix, long row_size, long aggressors, double sample_interval,
                     double bit_time, const std::string &parameters);

    // Calls AMI_GetWave on `size` samples in place, the block that starts at
    // sample `first_sample` of the run; returns a copy of the output
    // parameter string ("" when the model hands out none). Throws Error when
    // the library has no AMI_GetWave, ModelFault when it returns 0.
    std::string get_wave(double *wave, long size, double *clock_times, long long first_sample);

    const ModelLibrary &library() const { return library_; }

private:
    const ModelLibrary &library_;
    std::vector<char> parameters_in_;
    void *memory_ = nullptr;
    bool initialised_ = false;
};

} // namespace ami_host
