// Binding the host's parameter string onto a model's input tree.
#pragma once

#include "model_messages.h"

namespace ami {

// Binds `parameters` (null for none) onto `tree` with the reader's own
// messages, then appends the "**Info**" line with the number of items
// configured.
void bind_parameters(const char *parameters, AmiTree tree, Messages &messages);

} // namespace ami
