// Scripts run as child processes, found where the plotting script lies.
#include "python_script.h"

#include "host_error.h"
#include "plots.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char **environ;

namespace ami_host {

std::string host_script(const std::string &name)
{
    const std::filesystem::path script = std::filesystem::path(default_plot_script()).parent_path() / name;
    std::error_code failed;
    if (!std::filesystem::is_regular_file(script, failed))
        throw Error("cannot find the script " + name + " in '" + script.parent_path().string() + "'");
    return script.string();
}

void run_python_script(const std::string &python, const std::string &script,
                       const std::vector<std::string> &arguments)
{
    std::string interpreter = python;
    if (interpreter.empty())
        interpreter = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    std::vector<std::string> words = {interpreter, script};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int started = posix_spawnp(&child, interpreter.c_str(), nullptr, nullptr, argv.data(), environ);
    if (started != 0)
        throw Error("cannot start '" + interpreter + "' to run " + script + ": " + std::strerror(started));
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw Error("lost the process running " + script + ": " + std::strerror(errno));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Error("the script failed (" + interpreter + " " + script +
                    "); it needs Python 3 with matplotlib and numpy (Debian: python3-matplotlib)");
}

} // namespace ami_host
