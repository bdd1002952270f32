// The child process (base/child_process.h): the work's text travels back over
// its pipe, prefixed by one letter that says whether it is a result or an
// exception's message.
#include "check/isolated_run.h"

#include "base/child_process.h"

#include <exception>

namespace ami_host {

IsolatedOutcome run_isolated(const std::function<std::string()> &work, double timeout_seconds)
{
    const ChildOutcome child = run_child(
        [&work](int fd) {
            int status = 0;
            std::string text;
            try {
                text = "R" + work();
            } catch (const std::exception &e) {
                text = std::string("E") + e.what();
                status = 1;
            }
            write_all(fd, text);
            return status;
        },
        timeout_seconds);
    const std::string &text = child.output;
    IsolatedOutcome outcome;
    outcome.timed_out = child.timed_out;
    outcome.signal = child.signal;
    if (child.signal != 0)
        outcome.failure = child.ending();
    else if (!text.empty() && text[0] == 'E')
        outcome.failure = text.substr(1);
    else if (child.exit_status != 0)
        outcome.failure = child.ending();
    else if (text.empty() || text[0] != 'R')
        outcome.failure = "exited without a result";
    else {
        outcome.finished = true;
        outcome.output = text.substr(1);
    }
    return outcome;
}

} // namespace ami_host
