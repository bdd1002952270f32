// The checks' bounds in words, made from the constants the checks judge by,
// so that the report cannot state another bound than the one applied.
#include "check/check_thresholds.h"

#include "check/check_probes.h"

#include <map>

namespace ami_host {

std::string check_threshold(const std::string &name)
{
    using check::number;
    static const std::map<std::string, std::string> thresholds = {
        {"ami_file", "parses; every default within its allowed values"},
        {"library", "loads and exports AMI_Init and AMI_Close"},
        {"reserved_parameters", "GetWave_Exists and Init_Returns_Impulse agree with the exports"},
        {"parameter_echo", "AMI_parameters_out, when given, parses and names the root"},
        {"out_of_range", "a value outside the .ami's limits is refused or named in a message, else warn"},
        {"null_parameters", "survives a null parameter string; a crash only warns"},
        {"init_linearity", "pass at most " + number(check::kLinearLimit) + " relative, else warn"},
        {"init_repeatable", "two instances agree bit for bit"},
        {"samples_per_bit", "pass at most " + number(check::kSamplesPerBitWarn) + " relative, else warn"},
        {"getwave", "returns 1 with finite output; AMI_parameters_out parses"},
        {"clock_terminated", "-1 within wave_size + 1 slots in every call"},
        {"clock_bounds", "nothing written past wave_size + 1 slots"},
        {"clock_increasing", "every clock time after the one before"},
        {"clock_rate", "1 +- " + number(check::kClockRateTolerance) + " clocks/UI, else warn"},
        {"init_vs_getwave", "pass at most " + number(check::kInitGetWaveLimit) + " relative, warn up to " +
                                number(check::kInitGetWaveWarn) + " (any, when nonlinear)"},
        {"block_size", "blocks of 1, 7 and 1000 samples agree bit for bit"},
        {"instance_independence", "interleaved instances agree bit for bit with each alone"},
        {"odd_timing", "finite output"},
        {"memory_growth", "at most " + number(check::kMemoryGrowthLimit) + " MB"},
    };
    const auto found = thresholds.find(name);
    return found == thresholds.end() ? "" : found->second;
}

} // namespace ami_host
