// Running the host's Python scripts, which draw its pictures.
#pragma once

#include <string>
#include <vector>

namespace ami_host {

// Whether `path` is a regular file with something in it (a script, or a
// picture a script drew).
bool non_empty_file(const std::string &path);

// The host's script `name` (plot_results.py, plot_check.py, ...): beside
// this program, or in ../share/ami_host once installed. Throws Error when it
// is not there.
std::string host_script(const std::string &name);

// Runs `python` (empty: /usr/bin/python3 when present, else python3 on the
// path) on `script` with `arguments`, without a shell. Throws Error when it
// cannot be started or fails.
void run_python_script(const std::string &python, const std::string &script,
                       const std::vector<std::string> &arguments);

} // namespace ami_host
