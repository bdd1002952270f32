// Runs the plotting script as a child process (no shell) and checks its pictures.
#include "plots.h"

#include "host_error.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

extern char **environ;

namespace ami_host {

namespace {

const char *const kPictures[] = {"eye.png", "responses.png", "clock.png"};

bool non_empty_file(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

} // namespace

std::vector<std::string> draw_plots(const std::string &python, const std::string &script, const std::string &dir)
{
    std::string interpreter = python;
    if (interpreter.empty())
        interpreter = access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3";
    if (!non_empty_file(script))
        throw Error("the plotting script '" + script + "' is missing");
    // Pictures of an earlier run must not pass for this run's.
    for (const char *name : kPictures)
        unlink((dir + "/" + name).c_str());
    std::vector<std::string> arguments = {interpreter, script, dir};
    std::vector<char *> argv;
    for (std::string &a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t child = 0;
    const int started = posix_spawnp(&child, interpreter.c_str(), nullptr, nullptr, argv.data(), environ);
    if (started != 0)
        throw Error("cannot start '" + interpreter + "' to draw the pictures: " + std::strerror(started));
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR)
            throw Error("lost the plotting process: " + std::string(std::strerror(errno)));
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Error("the plotting script failed (" + interpreter + " " + script +
                    "); it needs Python 3 with matplotlib and numpy (Debian: python3-matplotlib)");
    std::vector<std::string> written;
    for (const char *name : kPictures) {
        const std::string path = dir + "/" + name;
        if (non_empty_file(path))
            written.push_back(path);
    }
    if (written.empty())
        throw Error("the plotting script wrote no picture into '" + dir + "'");
    return written;
}

} // namespace ami_host
