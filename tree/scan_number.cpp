// Number scanning for parameter values with strtod and strtoll in the "C"
// locale: cost proportional to the number's length, not to the rest of the
// string.
#include "scan_number.h"
#include "c_locale.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <cstdlib>

namespace ami {
namespace {

// Reads an integer in the "%i" syntax and clamps it to the range of T, so
// that both widths agree and an overflow never wraps around.
template <typename T> bool scan_integer(const char *text, T *value)
{
    char *end = nullptr;
    const int saved_errno = errno;
    const long long number = strtoll_l(text, &end, 0, c_locale());
    errno = saved_errno;
    if (end == text)
        return false;
    const long long low = std::numeric_limits<T>::min();
    const long long high = std::numeric_limits<T>::max();
    *value = static_cast<T>(std::clamp(number, low, high));
    return true;
}

} // namespace

bool scan_double(const char *text, double *value)
{
    char *end = nullptr;
    const int saved_errno = errno;
    const double number = strtod_l(text, &end, c_locale());
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
    return scan_integer(text, value);
}

bool scan_int(const char *text, int *value)
{
    return scan_integer(text, value);
}

bool scan_short(const char *text, short *value)
{
    return scan_integer(text, value);
}

} // namespace ami
