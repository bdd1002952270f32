// The receiver's AMI_GetWave allocates only the output parameter string it
// hands out on every call, whatever the block's length, and AMI_Init's heap
// calls do not grow with the impulse response.
#include "Quorvane_pelisk4.h"
#include "heap_calls.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Heap calls made by AMI_Init (on `rows` samples) and AMI_Close.
long InitCalls(long rows)
{
    std::vector<double> column = noise(static_cast<size_t>(rows), 3);
    char *out = nullptr, *msg = nullptr;
    void *instance = nullptr;
    const long before = heap_calls();
    AMI_Init(column.data(), rows, 0, 1e-12, 3.2e-11, nullptr, &out, &instance, &msg);
    AMI_Close(instance);
    return heap_calls() - before;
}

TEST(ReceiverHeapCalls, GetWaveAllocatesOnlyTheParameterString)
{
    if (!heap_calls_counted())
        GTEST_SKIP() << "the sanitizer's allocator is not counted";
    char *out = nullptr, *msg = nullptr;
    void *instance = nullptr;
    ASSERT_EQ(AMI_Init(nullptr, 0, 0, 1e-12, 3.2e-11, nullptr, &out, &instance, &msg), 1);
    std::vector<double> wave = noise(100000, 4), times(wave.size() + 1);
    long string_only = -1;
    for (long block : {0L, 1L, 1000L, 100000L}) {
        const long before = heap_calls();
        AMI_GetWave(wave.data(), block, times.data(), &out, instance);
        const long calls = heap_calls() - before;
        if (string_only < 0)
            string_only = calls;
        EXPECT_EQ(calls, string_only) << block;
    }
    AMI_Close(instance);
}

TEST(ReceiverHeapCalls, InitCallsDoNotGrowWithTheResponse)
{
    if (!heap_calls_counted())
        GTEST_SKIP() << "the sanitizer's allocator is not counted";
    EXPECT_EQ(InitCalls(8192), InitCalls(65536));
}

} // namespace
