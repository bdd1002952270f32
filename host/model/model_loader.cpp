// The model loader: dlopen with a diagnosis of libraries that cannot be
// loaded, dlsym of the three entry points, and the instance's life cycle.
#include "model/model_loader.h"

#include "base/host_error.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <fstream>

namespace ami_host {

namespace {

// Why `path` cannot be loaded, when the file itself shows it.
std::string diagnose(const std::string &path)
{
    struct stat info {};
    if (stat(path.c_str(), &info) != 0)
        return "no such file";
    if (!S_ISREG(info.st_mode))
        return "not a regular file";
    std::ifstream in(path, std::ios::binary);
    char header[5] = {};
    in.read(header, sizeof header);
    if (in.gcount() < 5 || header[0] != 0x7f || header[1] != 'E' || header[2] != 'L' || header[3] != 'F')
        return "not a shared library (no ELF header)";
    const int bits = header[4] == 1 ? 32 : header[4] == 2 ? 64 : 0;
    const int host_bits = static_cast<int>(sizeof(void *) * 8);
    if (bits != 0 && bits != host_bits)
        return "a " + std::to_string(bits) + "-bit library cannot be loaded by this " + std::to_string(host_bits) +
               "-bit host; run the host built for " + std::to_string(bits) + " bits";
    return "";
}

} // namespace

ModelLibrary::ModelLibrary(const std::string &path, const std::string &label)
    : path_(path), label_(label), fault_prefix_(fault_prefix(label, path))
{
    const std::string problem = diagnose(path);
    if (!problem.empty())
        throw Error("cannot load the " + label + " '" + path + "': " + problem);
    // A name without a slash would be looked up on the library path.
    const std::string file = path.find('/') == std::string::npos ? "./" + path : path;
    handle_ = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_ == nullptr) {
        const char *why = dlerror();
        throw Error("cannot load the " + label + " '" + path + "': " + (why ? why : "dlopen failed"));
    }
    init_ = reinterpret_cast<InitFn>(dlsym(handle_, "AMI_Init"));
    get_wave_ = reinterpret_cast<GetWaveFn>(dlsym(handle_, "AMI_GetWave"));
    close_ = reinterpret_cast<CloseFn>(dlsym(handle_, "AMI_Close"));
    if (init_ == nullptr || close_ == nullptr) {
        dlclose(handle_);
        throw Error("the " + label + " '" + path + "' is not an IBIS-AMI model: it does not export " +
                    (init_ == nullptr ? "AMI_Init" : "AMI_Close"));
    }
}

ModelLibrary::~ModelLibrary() { dlclose(handle_); }

void *ModelLibrary::symbol(const char *name) const { return dlsym(handle_, name); }

ModelCall ModelLibrary::start_call(ModelEntry entry, long long first_sample) const
{
    return ModelCall(fault_prefix_, entry, ++calls_[static_cast<int>(entry)], first_sample);
}

ModelInstance::~ModelInstance()
{
    if (memory_ == nullptr)
        return;
    const ModelCall call = library_.start_call(ModelEntry::Close);
    library_.close()(memory_);
}

InitOutcome ModelInstance::init(std::vector<double> &impulse_matrix, long row_size, long aggressors,
                                double sample_interval, double bit_time, const std::string &parameters)
{
    // The string stays valid until AMI_Close, in case the model keeps a
    // pointer into it.
    parameters_in_.assign(parameters.begin(), parameters.end());
    parameters_in_.push_back('\0');
    char *parameters_out = nullptr;
    char *message = nullptr;
    InitOutcome outcome;
    {
        const ModelCall call = library_.start_call(ModelEntry::Init);
        outcome.status = library_.init()(impulse_matrix.data(), row_size, aggressors, sample_interval, bit_time,
                                         parameters_in_.data(), &parameters_out, &memory_, &message);
    }
    if (message != nullptr)
        outcome.message = message;
    if (parameters_out != nullptr)
        outcome.parameters_out = parameters_out;
    initialised_ = outcome.status != 0;
    return outcome;
}

std::string ModelInstance::get_wave(double *wave, long size, double *clock_times, long long first_sample)
{
    if (library_.get_wave() == nullptr)
        throw Error("the " + library_.label() + " '" + library_.path() + "' does not export AMI_GetWave");
    if (!initialised_)
        throw Error("the " + library_.label() + " was not initialised");
    char *parameters_out = nullptr;
    long status = 0;
    {
        const ModelCall call = library_.start_call(ModelEntry::GetWave, first_sample);
        status = library_.get_wave()(wave, size, clock_times, &parameters_out, memory_);
    }
    if (status == 0)
        throw ModelFault("the " + library_.label() + "'s AMI_GetWave returned 0");
    return parameters_out ? parameters_out : "";
}

} // namespace ami_host
