// The statistical flow: one impulse column through both models' AMI_Init.
#include "statistical/init_flow.h"

#include "base/host_error.h"

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

// Runs one model's AMI_Init on the matrix (columns of `row_size`) in place.
InitOutcome initialise(const FlowModel &model, std::vector<double> &column, double sample_interval,
                       double bit_time, long row_size = 0)
{
    const std::vector<double> before = column;
    const long rows = row_size > 0 ? row_size : static_cast<long>(column.size());
    const long aggressors = static_cast<long>(column.size()) / rows - 1;
    InitOutcome outcome = model.instance->init(column, rows, aggressors, sample_interval, bit_time, model.parameters);
    const ModelLibrary &library = model.instance->library();
    if (outcome.status == 0) {
        std::string message = outcome.message.empty() ? "(no message)" : outcome.message;
        while (!message.empty() && message.back() == '\n')
            message.pop_back();
        throw ModelFault("the " + library.label() + " '" + library.path() +
                         "' failed: AMI_Init returned 0 with the message:\n" + message);
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
                                  double bit_time, int samples_per_bit, const FlowModel &tx, const FlowModel &rx,
                                  const std::vector<std::vector<double>> &aggressors,
                                  const std::vector<FlowModel> &aggressor_tx)
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
    const size_t rows = static_cast<size_t>(result.row_size);
    for (size_t k = 0; k < aggressors.size(); ++k) {
        std::vector<double> aggressor(rows, 0.0);
        std::copy_n(aggressors[k].begin(), std::min(rows, aggressors[k].size()), aggressor.begin());
        if (k < aggressor_tx.size() && aggressor_tx[k].instance != nullptr)
            initialise(aggressor_tx[k], aggressor, sample_interval, bit_time);
        column.insert(column.end(), aggressor.begin(), aggressor.end());
        result.aggressors_into_rx.push_back(aggressor);
    }
    if (rx.instance != nullptr) {
        result.rx_init = initialise(rx, column, sample_interval, bit_time, result.row_size);
        result.stages.push_back(stage("after Rx", std::vector<double>(column.begin(), column.begin() + result.row_size),
                                      samples_per_bit, sample_interval));
    }
    for (size_t k = 1; k <= aggressors.size(); ++k)
        result.aggressors.emplace_back(column.begin() + static_cast<long>(k * rows),
                                       column.begin() + static_cast<long>((k + 1) * rows));
    return result;
}

} // namespace ami_host
