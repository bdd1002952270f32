// A minimal IBIS-AMI model of the tests' own, written against the IBIS-AMI
// interface alone: it scales its input by `gain`, can be told to fail in
// AMI_Init, and can write an ideal clock (one clock time per bit, `phase` UI
// into the bit) so that the host's reading of clock times is exercised.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#define MODEL_API extern "C" __attribute__((visibility("default")))

namespace {

struct Instance {
    double gain = 1.0;
    bool clocks = false;
    double phase = 0.0;
    double sample_interval = 0.0;
    double bit_time = 0.0;
    long long samples_seen = 0;
    std::string message;
    std::string parameters_out;
};

// Reads "(name value)" from the parameter string; false when absent.
bool value_of(const char *parameters, const char *name, double &out)
{
    const std::string key = std::string("(") + name + " ";
    const char *at = parameters ? std::strstr(parameters, key.c_str()) : nullptr;
    if (at == nullptr)
        return false;
    out = std::strtod(at + key.size(), nullptr);
    return true;
}

} // namespace

MODEL_API long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
                        double bit_time, char *AMI_parameters_in, char **AMI_parameters_out, void **AMI_memory_handle,
                        char **msg)
{
    auto *model = new (std::nothrow) Instance;
    *AMI_memory_handle = model;
    if (model == nullptr)
        return 0;
    double fail = 0.0, clocks = 0.0;
    value_of(AMI_parameters_in, "gain", model->gain);
    value_of(AMI_parameters_in, "fail_init", fail);
    value_of(AMI_parameters_in, "clocks", clocks);
    value_of(AMI_parameters_in, "phase", model->phase);
    model->clocks = clocks != 0.0;
    model->sample_interval = sample_interval;
    model->bit_time = bit_time;
    model->parameters_out = AMI_parameters_in ? AMI_parameters_in : "";
    if (AMI_parameters_out)
        *AMI_parameters_out = model->parameters_out.data();
    if (fail != 0.0) {
        model->message = "**Error** passthrough: told to fail by fail_init.\n";
        *msg = model->message.data();
        return 0;
    }
    for (long i = 0; i < row_size * (aggressors + 1); ++i)
        impulse_matrix[i] *= model->gain;
    model->message = "**Info** passthrough ready.\n";
    *msg = model->message.data();
    return 1;
}

MODEL_API long AMI_GetWave(double *wave, long wave_size, double *clock_times, char **AMI_parameters_out,
                           void *AMI_memory)
{
    auto *model = static_cast<Instance *>(AMI_memory);
    for (long i = 0; i < wave_size; ++i)
        wave[i] *= model->gain;
    if (model->clocks) {
        // Clock times (edge times) whose sampling instants, half a bit later,
        // fall `phase` UI into each bit.
        const double start = static_cast<double>(model->samples_seen) * model->sample_interval;
        const double end = start + static_cast<double>(wave_size) * model->sample_interval;
        long k = 0;
        for (double bit = std::ceil(start / model->bit_time - model->phase + 0.5);; bit += 1.0) {
            const double t = (bit + model->phase - 0.5) * model->bit_time;
            if (t >= end)
                break;
            if (t >= start)
                clock_times[k++] = t;
        }
        clock_times[k] = -1.0;
    }
    model->samples_seen += wave_size;
    if (AMI_parameters_out)
        *AMI_parameters_out = nullptr;
    return 1;
}

MODEL_API long AMI_Close(void *AMI_memory)
{
    delete static_cast<Instance *>(AMI_memory);
    return 1;
}
