// A time given either in unit intervals or in seconds, as options and .ami
// files give jitter.
#pragma once

#include <string>

namespace ami_host {

struct TimeAmount {
    double value = 0.0;
    bool in_ui = false; // true: unit intervals; false: seconds

    double ui(double bit_time) const { return in_ui ? value : value / bit_time; }
    double seconds(double bit_time) const { return in_ui ? value * bit_time : value; }
};

// Parses a time as an option gives it: a number of seconds ("1e-12",
// "1e-12s") or of unit intervals ("0.01UI", "0.01 ui"). Numbers follow C
// conventions whatever the locale. Throws Error when the text is not one.
TimeAmount parse_time_amount(const std::string &text);

} // namespace ami_host
