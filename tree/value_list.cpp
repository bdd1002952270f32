// string2DoubleArray and stringArraySize: lists of numbers written as text.
#include "IBIS_AMI_tree.h"
#include "scan_number.h"

#include <array>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kMaxValues = 512; // later numbers are dropped

bool is_delimiter(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == '"' || c == ',';
}

// Calls `visit` with the first character of each word of `text`.
template <typename Visit> void for_each_word(const char *text, Visit visit)
{
    if (text == nullptr)
        return;
    bool in_word = false;
    for (const char *c = text; *c != '\0'; ++c) {
        const bool word_character = !is_delimiter(*c);
        if (word_character && !in_word)
            visit(c);
        in_word = word_character;
    }
}

} // namespace

extern "C" double *string2DoubleArray(const char *text, int *count)
{
    std::array<double, kMaxValues> values;
    int held = 0;
    for_each_word(text, [&](const char *word) {
        if (held < kMaxValues && ami::scan_double(word, &values[held]))
            ++held;
    });
    // Never a null result, even for no values: callers release what they get.
    double *result = static_cast<double *>(std::malloc(sizeof(double) * (held > 0 ? held : 1)));
    if (result == nullptr)
        held = 0;
    else if (held > 0)
        std::memcpy(result, values.data(), sizeof(double) * held);
    if (count != nullptr)
        *count = held;
    return result;
}

extern "C" int stringArraySize(const char *text)
{
    int words = 0;
    for_each_word(text, [&](const char *) { ++words; });
    return words;
}
