// A C heap that can be told to fail one request, and that counts the blocks
// it has handed out and not yet had back. Include in exactly one source file
// of a test program. Only requests made while armed are failed and counted;
// builds with AddressSanitizer keep its allocator and do neither.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)

inline constexpr bool kFailingHeap = false;
inline void arm_heap(long) {}
inline void disarm_heap() {}
inline long heap_requests() { return 0; }
inline long heap_blocks_held() { return 0; }

#else

inline constexpr bool kFailingHeap = true;

extern "C" {
void *__libc_malloc(size_t size);
void *__libc_calloc(size_t count, size_t size);
void *__libc_realloc(void *block, size_t size);
void __libc_free(void *block);
}

namespace failing_heap_detail {
inline bool armed = false;
inline long fail_at = 0;  // the request to fail, counted from 1; 0 for none
inline long requests = 0; // requests since arming
inline long held = 0;     // blocks handed out while armed, less those freed

// Counts one request; true when it is the one to fail.
inline bool fails()
{
    return armed && ++requests == fail_at;
}
inline void handed_out(const void *block)
{
    if (armed && block != nullptr)
        ++held;
}
} // namespace failing_heap_detail

// Starts counting from zero requests; request number `fail_at` (from 1)
// fails, none when it is 0. The count of blocks held is kept.
inline void arm_heap(long fail_at)
{
    failing_heap_detail::armed = true;
    failing_heap_detail::fail_at = fail_at;
    failing_heap_detail::requests = 0;
}
inline void disarm_heap()
{
    failing_heap_detail::armed = false;
}
inline long heap_requests()
{
    return failing_heap_detail::requests;
}
inline long heap_blocks_held()
{
    return failing_heap_detail::held;
}

extern "C" void *malloc(size_t size) noexcept
{
    if (failing_heap_detail::fails())
        return nullptr;
    void *block = __libc_malloc(size);
    failing_heap_detail::handed_out(block);
    return block;
}
extern "C" void *calloc(size_t count, size_t size) noexcept
{
    if (failing_heap_detail::fails())
        return nullptr;
    void *block = __libc_calloc(count, size);
    failing_heap_detail::handed_out(block);
    return block;
}
extern "C" void *realloc(void *block, size_t size) noexcept
{
    if (failing_heap_detail::fails())
        return nullptr; // the block stays as it was
    if (block != nullptr && size == 0 && failing_heap_detail::armed)
        --failing_heap_detail::held; // released, as by free
    void *grown = __libc_realloc(block, size);
    if (block == nullptr)
        failing_heap_detail::handed_out(grown);
    return grown;
}
extern "C" void free(void *block) noexcept
{
    if (failing_heap_detail::armed && block != nullptr)
        --failing_heap_detail::held;
    __libc_free(block);
}

#endif
