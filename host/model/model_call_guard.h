// Naming a model that crashes, exits or hangs inside one of its entry
// points: what call is in progress is written down before each call, so that
// a signal handler or an exit hook can print it and end the host.
#pragma once

#include <string>

namespace ami_host {

enum class ModelEntry { Init, GetWave, Close };

// Installs the handlers for the rest of the process: a fatal signal, an
// exit() or no return within `timeout_seconds` during a model call prints one
// line on standard error naming the model, the entry point and the call, and
// ends the host with the model fault status. Only the single run installs
// them: the check and the sweep run models in child processes and judge
// them there.
void guard_model_calls(double timeout_seconds);

// "ami_host: model fault: the Rx model 'x.so' ": how the handlers' line
// begins for the model `label` ("Rx model") loaded from `path`; made once
// per model, not per call.
std::string fault_prefix(const std::string &label, const std::string &path);

// One model call in progress, for as long as it lives. Without the handlers
// it costs a flag test; with them a bounded format into a fixed buffer and
// the timer's arming.
class ModelCall {
public:
    // `who` names the model (fault_prefix's text, kept alive by the caller
    // for the call), `call` counts the calls of `entry`; `first_sample` is
    // the offset of an AMI_GetWave block in the run (-1 for the other entry
    // points).
    ModelCall(const std::string &who, ModelEntry entry, long call, long long first_sample = -1);
    ~ModelCall();
    ModelCall(const ModelCall &) = delete;
    ModelCall &operator=(const ModelCall &) = delete;
};

} // namespace ami_host
