// Driving one model instance through the library's entry points as the checks
// need it: a null or any parameter string, clock_times with guard slots after
// the array, the entry point in call, and the stimuli the checks feed it.
#pragma once

#include "model/ami_file.h"
#include "model/model_loader.h"

#include <string>
#include <utility>
#include <vector>

namespace ami_host::check {

struct Timing {
    double bit_time = 100e-12;
    int samples_per_bit = 32;
    double sample_interval() const { return bit_time / samples_per_bit; }
};

struct InitCall {
    long status = 0;
    std::vector<double> impulse; // the column after AMI_Init
    std::string message;
    bool has_parameters_out = false;
    std::string parameters_out;
};

// What one AMI_GetWave call did with its clock_times array.
struct ClockCall {
    std::vector<double> times; // up to the -1, or up to the first slot left untouched
    bool touched = false;      // the model wrote the first slot
    bool terminated = false;   // a -1 within the wave_size + 1 slots
    long past_end = 0;         // how far past the wave_size + 1 slots the model wrote (0: not at all)
};

// A whole waveform run through AMI_GetWave in blocks.
struct WaveRun {
    std::vector<double> output;
    std::vector<ClockCall> calls;
    std::string parameters_out_problem; // why an output parameter string did not parse, "" when fine
    std::vector<double> clock_times() const; // every call's clock times in order
};

// The entry point a DrivenInstance of this process or of a child forked
// after the first call here is in ("AMI_GetWave"), "" between calls. It is
// kept in memory the children share with their parent, so that the parent can
// name the call a child crashed or hung in.
std::string entry_point_in_call();
void clear_entry_point_in_call();

// One instance; AMI_Close runs when it goes out of scope, if AMI_Init stored one.
class DrivenInstance {
public:
    DrivenInstance(const ModelLibrary &library, const AmiFile &ami) : library_(library), ami_(ami) {}
    ~DrivenInstance();
    DrivenInstance(const DrivenInstance &) = delete;
    DrivenInstance &operator=(const DrivenInstance &) = delete;

    // AMI_Init on a single column (no aggressors); a null `parameters` hands
    // the model a null string.
    InitCall init(std::vector<double> impulse, const Timing &timing, const std::string *parameters);
    // Throws std::runtime_error when AMI_GetWave returns 0.
    ClockCall get_wave(double *wave, long size, std::string &parameters_out_problem);
    WaveRun run(const std::vector<double> &input, long block_size);

private:
    const ModelLibrary &library_;
    const AmiFile &ami_;
    std::vector<char> parameters_; // kept until AMI_Close, in case the model holds on to it
    void *memory_ = nullptr;
};

// The parameter string with every settable parameter at its default, except
// those in `values` (dotted name, value text), which are written as given,
// allowed or not.
std::string parameter_text(const AmiFile &ami, const std::vector<std::pair<std::string, std::string>> &values = {});

// A smooth channel of unit DC gain (V/s): a Gaussian a third of a bit wide,
// centred a bit after the start, sampled on `timing` over `samples`.
std::vector<double> channel_impulse(const Timing &timing, long samples);

// The response to one bit of 1 V (S samples wide) of an impulse response.
std::vector<double> pulse_of(const std::vector<double> &impulse, const Timing &timing);

// NRZ data of -0.5 / +0.5 V (PRBS7) through the channel, `bits` long.
std::vector<double> data_wave(const Timing &timing, long bits);

// The largest |a - b| over the largest |b|; 0 when both are all zero.
double relative_difference(const std::vector<double> &a, const std::vector<double> &b);

} // namespace ami_host::check
