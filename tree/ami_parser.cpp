// The parser of the parameter string: checks each complete token against the
// item syntax, tracks branch depth and reports syntax errors.
#include "IBIS_AMI_tree.h"
#include "message_fit.h"

namespace {

// Deepest branch level that may be opened; level 0 holds the root item.
constexpr int kDeepestLevel = 15;

void report(char *message, int message_size, const char *text)
{
    ami::append_if_fits(message, message_size, {text});
}

int after_want_item(int token_class, int *depth, char *message, int message_size)
{
    switch (token_class) {
    case AMI_OPEN:
        return AMI_WANT_NAME;
    case AMI_TEXT:
        report(message, message_size,
               "**Error** Text encountered in parameter string when '(' or ')' was expected.\n");
        break;
    case AMI_CLOSE:
        if (*depth > 0)
            --*depth;
        else
            report(message, message_size, "**Error** Too many close parens in parameter string.\n");
        break;
    }
    return AMI_WANT_ITEM;
}

int after_want_name(int token_class, char *message, int message_size)
{
    switch (token_class) {
    case AMI_OPEN:
        report(message, message_size,
               "**Error** '(' encountered in parameter string when text was expected.\n");
        break;
    case AMI_TEXT:
        return AMI_WANT_VALUE;
    case AMI_CLOSE:
        report(message, message_size,
               "**Error** ')' encountered in parameter string when text was expected.\n");
        break;
    }
    return AMI_WANT_NAME;
}

int after_want_value(int token_class, int *depth, char *message, int message_size)
{
    switch (token_class) {
    case AMI_OPEN:
        if (*depth < kDeepestLevel)
            ++*depth;
        else
            report(message, message_size, "**Error** Parameter string nested too deeply.\n");
        return AMI_WANT_NAME;
    case AMI_TEXT:
        return AMI_IN_VALUE;
    case AMI_CLOSE:
        report(message, message_size,
               "**Error** ')' encountered in parameter string when '(' or text was expected.\n");
        break;
    }
    return AMI_WANT_VALUE;
}

int after_in_value(int token_class, char *message, int message_size)
{
    switch (token_class) {
    case AMI_OPEN:
        report(message, message_size,
               "**Error** '(' encountered in parameter string when ')' was expected.\n");
        break;
    case AMI_CLOSE:
        return AMI_WANT_ITEM;
    }
    return AMI_IN_VALUE;
}

} // namespace

extern "C" int AmiParser(int token_class, int state, int *ready, int *depth, char *message,
                         int message_size)
{
    if (ready == nullptr || depth == nullptr || *ready != 1 || token_class == AMI_SPACE)
        return state;
    switch (state) {
    case AMI_WANT_ITEM:
        return after_want_item(token_class, depth, message, message_size);
    case AMI_WANT_NAME:
        return after_want_name(token_class, message, message_size);
    case AMI_WANT_VALUE:
        return after_want_value(token_class, depth, message, message_size);
    case AMI_IN_VALUE:
        return after_in_value(token_class, message, message_size);
    default:
        return state;
    }
}
