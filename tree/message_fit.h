// Appends a message to a fixed-capacity message buffer only when it fits whole.
#pragma once

#include <initializer_list>
#include <string_view>

namespace ami {

// Appends the concatenation of `parts` to the null-terminated text in
// `buffer` when its length plus the text's length stays below `capacity`;
// otherwise leaves the buffer as it is. Never reads more than `capacity`
// characters of the buffer. Returns true when appended.
bool append_if_fits(char *buffer, int capacity, std::initializer_list<std::string_view> parts);

} // namespace ami
