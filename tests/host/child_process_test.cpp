// Child processes: how they end, what they write, and that none of them,
// nor what they start, outlives its deadline, its end or its parent.
#include "base/child_process.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

using ami_host::ChildOutcome;

// Starts a process of the child's own that sleeps for ever, and writes its
// process id, then a space, to `fd`.
void start_grandchild(int fd)
{
    const pid_t pid = fork();
    if (pid == 0) {
        close(fd);
        for (;;)
            pause();
    }
    ami_host::write_all(fd, std::to_string(pid) + " ");
}

// Reaps `pid` (an orphan this test adopted) and returns its wait status; -1
// when it is still alive after five seconds (and then ends it).
int reap_orphan(pid_t pid)
{
    int status = 0;
    for (int tries = 0; tries < 500; ++tries) {
        if (waitpid(pid, &status, WNOHANG) == pid)
            return status;
        usleep(10000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

struct ChildCase {
    const char *name;
    bool grandchild; // the child first starts a process of its own that sleeps
    std::function<int(int)> body;
    double timeout;
    int exit_status, signal;
    bool timed_out;
    const char *ending;
    size_t output_size; // after the grandchild's process id
};

void PrintTo(const ChildCase &c, std::ostream *out) { *out << c.name; }

class ChildEnding : public ::testing::TestWithParam<ChildCase> {};

TEST_P(ChildEnding, IsReportedAndLeavesNoProcess)
{
    const ChildCase &c = GetParam();
    // Orphans come to this test, which can then tell how they ended.
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    const ChildOutcome outcome = ami_host::run_child(
        [&c](int fd) {
            if (c.grandchild)
                start_grandchild(fd);
            return c.body(fd);
        },
        c.timeout);
    EXPECT_EQ(outcome.exit_status, c.exit_status);
    EXPECT_EQ(outcome.signal, c.signal);
    EXPECT_EQ(outcome.timed_out, c.timed_out);
    EXPECT_EQ(outcome.ending(), c.ending);
    std::string output = outcome.output;
    if (c.grandchild) {
        const size_t space = output.find(' ');
        ASSERT_NE(space, std::string::npos) << output;
        const int status = reap_orphan(std::stoi(output.substr(0, space)));
        EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        output.erase(0, space + 1);
    }
    EXPECT_EQ(output.size(), c.output_size);
    EXPECT_EQ(output.find_first_not_of('x'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Endings, ChildEnding,
    ::testing::Values(
        ChildCase{"exit_status", false, [](int fd) { return ami_host::write_all(fd, "xxx") ? 3 : 0; }, 5, 3, 0,
                  false, "exited with status 3", 3},
        // More than a pipe holds: the writes and reads come in parts.
        ChildCase{"large_output", false,
                  [](int fd) { return ami_host::write_all(fd, std::string(3 << 20, 'x')) ? 0 : 1; }, 20, 0, 0, false,
                  "exited with status 0", 3 << 20},
        ChildCase{"exception", false, [](int) -> int { throw std::runtime_error("thrown"); }, 5, 1, 0, false,
                  "exited with status 1", 0},
        ChildCase{"signal", false, [](int) { return raise(SIGSEGV); }, 5, -1, SIGSEGV, false,
                  "killed by signal SIGSEGV (Segmentation fault)", 0},
        ChildCase{"exit_kills_grandchild", true, [](int) { return 0; }, 5, 0, 0, false, "exited with status 0", 0},
        ChildCase{"timeout_kills_grandchild", true,
                  [](int) {
                      for (;;)
                          pause();
                      return 0;
                  },
                  0.5, -1, SIGKILL, true, "no result within 0.5 s", 0}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(ChildProcess, DiesWithItsParent)
{
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    const pid_t parent = fork();
    ASSERT_GE(parent, 0);
    if (parent == 0) {
        // The child says when it runs its body, its death signal set by then.
        ami_host::ChildProcess child;
        child.spawn([](int fd) {
            ami_host::write_all(fd, "ready");
            for (;;)
                pause();
            return 0;
        });
        std::string ready;
        for (pollfd entry{child.fd(), POLLIN, 0}; ready.empty() && poll(&entry, 1, -1) >= 0;)
            child.read_available(ready);
        ami_host::write_all(fds[1], std::to_string(child.pid()) + " ");
        for (;;)
            pause();
    }
    close(fds[1]);
    char text[32] = {};
    ASSERT_GT(read(fds[0], text, sizeof text - 1), 0);
    close(fds[0]);
    kill(parent, SIGKILL);
    int status = 0;
    ASSERT_EQ(waitpid(parent, &status, 0), parent);
    status = reap_orphan(std::stoi(text));
    EXPECT_TRUE(status != -1 && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
}

TEST(ChildProcess, DestroyedRunningIsKilledAndReaped)
{
    pid_t pid = -1;
    {
        ami_host::ChildProcess child;
        child.spawn([](int) {
            for (;;)
                pause();
            return 0;
        });
        pid = child.pid();
        EXPECT_TRUE(child.running());
    }
    EXPECT_EQ(kill(pid, 0), -1); // reaped, so gone
    EXPECT_EQ(errno, ESRCH);
}

} // namespace
