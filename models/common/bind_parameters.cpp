// Binding the host's parameter string onto a model's input tree.
#include "bind_parameters.h"

#include <cstdio>

namespace ami {

void bind_parameters(const char *parameters, AmiTree tree, Messages &messages)
{
    const int configured = parameters ? ParseTree(parameters, tree, messages.text) : 0;
    messages.add("**Info** Configured %d items through parameter string.\n",
                  configured);
}

} // namespace ami
