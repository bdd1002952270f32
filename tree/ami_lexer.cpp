// The lexer of the parameter string: classifies one character at a time,
// delimits word and quoted tokens, and warns about misplaced quotes.
#include "IBIS_AMI_tree.h"
#include "message_fit.h"

#include <cstring>
#include <string_view>

namespace {

bool is_white_space(char c)
{
    return c == '\t' || c == '\n' || c == '\r' || c == ' ';
}

// Characters that end a word when they follow it.
bool ends_word(char c)
{
    return c == '\0' || is_white_space(c) || c == '"' || c == '(' || c == ')';
}

bool in_value_position(int state)
{
    return state == AMI_WANT_VALUE || state == AMI_IN_VALUE;
}

bool quote_opens_value(int previous_class, int state, int strict_quotes)
{
    if (strict_quotes)
        return previous_class == AMI_SPACE && in_value_position(state);
    return (previous_class == AMI_SPACE || previous_class == AMI_OPEN) &&
           (state == AMI_WANT_NAME || in_value_position(state));
}

// A text character either continues the token of the previous character or
// starts a new one here.
void extend_token(AmiToken *token, const char *c, int previous_class)
{
    if (previous_class == AMI_TEXT) {
        ++token->length;
    } else {
        token->start = c;
        token->length = 1;
    }
}

// "Format" in name position is a keyword of some parameter files, not a name:
// it is never delivered, so the next word becomes the item's name.
bool is_format_keyword(const AmiToken *token)
{
    return token->length == 6 && std::memcmp(token->start, "Format", 6) == 0;
}

// The warning quotes the rest of the string; only as much of it is measured
// as could fit the buffer, so a long string costs nothing extra.
void warn_unexpected_quote(const char *quote, char *message, int message_size)
{
    const size_t limit = message_size > 0 ? static_cast<size_t>(message_size) : 0;
    ami::append_if_fits(message, message_size,
                        {"**Warning** Ignoring unexpected quote found at ",
                         std::string_view(quote, strnlen(quote, limit)), ".\n"});
}

} // namespace

extern "C" int AmiLexerNew(const char *c, int previous_class, int state, AmiToken *token,
                           int *in_quote, int *ready, char *message, int message_size,
                           int strict_quotes)
{
    if (c == nullptr || token == nullptr || in_quote == nullptr || ready == nullptr)
        return previous_class;
    if (*c == '\0') { // the end of the string: nothing to classify, nothing to look ahead at
        *ready = 0;
        return AMI_SPACE;
    }

    if (*in_quote) {
        if (*c == '"') {
            *in_quote = 0;
            *ready = 1;
            return previous_class;
        }
        *ready = 0;
        extend_token(token, c, previous_class);
        return AMI_TEXT;
    }

    switch (*c) {
    case '\t':
    case '\n':
    case '\r':
    case ' ':
        *ready = 0;
        return AMI_SPACE;
    case '(':
        *ready = 1;
        return AMI_OPEN;
    case ')':
        *ready = 1;
        return AMI_CLOSE;
    case '"':
        if (quote_opens_value(previous_class, state, strict_quotes))
            *in_quote = 1;
        else
            warn_unexpected_quote(c, message, message_size);
        *ready = 0;
        return previous_class;
    default:
        *ready = 0;
        extend_token(token, c, previous_class);
        if (ends_word(c[1]) && !(state == AMI_WANT_NAME && is_format_keyword(token)))
            *ready = 1;
        return AMI_TEXT;
    }
}

extern "C" int AmiLexer(const char *c, int previous_class, int state, AmiToken *token,
                        int *in_quote, int *ready, char *message, int message_size)
{
    return AmiLexerNew(c, previous_class, state, token, in_quote, ready, message, message_size, 1);
}
