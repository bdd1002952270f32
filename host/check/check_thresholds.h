// What each model check asks of a model, in words, for the check's report.
#pragma once

#include <string>

namespace ami_host {

// The bound or condition the check `name` judges by ("pass at most 1e-06
// relative, warn up to 0.1"); empty for a name the checks do not use.
std::string check_threshold(const std::string &name);

} // namespace ami_host
