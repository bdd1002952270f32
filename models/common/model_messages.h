// The message string of a model instance and the buffer that each message is
// formatted into before it is appended.
#pragma once

#include "IBIS_AMI_tree.h"

#include <cstring>

namespace ami {

// One message is formatted into `buffer` (at most AMI_MESSAGE_CAPACITY
// characters), then flush() appends it to the instance's text and clears it.
struct Messages {
    char **text;
    char buffer[AMI_MESSAGE_CAPACITY + 1] = {};

    void flush()
    {
        if (buffer[0] != '\0')
            *text = string_cat(*text, buffer);
        std::memset(buffer, 0, sizeof buffer);
    }

    // Formats one message with snprintf's `format` into the buffer, with
    // numbers in the C conventions whatever the host's locale, and appends it.
    void add(const char *format, ...) __attribute__((format(printf, 2, 3)));
};

} // namespace ami
