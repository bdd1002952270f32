// The memory check: the child's resident memory (/proc/self/statm) before and
// after repeated AMI_Init/AMI_Close cycles and AMI_GetWave calls. The first
// calls may allocate for good (tables, caches), so they run before the
// measurement starts.
#include "check/check_probes.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace ami_host::check {

namespace {

constexpr int kRepeats = 32; // measured cycles and calls
constexpr long kBlock = 1000; // samples per AMI_GetWave call

double resident_mb()
{
    std::ifstream statm("/proc/self/statm");
    long size = 0, resident = 0;
    if (!(statm >> size >> resident))
        throw std::runtime_error("cannot read the resident memory from /proc/self/statm");
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

double init_close_growth(const Context &c, const ModelLibrary &library)
{
    const std::vector<double> impulse = c.impulse();
    const std::string parameters = parameter_text(c.ami);
    const auto cycle = [&] {
        DrivenInstance instance(library, c.ami);
        init_or_throw(instance, c.timing, impulse, parameters);
    };
    cycle();
    const double before = resident_mb();
    for (int i = 0; i < kRepeats; ++i)
        cycle();
    return resident_mb() - before;
}

double getwave_growth(const Context &c, const ModelLibrary &library)
{
    constexpr long warm_up = 2;
    const long spb = c.timing.samples_per_bit;
    std::vector<double> wave = data_wave(c.timing, ((kRepeats + warm_up) * kBlock + spb - 1) / spb);
    DrivenInstance instance(library, c.ami);
    init_or_throw(instance, c.timing, c.impulse(), parameter_text(c.ami));
    std::string parameters_out_problem;
    const auto call = [&](long i) { instance.get_wave(wave.data() + i * kBlock, kBlock, parameters_out_problem); };
    for (long i = 0; i < warm_up; ++i)
        call(i);
    const double before = resident_mb();
    for (long i = warm_up; i < warm_up + kRepeats; ++i)
        call(i);
    return resident_mb() - before;
}

} // namespace

std::vector<CheckResult> check_memory_growth(const Context &c, const ModelLibrary &library)
{
    const std::string cycles = std::to_string(kRepeats) + " AMI_Init/AMI_Close cycles";
    const std::string calls = std::to_string(kRepeats) + " AMI_GetWave calls of " + std::to_string(kBlock) +
                              " samples";
    const double by_init = init_close_growth(c, library);
    const bool measure_getwave = c.found.getwave_output;
    const double by_getwave = measure_getwave ? getwave_growth(c, library) : 0.0;
    const std::string bound = " (bound " + number(kMemoryGrowthLimit) + " MB)";
    if (by_init > kMemoryGrowthLimit)
        return {measured("memory_growth", CheckStatus::Fail, by_init, "MB",
                         "resident memory grew " + number(by_init) + " MB over " + cycles + bound +
                             ": AMI_Init or AMI_Close leaks")};
    if (by_getwave > kMemoryGrowthLimit)
        return {measured("memory_growth", CheckStatus::Fail, by_getwave, "MB",
                         "resident memory grew " + number(by_getwave) + " MB over " + calls + bound +
                             ": AMI_GetWave leaks")};
    return {measured("memory_growth", CheckStatus::Pass, std::max(by_init, by_getwave), "MB",
                     "resident memory grew " + number(by_init) + " MB over " + cycles +
                         (measure_getwave ? " and " + number(by_getwave) + " MB over " + calls : "") + bound)};
}

} // namespace ami_host::check
