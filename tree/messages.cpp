// Warning and error messages: prefixed texts appended to a message buffer when they fit.
#include "IBIS_AMI_tree.h"
#include "message_fit.h"

#include <cstring>

namespace ami {

bool append_if_fits(char *buffer, int capacity, std::initializer_list<std::string_view> parts)
{
    if (buffer == nullptr || capacity <= 0)
        return false;
    const size_t limit = static_cast<size_t>(capacity);
    size_t used = strnlen(buffer, limit);
    size_t total = used;
    for (std::string_view part : parts)
        total += part.size();
    if (total >= limit)
        return false;
    for (std::string_view part : parts) {
        if (part.empty())
            continue;
        std::memcpy(buffer + used, part.data(), part.size());
        used += part.size();
    }
    buffer[used] = '\0';
    return true;
}

} // namespace ami

namespace {

// Length of `text`, counting no further than `limit` characters: anything
// that long cannot fit a buffer of that capacity anyway.
std::string_view bounded_view(const char *text, int limit)
{
    if (text == nullptr)
        return {};
    return {text, strnlen(text, limit > 0 ? static_cast<size_t>(limit) : 0)};
}

} // namespace

extern "C" int WarnPrt(char *message, int message_size, const char *text)
{
    return ami::append_if_fits(message, message_size, {"**Warning** ", bounded_view(text, message_size)});
}

extern "C" int ErrPrt(char *message, int message_size, const char *text)
{
    return ami::append_if_fits(message, message_size, {"**Error** ", bounded_view(text, message_size)});
}
