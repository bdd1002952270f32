// The time-domain flow over the whole stimulus, in AMI_GetWave blocks.
#include "time_domain.h"

#include "convolver.h"
#include "host_error.h"
#include "prbs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace ami_host {

namespace {

// Calls AMI_GetWave over consecutive blocks of `wave`; `each` runs after
// every call with the output parameter string the call handed out.
template <typename After>
void in_blocks(ModelInstance &model, std::vector<double> &wave, long block_size, double *clock_times,
               Progress &progress, long &calls, After each)
{
    const size_t total = wave.size();
    for (size_t start = 0; start < total; start += static_cast<size_t>(block_size)) {
        const long size = static_cast<long>(std::min(total - start, static_cast<size_t>(block_size)));
        const std::string parameters_out = model.get_wave(wave.data() + start, size, clock_times);
        ++calls;
        each(parameters_out);
        progress.update(static_cast<double>(start + static_cast<size_t>(size)) / static_cast<double>(total));
    }
}

} // namespace

TimeDomainRun run_time_domain(const TimeDomainSettings &settings, ModelInstance *tx,
                              const std::vector<double> &kernel, ModelInstance *rx, Progress &progress)
{
    TimeDomainRun run;
    run.bits = prbs_bits(settings.prbs_order, static_cast<size_t>(settings.bits));
    const size_t per_bit = static_cast<size_t>(settings.samples_per_bit);
    std::vector<double> wave(run.bits.size() * per_bit);
    for (size_t i = 0; i < run.bits.size(); ++i)
        std::fill_n(wave.begin() + static_cast<long>(i * per_bit), per_bit, run.bits[i] ? 0.5 : -0.5);

    if (tx != nullptr) {
        progress.start("Tx AMI_GetWave");
        in_blocks(*tx, wave, settings.block_size, nullptr, progress, run.tx_calls, [](const std::string &) {});
        progress.finish();
    }

    progress.start("channel convolution");
    run.output.resize(wave.size());
    Convolver convolver(kernel);
    convolver.apply(wave.data(), wave.size(), run.output.data(), [&](double f) { progress.update(f); });
    progress.finish();
    std::vector<double>().swap(wave);

    if (rx != nullptr) {
        // Room for a clock at every sample, the terminator, and a guard slot
        // that must stay untouched.
        const size_t capacity = static_cast<size_t>(settings.block_size) + 1;
        std::vector<double> clock_times(capacity + 1, -1.0);
        clock_times[capacity] = std::numeric_limits<double>::quiet_NaN();
        progress.start("Rx AMI_GetWave");
        in_blocks(*rx, run.output, settings.block_size, clock_times.data(), progress, run.rx_calls,
                  [&](const std::string &parameters_out) {
                      run.rx_parameters_out = parameters_out;
                      if (!std::isnan(clock_times[capacity]))
                          throw Error("the " + rx->library().label() +
                                      " wrote past the clock_times array of " + std::to_string(capacity) +
                                      " slots");
                      for (size_t i = 0; i < capacity && clock_times[i] != -1.0; ++i)
                          run.clock_times.push_back(clock_times[i]);
                      std::fill(clock_times.begin(), clock_times.end() - 1, -1.0);
                  });
        progress.finish();
    }
    return run;
}

} // namespace ami_host
