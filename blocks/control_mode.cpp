// Mode words of the parameter string read into control modes.
#include "IBIS_AMI_tree.h"
#include "ami_cdr.h"

#include <cstdio>
#include <cstring>

namespace {

struct ModeWord {
    const char *word;
    int mode;
};

// Compares the whole text with each word; an unknown (or missing) text gives
// the fallback mode and one warning naming the text. The warning is appended
// whole or, when it does not fit the buffer, not at all.
template <size_t N>
int read_mode(const char *text, const ModeWord (&words)[N], int fallback, const char *lead, char *message,
              int message_size)
{
    if (text != nullptr)
        for (const ModeWord &w : words)
            if (std::strcmp(text, w.word) == 0)
                return w.mode;
    char warning[AMI_MESSAGE_CAPACITY + 1];
    const int length = std::snprintf(warning, sizeof warning, "%s%s not recognized. Defaulting to \"off\".\n", lead,
                                     text != nullptr ? text : "");
    if (length >= 0 && static_cast<size_t>(length) < sizeof warning)
        WarnPrt(message, message_size, warning);
    return fallback;
}

} // namespace

extern "C" int GetControlMode(const char *mode_text, char *message, int message_size)
{
    static const ModeWord words[] = {
        {"off", CONTROL_OFF},     {"Off", CONTROL_OFF},     {"fixed", CONTROL_FIXED}, {"Fixed", CONTROL_FIXED},
        {"auto", CONTROL_AUTO},   {"Auto", CONTROL_AUTO},   {"on", CONTROL_AUTO},     {"On", CONTROL_AUTO},
        {"adapt", CONTROL_ADAPT}, {"Adapt", CONTROL_ADAPT},
    };
    return read_mode(mode_text, words, CONTROL_OFF, "Control mode ", message, message_size);
}

extern "C" int GetOptMode(const char *mode_text, char *message, int message_size)
{
    static const ModeWord words[] = {{"off", OPT_OFF}, {"Off", OPT_OFF}, {"on", OPT_ON}, {"On", OPT_ON}};
    return read_mode(mode_text, words, OPT_OFF, "Optimization mode ", message, message_size);
}
