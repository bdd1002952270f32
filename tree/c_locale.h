// Numbers in parameter strings and messages follow the C conventions (a
// point before the decimals) whatever locale the host has set, without
// touching the host's locale: conversions use the "C" locale object, on the
// calling thread only.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <locale.h>

namespace ami {

// The "C" locale object: the C library's built-in one, never freed.
locale_t c_locale();

// vsnprintf with the "C" locale in force on this thread for the
// duration of the call.
int format_c_v(char *buffer, std::size_t size, const char *format, va_list arguments)
    __attribute__((format(printf, 3, 0)));

} // namespace ami
