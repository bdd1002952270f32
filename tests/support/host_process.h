// ami_host run as a user runs it, for the tests that judge it from outside:
// its exit status and what it printed.
#pragma once

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

struct HostOutcome {
    int exit_code = -1; // -1: the program did not exit normally (a crash)
    std::string out, err;
};

inline std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A path of this test process's own in the test's temporary folder; it
// ends with `name`, extension included.
inline std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "ami_host_" + std::to_string(getpid()) + "_" + name;
}

// `text` as one word of the shell, whatever it holds.
inline std::string shell_word(const std::string &text)
{
    std::string word = "'";
    for (char c : text)
        word += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return word + "'";
}

// Runs `words` (the program first) with its output in `log`.out and `log`.err.
inline HostOutcome run_logged(const std::vector<std::string> &words, const std::string &log)
{
    std::string command;
    for (const std::string &w : words)
        command += shell_word(w) + " ";
    command += ">" + shell_word(log + ".out") + " 2>" + shell_word(log + ".err");
    const int status = std::system(command.c_str());
    HostOutcome r;
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(log + ".out");
    r.err = slurp(log + ".err");
    return r;
}
