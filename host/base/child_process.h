// Child processes for work that must not take the host down with it: a
// forked child runs a function and writes its output to a pipe; it has a
// process group of its own (so that it is killed with whatever it started)
// and dies with the host (so that nothing outlives a killed host).
//
// One child at a time, waited for:  run_child(body, timeout) -> ChildOutcome.
// Many side by side, polled:        ChildProcess: spawn(body), poll fd(),
//                                   read_available(), kill_timed_out(), wait().
#pragma once

#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>

namespace ami_host {

// What a child runs: it writes its output to `fd` (with write_all) and
// returns its exit status. An exception that escapes it ends the child with
// status 1 and its message on stderr.
using ChildBody = std::function<int(int fd)>;

// How a child ended.
struct ChildOutcome {
    int exit_status = -1;        // its exit status when it exited; -1 otherwise
    int signal = 0;              // the signal that ended it (SIGKILL when it timed out); 0 when it exited
    bool timed_out = false;      // killed at its deadline
    double timeout_seconds = 0;  // that deadline, when it timed out
    std::string output;          // what it wrote (run_child; a ChildProcess's reader keeps its own)

    // "exited with status 3", "killed by signal SIGSEGV (Segmentation fault)", "no result within 5 s".
    std::string ending() const;
};

// Writes all of `text` to `fd`, through interruptions and partial writes;
// false when it cannot (the reader is gone).
bool write_all(int fd, std::string_view text);

// "SIGSEGV (Segmentation fault)"; the number when the signal has no name.
std::string signal_name(int sig);

// One child process. The host must fork it from its main thread (the
// parent-death signal follows the forking thread).
class ChildProcess {
public:
    ChildProcess() = default;
    ChildProcess(ChildProcess &&other) noexcept;
    ChildProcess &operator=(ChildProcess &&other) noexcept;
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;
    ~ChildProcess(); // a child still running is killed, with its group, and reaped

    // Starts `body` in a new child; this one must not be running. Throws
    // std::runtime_error when no pipe or process can be made.
    void spawn(const ChildBody &body);

    bool running() const { return pid_ > 0; } // spawned and not yet waited for
    pid_t pid() const { return pid_; }        // also its process group; -1 when not running
    int fd() const { return fd_; }            // its output, non-blocking, to poll; -1 once it ended

    // Appends the output that is there to `into` without blocking; false
    // once the output has ended (every writer closed it), which closes fd().
    bool read_available(std::string &into);

    // Kills the child and its group with SIGKILL.
    void kill();
    // Kills them because no result came within `seconds`, which wait() reports.
    void kill_timed_out(double seconds);

    // Closes the output (read it first: a child still writing gets EPIPE),
    // waits for the child to end, kills what is left of its group and reaps
    // the child. Blocks until the child ends: call it once the output ended
    // or after a kill.
    ChildOutcome wait();

private:
    void reset() noexcept; // kills and reaps a running child, closes the output
    void close_output();

    pid_t pid_ = -1;
    int fd_ = -1;
    bool timed_out_ = false;
    double timeout_seconds_ = 0;
};

// Runs `body` in a child, collects its output and waits for it to end; kills
// it, with its group, when its output has not ended after `timeout_seconds`.
ChildOutcome run_child(const ChildBody &body, double timeout_seconds);

} // namespace ami_host
