// Scripts run as child processes, found where the plotting script lies.
#include "base/python_script.h"

#include "base/host_error.h"
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char **environ;

namespace ami_host {

bool non_empty_file(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

std::string host_script(const std::string &name)
{
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed)
        throw Error("cannot find the script " + name + ": where this program lies is unknown (" + failed.message() +
                    "); use --no-plots");
    const std::filesystem::path here = self.parent_path();
    const std::filesystem::path candidates[] = {here / name, here.parent_path() / "share" / "ami_host" / name};
    for (const std::filesystem::path &candidate : candidates)
        if (non_empty_file(candidate.string()))
            return candidate.string();
    throw Error("cannot find the script " + name + " in '" + candidates[0].parent_path().string() + "' or '" +
                candidates[1].parent_path().string() + "'; use --no-plots");
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
