// The copy that a block makes instead of filtering when it has nothing to
// filter with (a record that could not be built, an empty bank or table).
#pragma once

#include <cstring>

namespace ami {

// Copies count samples of in to out, which may be the same array; a count
// of 0 or less copies nothing.
inline void copy_samples(const double *in, int count, double *out)
{
    if (count > 0 && in != out)
        std::memmove(out, in, sizeof(double) * static_cast<size_t>(count));
}

} // namespace ami
