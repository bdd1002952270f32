// Writing report.html with the command's script, and checking it is there.
#include "base/html_report.h"

#include "base/host_error.h"
#include "base/python_script.h"

#include <cstdio>

namespace ami_host {

namespace {

std::string page_path(const std::string &dir) { return dir + "/report.html"; }

} // namespace

void remove_html_report(const std::string &dir) { std::remove(page_path(dir).c_str()); }

std::string write_html_report(const std::string &python, const std::string &script, const std::string &dir,
                              const std::vector<std::string> &arguments)
{
    remove_html_report(dir);
    std::vector<std::string> words = {dir};
    words.insert(words.end(), arguments.begin(), arguments.end());
    run_python_script(python, script, words);
    const std::string page = page_path(dir);
    if (!non_empty_file(page))
        throw Error("the script " + script + " wrote no page '" + page + "'");
    return page;
}

} // namespace ami_host
