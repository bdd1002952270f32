// string_cat: the one way in which the message string and written texts grow.
#include "IBIS_AMI_tree.h"

#include <cstdlib>
#include <cstring>

extern "C" char *string_cat(char *text, const char *more)
{
    if (more == nullptr)
        return text;
    const size_t text_length = text ? std::strlen(text) : 0;
    const size_t more_length = std::strlen(more);
    char *joined = static_cast<char *>(std::malloc(text_length + more_length + 1));
    if (joined == nullptr)
        return text; // keep what there was rather than lose it
    if (text_length != 0)
        std::memcpy(joined, text, text_length);
    std::memcpy(joined + text_length, more, more_length + 1);
    std::free(text);
    return joined;
}
