// The page a person opens: report.html, written beside a command's JSON by
// the host's Python script for that command.
#pragma once

#include <string>
#include <vector>

namespace ami_host {

// Removes <dir>/report.html, so that a page of an earlier command never
// passes for this one's.
void remove_html_report(const std::string &dir);

// Runs `script` (one of the host's, as host_script finds it) with `python` on
// `dir` and then `arguments`; returns the path of the page it wrote. Throws
// Error when the script fails or writes no page.
std::string write_html_report(const std::string &python, const std::string &script, const std::string &dir,
                              const std::vector<std::string> &arguments = {});

} // namespace ami_host
