// Writes the elements of an array entry as parameter-string text.
#pragma once

#include "IBIS_AMI_tree.h"
#include "text_buffer.h"

namespace ami {

// Appends "(name e1 e2 ...)" to `out`, each element formatted by the array's
// own type code; nothing for an array with no elements. A type outside
// AMI_DOUBLE_ARRAY..AMI_SHORT_ARRAY stops the process.
void append_array_item(TextBuffer &out, const char *name, const AmiArray &array);

} // namespace ami
