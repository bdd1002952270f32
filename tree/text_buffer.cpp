// A growing heap text used to build messages and written parameter strings.
#include "text_buffer.h"
#include "c_locale.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace ami {

TextBuffer::~TextBuffer()
{
    std::free(data_);
}

bool TextBuffer::reserve(std::size_t needed)
{
    if (needed <= capacity_)
        return true;
    if (needed > SIZE_MAX / 2)
        return false;
    std::size_t capacity = capacity_ < 64 ? 64 : capacity_;
    while (capacity < needed)
        capacity *= 2;
    char *grown = static_cast<char *>(std::realloc(data_, capacity));
    if (grown == nullptr)
        return false;
    data_ = grown;
    capacity_ = capacity;
    return true;
}

void TextBuffer::append(std::string_view piece)
{
    append({piece});
}

void TextBuffer::append(std::initializer_list<std::string_view> pieces)
{
    std::size_t added = 0;
    for (std::string_view piece : pieces)
        added += piece.size();
    if (!reserve(length_ + added + 1))
        return;
    for (std::string_view piece : pieces) {
        if (!piece.empty())
            std::memcpy(data_ + length_, piece.data(), piece.size());
        length_ += piece.size();
    }
    data_[length_] = '\0';
}

void TextBuffer::append_number(const char *format, ...)
{
    char text[64]; // enough for any single "%g", "%ld", "%d" or "%hd"
    va_list arguments;
    va_start(arguments, format);
    const int written = format_c_v(text, sizeof text, format, arguments);
    va_end(arguments);
    if (written > 0)
        append({text, static_cast<std::size_t>(written) < sizeof text ? static_cast<std::size_t>(written)
                                                                       : sizeof text - 1});
}

char *TextBuffer::release(bool always)
{
    if (data_ == nullptr && always)
        append({});
    char *text = data_;
    data_ = nullptr;
    length_ = capacity_ = 0;
    return text;
}

} // namespace ami
