// Running a piece of work in a child process, so that a model that crashes or
// hangs costs the work it was doing and never the host.
#pragma once

#include <functional>
#include <string>

namespace ami_host {

struct IsolatedOutcome {
    bool finished = false; // the work returned and the child exited normally
    std::string output;    // what the work returned (when finished)
    std::string failure;   // otherwise why not, in words ("killed by signal SIGSEGV (Segmentation fault)")
    int signal = 0;        // the signal that ended the child; 0 when none ended it
    bool timed_out = false;
};

// Runs `work` in a child process (run_child) and hands back the text it
// returns. A child still running after `timeout_seconds` is killed with its
// process group. An exception thrown by the work ends the child with its
// message as the failure.
IsolatedOutcome run_isolated(const std::function<std::string()> &work, double timeout_seconds);

} // namespace ami_host
