// The statistical flow: one impulse column through both models' AMI_Init.
#include "statistical.h"

#include "host_error.h"

#include <algorithm>

namespace ami_host {

namespace {

StageResponse stage(const std::string &name, const std::vector<double> &impulse, int samples_per_bit,
                    double sample_interval)
{
    StageResponse s;
    s.name = name;
    s.impulse = impulse;
    s.pulse = pulse_response(impulse, samples_per_bit, sample_interval);
    s.metrics = analyse_pulse(s.pulse, samples_per_bit, sample_interval);
    return s;
}

// Runs one model's AMI_Init on the column in place.
InitOutcome initialise(const FlowModel &model, std::vector<double> &column, double sample_interval,
                       double bit_time)
{
    const std::vector<double> before = column;
    InitOutcome outcome = model.instance->init(column, static_cast<long>(column.size()), 0, sample_interval,
                                               bit_time, model.parameters);
    const ModelLibrary &library = model.instance->library();
    if (outcome.status == 0) {
        std::string message = outcome.message.empty() ? "(no message)" : outcome.message;
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        throw Error("the " + library.label() + " '" + library.path() + "' failed: AMI_Init returned 0 with the message:\n" +
                    message);
    }
    // A model that does not return an impulse response leaves the column as it was.
    if (!model.returns_impulse)
        column = before;
    return outcome;
}

} // namespace

long impulse_row_size(size_t channel_samples, int samples_per_bit)
{
    const size_t bit = static_cast<size_t>(samples_per_bit);
    const size_t bits = std::max<size_t>((channel_samples + bit - 1) / bit + 32, 128);
    return static_cast<long>(bits * bit);
}

StatisticalResult run_statistical(const std::vector<double> &channel_impulse, double sample_interval,
                                  double bit_time, int samples_per_bit, const FlowModel &tx, const FlowModel &rx)
{
    StatisticalResult result;
    result.row_size = impulse_row_size(channel_impulse.size(), samples_per_bit);
    std::vector<double> column(static_cast<size_t>(result.row_size), 0.0);
    std::copy(channel_impulse.begin(), channel_impulse.end(), column.begin());
    result.stages.push_back(stage("channel", column, samples_per_bit, sample_interval));
    if (tx.instance != nullptr) {
        result.tx_init = initialise(tx, column, sample_interval, bit_time);
        result.stages.push_back(stage("after Tx", column, samples_per_bit, sample_interval));
    }
    if (rx.instance != nullptr) {
        result.rx_init = initialise(rx, column, sample_interval, bit_time);
        result.stages.push_back(stage("after Rx", column, samples_per_bit, sample_interval));
    }
    return result;
}

} // namespace ami_host
