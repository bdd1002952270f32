// Small IBIS-AMI models with one deliberate fault each, for the model checks:
// a gain of one half with an ideal clock (one clock time per bit), built once
// per fault (FAULT_...: writes one slot past the clock times, leaves the first
// sample of every AMI_GetWave block unscaled, crashes in its third
// AMI_GetWave call, never terminates its clock times, writes NaN in its third
// AMI_GetWave call, never returns from AMI_Init at level 1 and leaves a
// helper process of its own behind then; crashes in AMI_Init, aborts in its
// second AMI_GetWave call, calls exit(0) in AMI_Init, never returns from its
// second AMI_GetWave call, crashes in AMI_Close; hands out a parameter string
// of its root alone, shares its gain between instances, takes an
// out-of-range level without a word, crashes on a null parameter string,
// leaks 4 kB per sample through AMI_GetWave, writes 1000 slots past the
// clock times, starts a helper process that outlives AMI_Init), and a
// transmitter's way that hosts must bear: writing only the terminator into
// the clock times it is given; and a model whose AMI_Init zeroes the
// response.
#include <sys/prctl.h>
#include <unistd.h>

#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#define MODEL_API extern "C" __attribute__((visibility("default")))

#define FAULT_CLOCK_OVERRUN 1
#define FAULT_BLOCK_SIZE 2
#define FAULT_GETWAVE_CRASH 3
#define FAULT_UNTERMINATED 4
#define FAULT_NAN_OUTPUT 5
#define FAULT_INIT_HANG 6
#define FAULT_TERMINATOR_ONLY 7
#define FAULT_ZERO_RESPONSE 8
#define FAULT_INIT_CRASH 10
#define FAULT_GETWAVE_ABORT 11
#define FAULT_INIT_EXIT 12
#define FAULT_GETWAVE_HANG 13
#define FAULT_CLOSE_CRASH 14
#define FAULT_EMPTY_ROOT 20
#define FAULT_SHARED_GAIN 21
#define FAULT_SILENT_RANGE 22
#define FAULT_NULL_CRASH 23
#define FAULT_LEAK 24
#define FAULT_FAR_OVERRUN 25
#define FAULT_HELPER_PROCESS 26

namespace {

struct Instance {
    double sample_interval = 0.0;
    double bit_time = 0.0;
    long long samples_seen = 0;
    int calls = 0;
    std::string message;
};

// The gain, kept per instance, or in one place for all (FAULT_SHARED_GAIN:
// level 1 halves it again).
double shared_gain = 0.5;
char empty_root[] = "(faulty)";
char wrong_root[] = "(other (gain 0.5))";
char *volatile leaked = nullptr;

} // namespace

MODEL_API long AMI_Init(double *impulse_matrix, long row_size, long, double sample_interval, double bit_time,
                        char *AMI_parameters_in, char **AMI_parameters_out, void **AMI_memory_handle, char **msg)
{
    if (FAULT == FAULT_INIT_CRASH)
        std::raise(SIGSEGV);
    if (FAULT == FAULT_INIT_EXIT)
        std::exit(0);
    auto *model = new (std::nothrow) Instance;
    *AMI_memory_handle = model;
    if (model == nullptr)
        return 0;
    model->sample_interval = sample_interval;
    model->bit_time = bit_time;
    if (FAULT == FAULT_NULL_CRASH && AMI_parameters_in == nullptr)
        std::raise(SIGSEGV);
    const std::string parameters = AMI_parameters_in ? AMI_parameters_in : "";
    if (FAULT == FAULT_SHARED_GAIN)
        shared_gain = parameters.find("(level 1)") != std::string::npos ? 0.25 : 0.5;
    if (FAULT == FAULT_HELPER_PROCESS && fork() == 0) {
        for (int fd = 3; fd < 1024; ++fd)
            close(fd);
        prctl(PR_SET_NAME, "faulty_helper");
        for (;;)
            pause();
    }
    if (FAULT == FAULT_INIT_HANG && parameters.find("(level 1)") != std::string::npos) {
        fork();
        for (;;)
            pause();
    }
    const bool allowed = parameters.find("(level 0)") != std::string::npos ||
                         parameters.find("(level 1)") != std::string::npos || FAULT == FAULT_SILENT_RANGE;
    model->message = allowed ? "faulty: ready.\n" : "faulty: level is not 0 or 1, 0 is used.\n";
    *msg = model->message.data();
    if (AMI_parameters_out)
        *AMI_parameters_out = FAULT == FAULT_EMPTY_ROOT ? empty_root : nullptr;
    for (long i = 0; i < row_size; ++i)
        impulse_matrix[i] *= FAULT == FAULT_ZERO_RESPONSE ? 0.0 : 0.5;
    return 1;
}

MODEL_API long AMI_GetWave(double *wave, long wave_size, double *clock_times, char **AMI_parameters_out,
                           void *AMI_memory)
{
    auto *model = static_cast<Instance *>(AMI_memory);
    if (++model->calls == 3 && FAULT == FAULT_GETWAVE_CRASH)
        std::raise(SIGSEGV);
    if (model->calls == 2 && FAULT == FAULT_GETWAVE_ABORT)
        std::abort();
    while (model->calls == 2 && FAULT == FAULT_GETWAVE_HANG)
        pause();
    for (long i = FAULT == FAULT_BLOCK_SIZE ? 1 : 0; i < wave_size; ++i)
        wave[i] *= FAULT == FAULT_SHARED_GAIN ? shared_gain : 0.5;
    if (FAULT == FAULT_LEAK) {
        leaked = new char[static_cast<size_t>(wave_size) << 12];
        std::memset(leaked, 1, static_cast<size_t>(wave_size) << 12);
    }
    if (FAULT == FAULT_NAN_OUTPUT && model->calls == 3 && wave_size > 7)
        wave[7] = NAN;

    if (FAULT == FAULT_TERMINATOR_ONLY) {
        clock_times[0] = -1.0;
        return 1;
    }

    // Clock times at the first sample of every bit within this block.
    const long long per_bit = std::llround(model->bit_time / model->sample_interval);
    long k = 0;
    for (long long s = (model->samples_seen + per_bit - 1) / per_bit * per_bit; s < model->samples_seen + wave_size;
         s += per_bit)
        clock_times[k++] = static_cast<double>(s) * model->sample_interval;
    if (FAULT != FAULT_UNTERMINATED)
        clock_times[k] = -1.0;
    if (FAULT == FAULT_CLOCK_OVERRUN)
        clock_times[wave_size + 1] = -1.0; // one slot past the array
    for (long i = 1; FAULT == FAULT_FAR_OVERRUN && i <= 1000; ++i)
        clock_times[wave_size + i] = -1.0;
    model->samples_seen += wave_size;
    if (AMI_parameters_out)
        *AMI_parameters_out = FAULT == FAULT_EMPTY_ROOT    ? empty_root
                              : FAULT == FAULT_SHARED_GAIN ? wrong_root
                                                           : nullptr;
    return 1;
}

MODEL_API long AMI_Close(void *AMI_memory)
{
    if (FAULT == FAULT_CLOSE_CRASH)
        std::raise(SIGSEGV);
    delete static_cast<Instance *>(AMI_memory);
    return 1;
}
