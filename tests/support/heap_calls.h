// Counts calls into the C heap, to check that an operation allocates
// nothing. Include in exactly one source file of a test program. Builds with
// AddressSanitizer keep its allocator and count nothing.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)

inline bool heap_calls_counted() { return false; }
inline long heap_calls() { return 0; }

#else

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void __libc_free(void *block);
}

namespace heap_calls_detail {
inline long count = 0;
}

// The program's own definitions take the place of the C library's; they
// forward to it and count every request.
extern "C" void *malloc(size_t size) noexcept
{
    ++heap_calls_detail::count;
    return __libc_malloc(size);
}
extern "C" void *calloc(size_t count, size_t size) noexcept
{
    ++heap_calls_detail::count;
    return __libc_calloc(count, size);
}
extern "C" void *realloc(void *block, size_t size) noexcept
{
    ++heap_calls_detail::count;
    return __libc_realloc(block, size);
}
extern "C" void free(void *block) noexcept
{
    __libc_free(block);
}

inline bool heap_calls_counted() { return true; }
inline long heap_calls() { return heap_calls_detail::count; }

#endif
