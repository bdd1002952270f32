// A growing heap text used to build messages and written parameter strings
// in time proportional to their length.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace ami {

// Appends in amortised constant time per character; an allocation failure
// drops the piece being appended and keeps what was there.
class TextBuffer {
public:
    TextBuffer() = default;
    TextBuffer(const TextBuffer &) = delete;
    TextBuffer &operator=(const TextBuffer &) = delete;
    ~TextBuffer();

    void append(std::string_view piece);
    // Appends all of `pieces` or, when the text cannot grow, none of them:
    // one message is never left without its beginning or its end.
    void append(std::initializer_list<std::string_view> pieces);
    // Appends one value formatted by snprintf with `format` (a single
    // conversion such as "%g" or "%ld"), in the "C" locale.
    void append_number(const char *format, ...) __attribute__((format(printf, 2, 3)));
    bool empty() const { return length_ == 0; }

    // Hands the text over as a malloc'd, null-terminated string that the
    // caller frees: null when nothing was appended, unless `always` is set.
    char *release(bool always = false);

private:
    bool reserve(std::size_t needed);

    char *data_ = nullptr;   // malloc'd text, null-terminated, or null
    std::size_t length_ = 0; // characters in data_, not counting the null
    std::size_t capacity_ = 0; // bytes allocated for data_
};

} // namespace ami
