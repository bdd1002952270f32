// One point of a sweep evaluated with the host's flows: the statistical flow
// and, when asked, the time-domain flow, on the point's channel with the
// point's parameter settings over the fixed ones.
#pragma once

#include "model/ami_file.h"
#include "channel/channel.h"
#include "cli/run_options.h"
#include "statistical/jitter.h"
#include "sweep/sweep_runner.h"

#include <memory>
#include <string>
#include <vector>

namespace ami_host {

// What every point of a sweep shares.
struct SweepSetup {
    Options options;               // models, fixed settings, signal and channel kind, as for a single run
    bool time_domain = false;      // run the time-domain flow too
    bool ber_eye = false;          // analyse the statistical eye at the target ratio too
    Impairments impairments;       // the jitter and noise that eye sees
    AmiFile tx, rx;                // read when that side has a model
    std::vector<Channel> channels; // in the grid's order

    const AmiFile *tx_ami() const { return options.tx_model.empty() ? nullptr : &tx; }
    const AmiFile *rx_ami() const { return options.rx_model.empty() ? nullptr : &rx; }
};

// The name of the embedded line among a sweep's channels.
constexpr const char *kDefaultChannel = "default";

// The channel a sweep names: the embedded line for "default", else a
// response file of the options' channel kind.
Channel sweep_channel(const std::string &name, const Options &options);

// The figures of merit of each point, in the evaluator's order.
std::vector<std::string> sweep_metrics(bool time_domain, bool ber_eye);

// The parameter string of one side ("tx" or "rx") at a point: the .ami
// defaults, the fixed overrides, then the point's. Throws Error for settings
// the .ami file refuses.
std::string point_parameters(const SweepSetup &setup, const SweepGrid &grid, const SweepPoint &point,
                             const std::string &side);

// Each worker loads the models once and runs every point on fresh instances.
EvaluatorFactory sweep_evaluator(std::shared_ptr<const SweepSetup> setup);

} // namespace ami_host
