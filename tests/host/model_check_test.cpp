// The model checks on our models, the pass-through model and the faulty test
// models: each fault is flagged by its own check and by nothing else, in words
// that name the entry point at fault.
#include "check/check_report.h"
#include "check/isolated_run.h"
#include "check/model_check.h"

#include <gtest/gtest.h>

#include <sys/prctl.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using ami_host::CheckStatus;

struct Case {
    const char *label;
    const char *library;
    const char *ami;
    std::set<std::string> failing;
    std::set<std::string> warning;
    const char *side = "Rx";
    const char *said = ""; // in the detail of a failing or warning check
    bool no_waveform = false; // AMI_GetWave gives none for data, so the checks that need one are skipped
};

// The checks of the files and exports, whose findings no entry point makes.
const std::set<std::string> kNoEntryPoint = {"ami_file", "library", "reserved_parameters"};
// The checks that need AMI_GetWave's waveform for data.
const std::set<std::string> kNeedWaveform = {"init_vs_getwave", "block_size", "instance_independence", "odd_timing"};

class ModelCheck : public ::testing::TestWithParam<Case> {};

TEST_P(ModelCheck, FlagsExactlyTheFault)
{
    const Case &c = GetParam();
    const auto results = ami_host::check_model({c.library, c.ami, c.side});
    std::set<std::string> failed, warned, skipped;
    std::string details;
    for (const ami_host::CheckResult &r : results) {
        if (r.status == CheckStatus::Fail || r.status == CheckStatus::Warn) {
            (r.status == CheckStatus::Fail ? failed : warned).insert(r.name);
            details += r.detail + '\n';
            if (!kNoEntryPoint.count(r.name)) {
                EXPECT_NE(r.detail.find("AMI_"), std::string::npos) << r.name << ": " << r.detail;
            }
        }
        if (r.status == CheckStatus::Skip && kNeedWaveform.count(r.name))
            skipped.insert(r.name);
    }
    std::ostringstream table;
    ami_host::print_check_table(table, results);
    EXPECT_EQ(failed, c.failing) << table.str();
    EXPECT_EQ(warned, c.warning) << table.str();
    EXPECT_NE(details.find(c.said), std::string::npos) << table.str();
    EXPECT_EQ(skipped, c.no_waveform ? kNeedWaveform : std::set<std::string>()) << table.str();
}

std::vector<std::string> reported_names(const std::vector<ami_host::CheckResult> &results)
{
    std::vector<std::string> names;
    for (const ami_host::CheckResult &r : results)
        names.push_back(r.name);
    return names;
}

// Every check of the table is reported exactly once, in the table's order,
// whichever checks run, fail or are skipped.
TEST_P(ModelCheck, ReportsEveryCheckOnceInOrder)
{
    const Case &c = GetParam();
    const std::vector<std::string> names = ami_host::check_names();
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
    EXPECT_EQ(reported_names(ami_host::check_model({c.library, c.ami, c.side})), names);
}

// This process's children, from /proc/<pid>/stat's fourth field.
std::vector<pid_t> own_children()
{
    std::vector<pid_t> children;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line) || line.rfind(')') == std::string::npos)
            continue;
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        pid_t parent = 0;
        if (rest >> state >> parent && parent == getpid())
            children.push_back(std::stoi(entry.path().filename().string()));
    }
    return children;
}

TEST(ModelCheckSkips, ReportEveryCheckOnceInOrder)
{
    const auto no_ami = ami_host::check_model({PASSTHROUGH_MODEL, "no such file.ami", "Rx"});
    EXPECT_EQ(reported_names(no_ami), ami_host::check_names());
    EXPECT_EQ(no_ami.front().status, CheckStatus::Fail);
    const auto no_library = ami_host::check_model({"no such library.so", PASSTHROUGH_AMI, "Rx"});
    EXPECT_EQ(reported_names(no_library), ami_host::check_names());
    EXPECT_EQ(no_library.at(1).name, "library");
    EXPECT_EQ(no_library.at(1).status, CheckStatus::Fail);
}

