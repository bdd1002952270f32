// The transmitter's AMI_GetWave makes no heap call, and AMI_Init's heap calls
// do not grow with the impulse response.
#include "dorvex8_tx.h"
#include "heap_calls.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

char kSettings[] = "(dorvex8_tx (TX_Deemph 4))";

long InitCalls(long rows)
{
    std::vector<double> column = noise(static_cast<size_t>(rows), 3);
    char *out = nullptr, *msg = nullptr;
    void *instance = nullptr;
    const long before = heap_calls();
    AMI_Init(column.data(), rows, 0, 1e-11, 3.2e-10, kSettings, &out, &instance, &msg);
    AMI_Close(instance);
    return heap_calls() - before;
}

TEST(TransmitterHeapCalls, GetWaveMakesNone)
{
    if (!heap_calls_counted())
        GTEST_SKIP() << "the sanitizer's allocator is not counted";
    char *out = nullptr, *msg = nullptr;
    void *instance = nullptr;
    ASSERT_EQ(AMI_Init(nullptr, 0, 0, 1e-11, 3.2e-10, kSettings, &out, &instance, &msg), 1);
    std::vector<double> wave = noise(100000, 4);
    const long before = heap_calls();
    for (long block : {1L, 1000L, 99000L})
        AMI_GetWave(wave.data(), block, nullptr, &out, instance);
    EXPECT_EQ(heap_calls(), before);
    AMI_Close(instance);
}

TEST(TransmitterHeapCalls, InitCallsDoNotGrowWithTheResponse)
{
    if (!heap_calls_counted())
        GTEST_SKIP() << "the sanitizer's allocator is not counted";
    EXPECT_EQ(InitCalls(256), InitCalls(65536));
}

} // namespace
