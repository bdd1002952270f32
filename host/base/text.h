// Small text helpers of the host's readers: trimming, numbers in C notation
// whatever the locale, and suffixes.
#pragma once

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <string>

namespace ami_host {

// Text without its leading and trailing blanks and tabs.
inline std::string trim(const std::string &text)
{
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// The whole of `text` as a finite number, in C notation.
inline bool read_number(const std::string &text, double &out)
{
    const char *begin = text.data();
    const char *end = begin + text.size();
    const auto [stop, error] = std::from_chars(begin, end, out);
    return !text.empty() && error == std::errc() && stop == end && std::isfinite(out);
}

// `text` in lower case (ASCII letters only, whatever the locale).
inline std::string lowercase(std::string text)
{
    for (char &c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// `value` to four significant digits in C notation, whatever the locale:
// the figures of the host's messages.
inline std::string four_digits(double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4);
    return std::string(text, result.ptr);
}

inline bool ends_with_ignoring_case(const std::string &text, const std::string &suffix)
{
    const auto lower = [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); };
    if (text.size() < suffix.size())
        return false;
    return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<long>(suffix.size()),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

} // namespace ami_host
