// Times in seconds or unit intervals, read from text.
#include "base/time_amount.h"

#include "base/host_error.h"
#include "base/text.h"

namespace ami_host {

TimeAmount parse_time_amount(const std::string &text)
{
    std::string number = trim(text);
    TimeAmount t;
    if (ends_with_ignoring_case(number, "UI")) {
        t.in_ui = true;
        number = trim(number.substr(0, number.size() - 2));
    } else if (ends_with_ignoring_case(number, "s")) {
        number = trim(number.substr(0, number.size() - 1));
    }
    if (!read_number(number, t.value))
        throw Error("'" + text + "' is not a time (seconds, as 1e-12, or unit intervals, as 0.01UI)");
    return t;
}

} // namespace ami_host
