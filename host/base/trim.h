// Text without its leading and trailing blanks and tabs.
#pragma once

#include <string>

namespace ami_host {

inline std::string trim(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

} // namespace ami_host
