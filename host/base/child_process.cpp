// The child process's life: fork, a group of its own and the parent-death
// signal in the child; a non-blocking pipe in the parent; at the end, the
// group killed while the exited child still holds its id, then the child reaped.
#include "base/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <stdexcept>
#include <utility>

namespace ami_host {

namespace {

[[noreturn]] void start_child(const ChildBody &body, int fd, pid_t parent)
{
    setpgid(0, 0);
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    // The host may have died before the line above, and then nothing would kill this child.
    if (getppid() != parent)
        _exit(1);
    // A fault in the model must end the child with its own signal, also where
    // a sanitizer would otherwise catch it and exit with a status.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        signal(sig, SIG_DFL);
    // Outside the terminal's foreground group, a model printing must not stop.
    signal(SIGTTOU, SIG_IGN);
    int status = 1;
    try {
        status = body(fd);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "child process: %s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "child process: an exception\n");
    }
    close(fd);
    std::fflush(nullptr);
    _exit(status);
}

} // namespace

std::string ChildOutcome::ending() const
{
    if (timed_out) {
        char seconds[32];
        const auto end = std::to_chars(seconds, seconds + sizeof seconds, timeout_seconds).ptr;
        return "no result within " + std::string(seconds, end) + " s";
    }
    if (signal != 0)
        return "killed by signal " + signal_name(signal);
    return "exited with status " + std::to_string(exit_status);
}

bool write_all(int fd, std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = write(fd, text.data(), text.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        text.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

std::string signal_name(int sig)
{
    const char *abbreviation = sigabbrev_np(sig);
    const char *description = strsignal(sig);
    std::string text = abbreviation ? std::string("SIG") + abbreviation : std::to_string(sig);
    if (description)
        text += std::string(" (") + description + ")";
    return text;
}

ChildProcess::ChildProcess(ChildProcess &&other) noexcept
    : pid_(std::exchange(other.pid_, -1)), fd_(std::exchange(other.fd_, -1)), timed_out_(other.timed_out_),
      timeout_seconds_(other.timeout_seconds_)
{
}

ChildProcess &ChildProcess::operator=(ChildProcess &&other) noexcept
{
    if (this != &other) {
        reset();
        pid_ = std::exchange(other.pid_, -1);
        fd_ = std::exchange(other.fd_, -1);
        timed_out_ = other.timed_out_;
        timeout_seconds_ = other.timeout_seconds_;
    }
    return *this;
}

ChildProcess::~ChildProcess() { reset(); }

void ChildProcess::reset() noexcept
{
    if (running()) {
        kill();
        wait();
    }
    close_output();
}

void ChildProcess::spawn(const ChildBody &body)
{
    if (running())
        throw std::logic_error("a child process is running already");
    close_output();
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    // Whatever is buffered now would otherwise be written twice.
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error(std::string("cannot start a child process: ") + std::strerror(error));
    }
    if (pid == 0) {
        close(fds[0]);
        start_child(body, fds[1], parent);
    }
    // As in the child, so that the group exists whichever runs first.
    setpgid(pid, pid);
    close(fds[1]);
    fcntl(fds[0], F_SETFL, fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    pid_ = pid;
    fd_ = fds[0];
    timed_out_ = false;
    timeout_seconds_ = 0;
}

bool ChildProcess::read_available(std::string &into)
{
    char buffer[65536];
    while (fd_ >= 0) {
        const ssize_t n = read(fd_, buffer, sizeof buffer);
        if (n > 0)
            into.append(buffer, static_cast<size_t>(n));
        else if (n < 0 && errno == EINTR)
            continue;
        else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        else
            close_output();
    }
    return false;
}

void ChildProcess::kill()
{
    if (!running())
        return;
    // The group is gone when the child died before it had one.
    if (::kill(-pid_, SIGKILL) != 0)
        ::kill(pid_, SIGKILL);
}

void ChildProcess::kill_timed_out(double seconds)
{
    if (!running())
        return;
    timed_out_ = true;
    timeout_seconds_ = seconds;
    kill();
}

ChildOutcome ChildProcess::wait()
{
    if (!running())
        throw std::logic_error("no child process to wait for");
    close_output();
    siginfo_t info{};
    while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    // The exited child keeps its group's id from being reused until it is
    // reaped: what it started in its group goes first.
    ::kill(-pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    ChildOutcome outcome;
    if (timed_out_) {
        outcome.timed_out = true;
        outcome.timeout_seconds = timeout_seconds_;
        outcome.signal = SIGKILL;
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
    } else {
        outcome.exit_status = WEXITSTATUS(status);
    }
    pid_ = -1;
    return outcome;
}

void ChildProcess::close_output()
{
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

ChildOutcome run_child(const ChildBody &body, double timeout_seconds)
{
    using clock = std::chrono::steady_clock;
    ChildProcess child;
    child.spawn(body);
    const auto deadline = clock::now() + std::chrono::duration<double>(timeout_seconds);
    std::string output;
    while (child.fd() >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0) {
            child.kill_timed_out(timeout_seconds);
            break;
        }
        pollfd entry{child.fd(), POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(std::min<long long>(left, INT_MAX)));
        if (ready < 0 && errno != EINTR)
            throw std::runtime_error(std::string("poll: ") + std::strerror(errno));
        if (ready > 0)
            child.read_available(output);
    }
    ChildOutcome outcome = child.wait();
    outcome.output = std::move(output);
    return outcome;
}

} // namespace ami_host
