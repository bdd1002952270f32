// Runs a filter whose ring history is copied, for one call, into a straight
// line on the stack: the last length - 1 inputs followed by a chunk of new
// ones, so that no tap has to wrap. The ring and its position are laid back
// out at the end exactly as sample-by-sample filtering leaves them.
#pragma once

#include <cstring>

namespace ami {

// Longest ring (less one) copied to the stack, and samples per chunk.
inline constexpr int kLineHistory = 1024;
inline constexpr int kLineChunk = 512;

// Whether a ring of `length` samples fits the line.
inline bool fits_line(int length)
{
    return length - 1 <= kLineHistory;
}

// filter_chunk(x, chunk, out) writes out[0..chunk-1] from inputs x[0..chunk-1]
// and the inputs before them at x[-1], x[-2], ... (back to x[1 - length]).
// count >= 1; slot *position of the ring takes the next sample.
template <class FilterChunk>
void run_on_line(const double *in, int count, double *ring, int *position, int length, double *out,
                 FilterChunk filter_chunk)
{
    const int kept = length - 1;
    const int p = *position;
    double line[kLineHistory + kLineChunk];
    // Slot p holds the input length samples back, which no tap reads.
    for (int i = 0; i < kept; ++i) {
        const int slot = p - kept + i;
        line[i] = ring[slot < 0 ? slot + length : slot];
    }
    double *const x = line + kept;
    int chunk = 0;
    for (int done = 0; done < count; done += chunk) {
        chunk = count - done < kLineChunk ? count - done : kLineChunk;
        if (done > 0)
            std::memmove(line, line + kLineChunk, sizeof(double) * static_cast<size_t>(kept));
        // The chunk is copied before any of its outputs is written, so in
        // and out may be one array.
        std::memcpy(x, in + done, sizeof(double) * static_cast<size_t>(chunk));
        filter_chunk(x, chunk, out + done);
    }
    // The ring takes the last min(count, length) inputs at their slots.
    const int written = count < length ? count : length;
    for (int i = count - written; i < count; ++i)
        ring[(static_cast<long long>(p) + i) % length] = x[chunk - (count - i)];
    *position = static_cast<int>((static_cast<long long>(p) + count) % length);
}

} // namespace ami
