// Finds the plotting scripts, runs them and checks their pictures.
#include "plots.h"

#include "host_error.h"
#include "python_script.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

namespace ami_host {

namespace {

bool non_empty_file(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0;
}

} // namespace

std::string script_beside_executable(const std::string &name)
{
    std::error_code failed;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", failed);
    if (failed)
        throw Error("cannot find the plotting script: where this program lies is unknown (" + failed.message() +
                    "); give it with --plot-script, or use --no-plots");
    const std::filesystem::path here = self.parent_path();
    const std::filesystem::path candidates[] = {here / name, here.parent_path() / "share" / "ami_host" / name};
    for (const std::filesystem::path &candidate : candidates)
        if (non_empty_file(candidate.string()))
            return candidate.string();
    throw Error("cannot find the plotting script " + name + " in '" + candidates[0].parent_path().string() +
                "' or '" + candidates[1].parent_path().string() + "'; give it with --plot-script, or use --no-plots");
}

std::string default_plot_script() { return script_beside_executable("plot_results.py"); }

namespace {

// Runs `script` with `arguments` and returns those of `pictures` in `dir`
// that it wrote, after removing any left from an earlier run.
std::vector<std::string> run_plotting(const std::string &python, const std::string &script,
                                      const std::vector<std::string> &arguments,
                                      const std::vector<std::string> &pictures, const std::string &dir)
{
    // Pictures of an earlier run must not pass for this run's.
    for (const std::string &name : pictures)
        unlink((dir + "/" + name).c_str());
    run_python_script(python, script, arguments);
    std::vector<std::string> written;
    for (const std::string &name : pictures) {
        const std::string path = dir + "/" + name;
        if (non_empty_file(path))
            written.push_back(path);
    }
    if (written.empty())
        throw Error("the plotting script wrote no picture into '" + dir + "'");
    return written;
}

} // namespace

std::vector<std::string> draw_plots(const std::string &python, const std::string &script_option,
                                    const std::string &dir)
{
    const std::string script = script_option.empty() ? default_plot_script() : script_option;
    if (!non_empty_file(script))
        throw Error("the plotting script '" + script + "' is missing");
    return run_plotting(python, script, {dir}, {"eye.png", "responses.png", "clock.png"}, dir);
}

std::vector<std::string> draw_stat_eye_plots(const std::string &python, const std::string &script,
                                             const std::string &dir)
{
    return run_plotting(python, script, {dir + "/report.json", dir}, {"stat_eye.png", "bathtubs.png"}, dir);
}

} // namespace ami_host
