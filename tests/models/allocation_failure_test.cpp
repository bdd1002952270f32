// Each model run once (AMI_Init, two AMI_GetWave calls, AMI_Close) with the
// N-th heap request failing, for every N the run makes. Whatever fails, the
// host gets a message pointer it can use, AMI_Init either reports the
// failure (0) or gives exactly the results of an unhindered run, the instance
// stays safe to drive, nothing is left allocated after AMI_Close, and each
// message the host gets is whole.
#include "failing_heap.h"
#include "loaded_model.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Scenario {
    const char *name;
    const char *library;
    const char *parameters;
    long rows;
    double sample_interval;
    double bit_time;
    bool clock_recovery;
};

void PrintTo(const Scenario &s, std::ostream *out)
{
    *out << s.name;
}

struct Outcome {
    long init = -1;
    bool message_stored = false; // AMI_Init replaced the host's pointer
    std::string message;
    std::vector<double> impulse;
    std::vector<double> wave;
    std::vector<double> clocks; // every clock time, read up to each -1
    long requests = 0;
    long held_after_close = 0;
};

constexpr long kBlock = 400;

Outcome run(const LoadedModel &model, const Scenario &s, long fail_at)
{
    Outcome o;
    o.impulse = noise(2 * s.rows, 5);
    o.wave = noise(2 * kBlock, 9);
    std::string parameters = s.parameters;
    char *out = nullptr;
    char *msg = reinterpret_cast<char *>(1); // a stale pointer in the host's variable
    void *instance = nullptr;
    const long held = heap_blocks_held();

    arm_heap(fail_at);
    o.init = model.init(o.impulse.data(), s.rows, 1, s.sample_interval, s.bit_time, parameters.data(), &out,
                        &instance, &msg);
    long requests = heap_requests();
    disarm_heap();
    o.message_stored = msg != reinterpret_cast<char *>(1);
    if (o.message_stored && msg != nullptr)
        o.message = msg;

    for (long at = 0; at < 2 * kBlock; at += kBlock) {
        // Zero-filled, as some hosts do: the receiver must end its clock
        // times with -1 itself. The transmitter writes none.
        std::vector<double> slots(kBlock + 1, s.clock_recovery ? 0.0 : -1.0);
        arm_heap(fail_at - requests);
        model.get_wave(o.wave.data() + at, kBlock, slots.data(), &out, instance);
        requests += heap_requests();
        disarm_heap();
        for (size_t k = 0; k < slots.size() && slots[k] != -1.0; ++k)
            o.clocks.push_back(slots[k]);
    }
    arm_heap(fail_at - requests);
    model.close(instance);
    o.requests = requests + heap_requests();
    disarm_heap();
    o.held_after_close = heap_blocks_held() - held;
    return o;
}

const Scenario kScenarios[] = {
    {"rx_full_column", RX_MODEL_PATH, "(Quorvane_pelisk4 (EQ_Config 2) (clock_recovery (step 0.0625)) (Other 1))",
     127 * 8, 12.5e-12, 1e-10, true},
    // Values out of range or not numbers: the message starts with the
    // parameter string's own complaints.
    {"rx_short_column", RX_MODEL_PATH, "(Quorvane_pelisk4 (EQ_Config two) (RX_Process 3))", 128, 12.5e-12, 1e-10,
     true},
    {"tx", TX_MODEL_PATH, "(dorvex8_tx (TX_Corner slow) (TX_Deemph 3) (TX_Vswing 9))", 256, 12.5e-12, 1e-10, false},
};

// The lines of a message, blank ones left out.
std::vector<std::string> lines_of(const std::string &message)
{
    std::vector<std::string> lines;
    std::istringstream text(message);
    for (std::string line; std::getline(text, line);)
        if (!line.empty())
            lines.push_back(line);
    return lines;
}

// How the models report a failed request, besides what they say unhindered.
const char *const kFailureReports[] = {"**Error** Out of memory: ", "**Error** Could not build "};

// A message of whole messages only: each line one that the unhindered run
// gave, or a failure report.
void expect_whole_messages(const std::string &message, const std::string &unhindered)
{
    const std::vector<std::string> known = lines_of(unhindered);
    for (const std::string &line : lines_of(message)) {
        const bool reports_failure = std::any_of(std::begin(kFailureReports), std::end(kFailureReports),
                                                 [&](const char *report) { return line.rfind(report, 0) == 0; });
        EXPECT_TRUE(reports_failure || std::find(known.begin(), known.end(), line) != known.end())
            << "a broken message: " << line;
    }
}

class AllocationFailure : public ::testing::TestWithParam<Scenario> {};

TEST_P(AllocationFailure, EveryFailedRequestIsReportedOrHarmless)
{
    if (!kFailingHeap)
        GTEST_SKIP() << "the sanitizer's allocator replaces the C heap that this test fails";
    const Scenario &s = GetParam();
    LoadedModel model(s.library);
    ASSERT_TRUE(model.ok()) << model.error;
    const Outcome reference = run(model, s, 0);
    ASSERT_EQ(reference.init, 1) << reference.message;
    EXPECT_EQ(reference.held_after_close, 0);
    const std::vector<double> sent = noise(2 * kBlock, 9);
    int failed_inits = 0;
    for (long n = 1; n <= reference.requests; ++n) {
        const Outcome o = run(model, s, n);
        SCOPED_TRACE("heap request " + std::to_string(n) + " of " + std::to_string(reference.requests));
        EXPECT_TRUE(o.message_stored);
        expect_whole_messages(o.message, reference.message);
        EXPECT_EQ(o.held_after_close, 0);
        if (o.init == 1) {
            EXPECT_EQ(o.impulse, reference.impulse);
            EXPECT_EQ(o.wave, reference.wave);
            EXPECT_EQ(o.clocks, reference.clocks);
        } else {
            EXPECT_EQ(o.init, 0);
            EXPECT_EQ(o.wave, sent); // an instance that failed passes waves through
            EXPECT_TRUE(o.clocks.empty());
            ++failed_inits;
        }
    }
    EXPECT_GT(failed_inits, 0);
    std::printf("%s: %ld heap requests, %d of them fail AMI_Init\n", s.name, reference.requests, failed_inits);
}

INSTANTIATE_TEST_SUITE_P(Models, AllocationFailure, ::testing::ValuesIn(kScenarios),
                         [](const auto &info) { return std::string(info.param.name); });

} // namespace
