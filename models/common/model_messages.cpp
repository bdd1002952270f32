// Formatting a model's messages.
#include "model_messages.h"

#include "c_locale.h"

#include <cstdarg>

namespace ami {

void Messages::add(const char *format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    format_c_v(buffer, AMI_MESSAGE_CAPACITY, format, arguments);
    va_end(arguments);
    flush();
}

} // namespace ami
