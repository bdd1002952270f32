// Number conversions in the "C" locale whatever the host's locale.
#include "c_locale.h"

#include <cstdarg>
#include <cstdio>

namespace ami {

locale_t c_locale()
{
    // For "C" with no base, the C library returns its built-in locale object
    // every time, without allocating, so there is nothing to keep or free.
    return newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
}

int format_c_v(char *buffer, std::size_t size, const char *format, va_list arguments)
{
    const locale_t host = uselocale(c_locale());
    const int written = std::vsnprintf(buffer, size, format, arguments);
    uselocale(host);
    return written;
}

} // namespace ami
