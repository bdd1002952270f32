// Sums of many outputs computed side by side in SSE2 lanes, each output
// keeping its own chain of additions in its own order.
#pragma once

#include <emmintrin.h>

namespace ami {

// Pairs of outputs summed at once: enough independent chains to hide the
// latency of an addition, without spilling the 8 XMM registers of i386.
inline constexpr int kSideBySidePairs = sizeof(void *) == 8 ? 8 : 4;
inline constexpr int kSideBySide = 2 * kSideBySidePairs;

} // namespace ami
