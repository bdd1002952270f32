// Checks that a model library and its .ami file behave before any eye drawn
// with them is trusted: the file, the parameter echo, AMI_Init's linearity
// and repeatability, AMI_Init against AMI_GetWave, independence of the block
// size, of the samples per bit and of other instances, the clock times, and
// robustness. Every check drives the model in a child process.
#pragma once

#include "check/check_result.h"

#include <string>
#include <vector>

namespace ami_host {

// Runs every check; never throws for a fault of the model or its file (those
// are failed checks). It reports each of check_names() once, in that order.
std::vector<CheckResult> check_model(const CheckSubject &subject, const CheckOptions &options = {});

// The names of the checks, in the order check_model reports them.
std::vector<std::string> check_names();

} // namespace ami_host
