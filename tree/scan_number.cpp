// Number scanning for parameter values with strtod and strtoll: cost
// proportional to the number's length, not to the rest of the string.
#include "scan_number.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>

namespace ami {
namespace {

// Reads an integer in the "%i" syntax and clamps it to [low, high], so that
// both widths agree and an overflow never wraps around.
bool scan_integer(const char *text, long long low, long long high, long long *value)
{
    char *end = nullptr;
    const int saved_errno = errno;
    const long long number = std::strtoll(text, &end, 0);
    errno = saved_errno;
    if (end == text)
        return false;
    *value = std::clamp(number, low, high);
    return true;
}

} // namespace

bool scan_double(const char *text, double *value)
{
    char *end = nullptr;
    const int saved_errno = errno;
    const double number = std::strtod(text, &end);
    errno = saved_errno;
    if (end == text)
        return false;
    // scanf takes "0x" as the start of a hexadecimal number and fails when
    // neither a hexadecimal digit nor a point follows it; strtod reads the 0.
    if ((*end == 'x' || *end == 'X') && end[-1] == '0' && end[1] != '.')
        return false;
    *value = number;
    return true;
}

bool scan_long(const char *text, long *value)
{
    long long number = 0;
    if (!scan_integer(text, LONG_MIN, LONG_MAX, &number))
        return false;
    *value = static_cast<long>(number);
    return true;
}

bool scan_int(const char *text, int *value)
{
    long long number = 0;
    if (!scan_integer(text, INT_MIN, INT_MAX, &number))
        return false;
    *value = static_cast<int>(number);
    return true;
}

bool scan_short(const char *text, short *value)
{
    long long number = 0;
    if (!scan_integer(text, SHRT_MIN, SHRT_MAX, &number))
        return false;
    *value = static_cast<short>(number);
    return true;
}

} // namespace ami