INSTANTIATE_TEST_SUITE_P(
    Models, ModelCheck,
    ::testing::Values(
        Case{"receiver", RX_MODEL, RX_AMI, {}, {"init_linearity", "init_vs_getwave", "samples_per_bit"}},
        Case{"transmitter", TX_MODEL, TX_AMI, {}, {}, "Tx"},
        // It takes any gain and says nothing of it.
        Case{"passthrough", PASSTHROUGH_MODEL, PASSTHROUGH_AMI, {}, {"out_of_range"}, "Rx", "without a word"},
        Case{"clock_overrun", FAULTY_CLOCK_OVERRUN, FAULTY_AMI, {"clock_bounds"}, {}, "Rx", "as far as 1 slots"},
        Case{"block_size", FAULTY_BLOCK_SIZE, FAULTY_AMI, {"block_size"}, {}},
        Case{"getwave_crash", FAULTY_GETWAVE_CRASH, FAULTY_AMI, {"getwave"}, {}, "Rx",
             "SIGSEGV (Segmentation fault) in AMI_GetWave", true},
        Case{"unterminated", FAULTY_UNTERMINATED, FAULTY_AMI, {"clock_terminated"}, {}},
        Case{"nan_output", FAULTY_NAN_OUTPUT, FAULTY_AMI, {"getwave"}, {}, "Rx", "not finite", true},
        Case{"terminator_only_tx", FAULTY_TERMINATOR_ONLY, FAULTY_AMI, {}, {}, "Tx"},
        Case{"empty_root", FAULTY_EMPTY_ROOT, FAULTY_AMI, {}, {}},
        Case{"shared_gain", FAULTY_SHARED_GAIN, FAULTY_AMI, {"getwave", "instance_independence"}, {}, "Rx",
             "the second's AMI_Init changes the first's AMI_GetWave output"},
        Case{"silent_range", FAULTY_SILENT_RANGE, FAULTY_AMI, {}, {"out_of_range"}, "Rx", "without a word"},
        Case{"null_crash", FAULTY_NULL_CRASH, FAULTY_AMI, {}, {"null_parameters"}, "Rx",
             "SIGSEGV (Segmentation fault) in AMI_Init"},
        Case{"leak", FAULTY_LEAK, FAULTY_AMI, {"memory_growth"}, {}, "Rx", "AMI_GetWave leaks"},
        Case{"far_overrun", FAULTY_FAR_OVERRUN, FAULTY_AMI, {"clock_bounds"}, {}, "Rx", "as far as 1000 slots past"},
        Case{"helper_process", FAULTY_HELPER_PROCESS, FAULTY_AMI, {}, {}}),
    [](const auto &info) { return std::string(info.param.label); });

// The children of the checks are killed with all they started: a helper the
// model forks is not left behind. The test process adopts the orphans of its
// descendants, so that a helper left running shows up as its own child.
TEST(ModelCheckProcesses, NoHelperOfTheModelOutlivesTheCheck)
{
    ASSERT_EQ(prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    ami_host::check_model({FAULTY_HELPER_PROCESS, FAULTY_AMI, "Rx"});
    std::vector<pid_t> left;
    for (int tries = 0; tries < 50; ++tries) {
        while (waitpid(-1, nullptr, WNOHANG) > 0) {
        }
        left = own_children();
        if (left.empty())
            break;
        usleep(100000);
    }
    EXPECT_TRUE(left.empty()) << "process " << left.front() << " of the model is left";
    for (pid_t pid : left)
        kill(pid, SIGKILL);
}

TEST(IsolatedRun, ReportsResultExceptionCrashAndHang)
{
    const auto fine = ami_host::run_isolated([] { return std::string("done"); }, 10);
    EXPECT_TRUE(fine.finished);
    EXPECT_EQ(fine.output, "done");

    const auto thrown = ami_host::run_isolated([]() -> std::string { throw std::runtime_error("bad input"); }, 10);
    EXPECT_FALSE(thrown.finished);
    EXPECT_EQ(thrown.failure, "bad input");

    const auto crashed = ami_host::run_isolated([]() -> std::string { std::raise(SIGSEGV); return ""; }, 10);
    EXPECT_EQ(crashed.signal, SIGSEGV);
    EXPECT_NE(crashed.failure.find("SIGSEGV"), std::string::npos);

    const auto hung = ami_host::run_isolated([]() -> std::string { for (;;) pause(); }, 0.2);
    EXPECT_TRUE(hung.timed_out);
    EXPECT_FALSE(hung.finished);
}

} // namespace
