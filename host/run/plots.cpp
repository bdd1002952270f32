// Finds the plotting scripts, runs them and checks their pictures.
#include "run/plots.h"

#include "base/host_error.h"
#include "base/python_script.h"

#include <unistd.h>

#include <filesystem>

namespace ami_host {

std::string default_plot_script() { return host_script("plot_results.py"); }

namespace {

const std::vector<std::string> kResultPictures = {"eye.png", "responses.png", "clock.png"};
const std::vector<std::string> kStatEyePictures = {"stat_eye.png", "bathtubs.png"};

void remove_files(const std::string &dir, const std::vector<std::string> &names)
{
    for (const std::string &name : names)
        unlink((dir + "/" + name).c_str());
}

// Runs `script` with `arguments` and returns those of `pictures` in `dir`
// that it wrote, after removing any left from an earlier run.
std::vector<std::string> run_plotting(const std::string &python, const std::string &script,
                                      const std::vector<std::string> &arguments,
                                      const std::vector<std::string> &pictures, const std::string &dir)
{
    // Pictures of an earlier run must not pass for this run's.
    remove_files(dir, pictures);
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
    return run_plotting(python, script, {dir}, kResultPictures, dir);
}

std::vector<std::string> draw_stat_eye_plots(const std::string &python, const std::string &script,
                                             const std::string &dir)
{
    return run_plotting(python, script, {dir + "/report.json", dir}, kStatEyePictures, dir);
}

void remove_pictures(const std::string &dir)
{
    remove_files(dir, kResultPictures);
    remove_files(dir, kStatEyePictures);
}

} // namespace ami_host
