// The child process: the work's text travels back over a pipe, prefixed by
// one letter that says whether it is a result or an exception's message.
#include "check/isolated_run.h"

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iostream>
#include <stdexcept>

namespace ami_host {

namespace {

void write_all(int fd, const std::string &text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        done += static_cast<size_t>(n);
    }
}

[[noreturn]] void run_child(const std::function<std::string()> &work, int fd)
{
    // A fault in the model must end the child with its own signal, also where
    // a sanitizer would otherwise catch it and exit with a status.
    for (int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        signal(sig, SIG_DFL);
    int status = 0;
    std::string text;
    try {
        text = "R" + work();
    } catch (const std::exception &e) {
        text = std::string("E") + e.what();
        status = 1;
    }
    write_all(fd, text);
    close(fd);
    std::fflush(nullptr);
    _exit(status);
}

std::string signal_text(int sig)
{
    const char *abbreviation = sigabbrev_np(sig);
    const char *description = strsignal(sig);
    std::string text = "killed by signal ";
    text += abbreviation ? std::string("SIG") + abbreviation : std::to_string(sig);
    if (description)
        text += std::string(" (") + description + ")";
    return text;
}

// Reads everything the child writes until it closes the pipe or the deadline
// passes; false on the deadline.
bool read_until_closed(int fd, double timeout_seconds, std::string &text)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::duration<double>(timeout_seconds);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return false;
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0)
            return false;
        if (ready < 0)
            return true;
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        text.append(buffer, static_cast<size_t>(n));
    }
}

} // namespace

IsolatedOutcome run_isolated(const std::function<std::string()> &work, double timeout_seconds)
{
    int fds[2];
    if (pipe(fds) != 0)
        throw std::runtime_error(std::string("cannot create a pipe: ") + std::strerror(errno));
    // Whatever is buffered now would otherwise be written twice.
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
        close(fds[0]);
        close(fds[1]);
        throw std::runtime_error(std::string("cannot start a child process: ") + std::strerror(errno));
    }
    if (pid == 0) {
        close(fds[0]);
        run_child(work, fds[1]);
    }
    close(fds[1]);
    IsolatedOutcome outcome;
    std::string text;
    outcome.timed_out = !read_until_closed(fds[0], timeout_seconds, text);
    close(fds[0]);
    if (outcome.timed_out)
        kill(pid, SIGKILL);
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (outcome.timed_out) {
        char seconds[32];
        const auto end = std::to_chars(seconds, seconds + sizeof seconds, timeout_seconds).ptr;
        outcome.failure = "no result within " + std::string(seconds, end) + " s";
        outcome.signal = SIGKILL;
    } else if (WIFSIGNALED(status)) {
        outcome.signal = WTERMSIG(status);
        outcome.failure = signal_text(outcome.signal);
    } else if (!text.empty() && text[0] == 'E') {
        outcome.failure = text.substr(1);
    } else if (WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        outcome.failure = "exited with status " + std::to_string(WEXITSTATUS(status));
    } else if (text.empty() || text[0] != 'R') {
        outcome.failure = "exited without a result";
    } else {
        outcome.finished = true;
        outcome.output = text.substr(1);
    }
    return outcome;
}

} // namespace ami_host
