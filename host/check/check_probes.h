// What the model checks' probes share, and the probes themselves: each probe
// of the model runs in a child process on a freshly loaded library and returns
// its results; check_ami_file runs in the host. model_check.cpp's table says
// which checks each reports and what each needs.
#pragma once

#include "check/check_result.h"
#include "check/model_drive.h"

#include <optional>
#include <string>
#include <vector>

namespace ami_host::check {

// Thresholds of the relative figures.
inline constexpr double kLinearLimit = 1e-9;       // below: AMI_Init is linear
inline constexpr double kInitGetWaveLimit = 1e-6;  // below: Init and GetWave agree
inline constexpr double kInitGetWaveWarn = 0.1;    // above: they describe different systems
inline constexpr double kSamplesPerBitWarn = 0.05; // above: the response depends on the sampling
inline constexpr double kClockRateTolerance = 0.1; // clocks per UI within 1 +- this
// Resident memory a model may gain over memory_growth's repeated calls, in MB:
// more than a few first-use allocations, far less than a leak per call.
inline constexpr double kMemoryGrowthLimit = 32.0;

// The entry points a library exports beyond AMI_Init and AMI_Close, which it
// must export to load.
struct LibraryExports {
    bool get_wave = false;
};

// What earlier checks found that decides which later checks run and how they
// judge. A probe in a child records here what it finds; the child hands the
// record back with the results.
struct Findings {
    bool ami_read = false;                 // the .ami file parses (ami_file)
    std::optional<LibraryExports> exports; // the library loads (library), exporting these
    bool init_nonlinear = false;           // AMI_Init is nonlinear (init_linearity)
    bool getwave_output = false;           // AMI_GetWave returned a finite waveform for data (getwave)
};

// What every probe shares.
struct Context {
    CheckSubject subject;
    CheckOptions options;
    AmiFile ami;
    Timing timing;
    long row_size = 0; // samples of the impulse column: 128 bits
    Findings found;

    std::vector<double> impulse() const { return channel_impulse(timing, row_size); }
};

// The checks the data run through AMI_GetWave reports, in order.
inline const std::vector<std::string> kGetWaveRunChecks = {"getwave", "clock_terminated", "clock_bounds",
                                                           "clock_increasing", "clock_rate"};

CheckResult result(const std::string &name, CheckStatus status, const std::string &detail);
CheckResult measured(const std::string &name, CheckStatus status, double figure, const std::string &unit,
                     const std::string &detail);
std::string number(double value); // four significant digits
// The first 12 bits of a response, for the picture.
CheckCurve curve(const std::string &label, const Timing &timing, const std::vector<double> &values);
bool identical(const std::vector<double> &a, const std::vector<double> &b); // bit for bit
// AMI_Init with the given parameters; throws when it returns 0.
InitCall init_or_throw(DrivenInstance &instance, const Timing &timing, const std::vector<double> &impulse,
                       const std::string &parameters);
// The column AMI_Init returns for `impulse` with the default parameters.
std::vector<double> init_impulse(const Context &c, const ModelLibrary &library, const Timing &timing,
                                 const std::vector<double> &impulse);
// A settable Integer or Float parameter with a Range or List.
bool numeric(const AmiParameter &p);

// The .ami file, read in the host: it sets c.ami.
std::vector<CheckResult> check_ami_file(Context &c);

// The library and its declarations (records c.found.exports), the parameters,
// AMI_Init (check_linearity records c.found.init_nonlinear).
std::vector<CheckResult> check_library(Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_parameter_echo(const Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_out_of_range(const Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_null_parameters(const Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_linearity(Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_repeatable(const Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_samples_per_bit(const Context &c, const ModelLibrary &library);

// AMI_GetWave.
// check_getwave_run (kGetWaveRunChecks) records c.found.getwave_output.
std::vector<CheckResult> check_getwave_run(Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_block_size(const Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_init_vs_getwave(const Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_instances(const Context &c, const ModelLibrary &library);
std::vector<CheckResult> check_odd_timing(const Context &c, const ModelLibrary &library);

// Resident memory over repeated calls.
std::vector<CheckResult> check_memory_growth(const Context &c, const ModelLibrary &library);

} // namespace ami_host::check
