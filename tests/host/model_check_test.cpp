// The model checks on our models, the pass-through model and the faulty test
// models: each fault is flagged by its own check and by nothing else.
#include "check/check_report.h"
#include "check/isolated_run.h"
#include "check/model_check.h"

#include <gtest/gtest.h>

#include <csignal>
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
    std::set<std::string> warnings_allowed;
};

class ModelCheck : public ::testing::TestWithParam<Case> {};

TEST_P(ModelCheck, FlagsExactlyTheFault)
{
    const Case &c = GetParam();
    const auto results = ami_host::check_model({c.library, c.ami, "Rx"});
    std::set<std::string> failed;
    for (const ami_host::CheckResult &r : results) {
        if (r.status == CheckStatus::Fail)
            failed.insert(r.name);
        if (r.status == CheckStatus::Warn) {
            EXPECT_TRUE(c.warnings_allowed.count(r.name)) << r.name << ": " << r.detail;
        }
        // The crash is reported with its signal.
        if (r.status == CheckStatus::Fail && r.name == "getwave" && std::string(c.label) == "getwave_crash") {
            EXPECT_NE(r.detail.find("SIGSEGV"), std::string::npos) << r.detail;
        }
    }
    std::ostringstream table;
    ami_host::print_check_table(table, results);
    EXPECT_EQ(failed, c.failing) << table.str();
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
    EXPECT_EQ(reported_names(ami_host::check_model({c.library, c.ami, "Rx"})), names);
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
    ::testing::Values(Case{"receiver", RX_MODEL, RX_AMI, {}, {"init_linearity", "init_vs_getwave", "samples_per_bit"}},
                      Case{"transmitter", TX_MODEL, TX_AMI, {}, {"samples_per_bit"}},
                      Case{"passthrough", PASSTHROUGH_MODEL, PASSTHROUGH_AMI, {}, {}},
                      Case{"clock_overrun", FAULTY_CLOCK_OVERRUN, FAULTY_AMI, {"clock_bounds"}, {}},
                      Case{"block_size", FAULTY_BLOCK_SIZE, FAULTY_AMI, {"block_size"}, {}},
                      Case{"getwave_crash", FAULTY_GETWAVE_CRASH, FAULTY_AMI, {"getwave"}, {}},
                      Case{"unterminated", FAULTY_UNTERMINATED, FAULTY_AMI, {"clock_terminated"}, {}},
                      Case{"nan_output", FAULTY_NAN_OUTPUT, FAULTY_AMI, {"getwave"}, {}}),
    [](const auto &info) { return std::string(info.param.label); });

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
