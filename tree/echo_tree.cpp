// EchoTree: copies a parameter string to "nerova_echo_param.txt".
#include "IBIS_AMI_tree.h"

#include <cstdio>

extern "C" int EchoTree(const char *text)
{
    FILE *file = std::fopen("nerova_echo_param.txt", "w");
    if (file == nullptr)
        return EOF;
    const bool written = text == nullptr || text[0] == '\0' || std::fputs(text, file) != EOF;
    const int closed = std::fclose(file);
    return written ? closed : EOF;
}
