// Sweeps: axes read against our models' .ami files, shards that cover the
// grid once, parallel points, and merged shards byte-identical to one run.
#include "base/host_error.h"
#include "sweep/sweep_command.h"
#include "sweep/sweep_results.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <fstream>
#include <set>
#include <sstream>

namespace {

using ami_host::AmiFile;

const AmiFile &tx_ami()
{
    static const AmiFile ami = ami_host::read_ami_file(TX_AMI);
    return ami;
}

const AmiFile &rx_ami()
{
    static const AmiFile ami = ami_host::read_ami_file(RX_AMI);
    return ami;
}

struct AxisCase {
    const char *text;
    const char *label;  // "" when refused
    const char *values; // joined by spaces, or a part of the refusal
};

class SweepAxis : public ::testing::TestWithParam<AxisCase> {};

TEST_P(SweepAxis, ReadsDeclaredValuesOrRefuses)
{
    const AxisCase &c = GetParam();
    if (*c.label == '\0') {
        try {
            ami_host::parse_sweep_axis(c.text, &tx_ami(), &rx_ami());
            FAIL() << c.text << " was accepted";
        } catch (const ami_host::Error &e) {
            EXPECT_NE(std::string(e.what()).find(c.values), std::string::npos) << e.what();
        }
        return;
    }
    const ami_host::SweepAxis axis = ami_host::parse_sweep_axis(c.text, &tx_ami(), &rx_ami());
    std::string values;
    for (const std::string &v : axis.values)
        values += (values.empty() ? "" : " ") + v;
    EXPECT_EQ(axis.label(), c.label);
    EXPECT_EQ(values, c.values);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SweepAxis,
    ::testing::Values(AxisCase{"EQ_Config=1..3", "rx:EQ_Config", "1 2 3"},
                      AxisCase{"tx:TX_Deemph=3,1", "tx:TX_Deemph", "3 1"},
                      AxisCase{"RX_Process=-5..5", "rx:RX_Process", "-1 0 1"},
                      AxisCase{"clock_recovery.step=0.01..0.1", "rx:clock_recovery.step", "0.015625 0.03125 0.0625"},
                      AxisCase{"clock_recovery.count=8..16", "rx:clock_recovery.count", "8 16"},
                      AxisCase{"EQ_Config=9", "", "refused"},
                      AxisCase{"tx:EQ_Config=1", "", "no tx model declares"},
                      AxisCase{"clock_recovery.phase=0..1", "", "give its values"},
                      AxisCase{"EQ_Config=1,1", "", "twice"},
                      AxisCase{"EQ_Config", "", "NAME=v1"}),
    [](const auto &info) {
        std::string name = info.param.text;
        for (char &ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name + "_" + std::to_string(info.index);
    });

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

const std::vector<std::string> kMetrics = {"eye_height"};

// A figure that is not a round number, and a failure at one point.
std::vector<double> evaluate(const ami_host::SweepGrid &, const ami_host::SweepPoint &point)
{
    if (point.index == 5)
        throw std::runtime_error("no eye at point 5");
    return {1.0 / (3.0 + static_cast<double>(point.index)) + static_cast<double>(point.channel)};
}

ami_host::SweepRequest request(const std::string &dir, const std::string &shard, int jobs)
{
    ami_host::SweepRequest r;
    r.sweeps = {"EQ_Config=0..4", "tx:TX_Deemph=2,5"};
    r.channels = {"short", "long"};
    r.inputs.settings = {{"bit_rate", 1.25e10}, {"rx", {"Coupling_Config=1"}}, {"time_domain", false}};
    r.inputs.files = {{RX_AMI, "0123456789abcdef"}};
    r.shard = shard;
    r.jobs = jobs;
    r.out_dir = ::testing::TempDir() + "sweep_" + std::to_string(getpid()) + "_" + dir;
    return r;
}

ami_host::SweepTable sweep(const ami_host::SweepRequest &r)
{
    std::ostringstream out;
    return ami_host::run_sweep(r, &tx_ami(), &rx_ami(), kMetrics, [] { return ami_host::PointEvaluator(evaluate); },
                               out);
}

TEST(Sweep, MergedShardsEqualOneRunByteForByte)
{
    const auto single = request("single", "0/1", 3);
    const ami_host::SweepTable table = sweep(single);
    ASSERT_EQ(table.points.size(), 20u);
    EXPECT_EQ(table.points[5].error, "no eye at point 5");
    // Channel slowest, last axis fastest.
    EXPECT_EQ(table.points[13].channel, "long");
    EXPECT_EQ(table.points[13].settings[0].second, "1");
    EXPECT_EQ(table.points[13].settings[1].second, "5");

    std::vector<std::string> files;
    std::set<long> covered;
    for (int k = 3; k >= 0; --k) {
        const auto shard = request("shard" + std::to_string(k), std::to_string(k) + "/4", 1);
        for (const auto &point : sweep(shard).points)
            EXPECT_TRUE(covered.insert(point.index).second && point.index % 4 == k);
        // A shard's folder stands for its results file.
        files.push_back(k % 2 ? shard.out_dir : ami_host::results_path(shard.out_dir));
    }
    EXPECT_EQ(covered.size(), 20u);
    files.push_back(files.front()); // a shard run twice is harmless
    const auto merged = request("merged", "0/1", 1);
    std::ostringstream best;
    ami_host::run_merge(files, merged.out_dir, "eye_height", best);
    ASSERT_NE(slurp(ami_host::results_path(single.out_dir)).find("\"index\":19"), std::string::npos);
    EXPECT_EQ(slurp(ami_host::results_path(merged.out_dir)), slurp(ami_host::results_path(single.out_dir)));
    EXPECT_EQ(slurp(ami_host::results_csv_path(merged.out_dir)), slurp(ami_host::results_csv_path(single.out_dir)));
    EXPECT_EQ(best.str(), "short: eye_height = 0.3333333333333333 at point 0 rx:EQ_Config=0 tx:TX_Deemph=2\n"
                          "long: eye_height = 1.0769230769230769 at point 10 rx:EQ_Config=0 tx:TX_Deemph=2\n");

    // Results of another sweep are refused.
    auto other = request("other", "1/4", 1);
    other.sweeps = {"EQ_Config=0..3", "tx:TX_Deemph=2,5"};
    sweep(other);
    std::ostringstream out;
    std::vector<std::string> mixed = {files[0], ami_host::results_path(other.out_dir)};
    EXPECT_THROW(ami_host::run_merge(mixed, merged.out_dir, "", out), ami_host::Error);

    // Without shard 2 the merge names what is missing.
    files.erase(files.begin() + 1);
    try {
        ami_host::run_merge(files, merged.out_dir, "", out);
        FAIL() << "an incomplete merge was accepted";
    } catch (const ami_host::Error &e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("miss 5 of 20 points (shards 2/4)"), std::string::npos) << message;
        EXPECT_NE(message.find("point 18: channel long, rx:EQ_Config=4, tx:TX_Deemph=2"), std::string::npos)
            << message;
    }
}

// A point that crashes or hangs its worker fails with the cause; a new
// worker takes over the rest of that worker's points.
// Eyes are best at their largest, bit errors at their fewest.
TEST(Sweep, BestPointPerMetricDirection)
{
    ami_host::SweepTable table;
    table.grid.channels = {"c"};
    table.metrics = {"td_eye_height", "td_bit_errors"};
    for (long i = 0; i < 3; ++i)
        table.points.push_back({i, "c", {}, {{"td_eye_height", 0.1 * (i + 1)}, {"td_bit_errors", 5.0 - i}}, ""});
    EXPECT_EQ(ami_host::best_per_channel(table, "td_eye_height").at(0).index, 2);
    table.points[2].metrics[1].second = 9.0;
    EXPECT_EQ(ami_host::best_per_channel(table, "td_bit_errors").at(0).index, 1);
}

TEST(Sweep, CrashingOrHangingPointCostsOnlyItself)
{
    ami_host::SweepGrid grid = ami_host::make_sweep_grid({"EQ_Config=0..4"}, {"c"}, &tx_ami(), &rx_ami());
    const std::pair<bool, const char *> cases[] = {{false, "its worker was killed by signal SIGKILL (Killed)"},
                                                   {true, "no result within 1 s: the worker was stopped"}};
    for (const auto &[hang, cause] : cases) {
        const auto results = ami_host::run_points(grid, kMetrics, {0, 1, 2, 3, 4}, 2, 1, [hang = hang] {
            return ami_host::PointEvaluator([hang](const ami_host::SweepGrid &, const ami_host::SweepPoint &point) {
                while (point.index == 2 && hang)
                    pause();
                if (point.index == 2)
                    std::raise(SIGKILL);
                return std::vector<double>{static_cast<double>(point.index)};
            });
        });
        ASSERT_EQ(results.size(), 5u);
        // Worker 0 runs points 0, 2 and 4, and its successor point 4.
        for (const auto &point : results) {
            EXPECT_EQ(point.error, point.index == 2 ? cause : "") << point.index;
            EXPECT_EQ(point.metrics.size(), point.index == 2 ? 0u : 1u) << point.index;
        }
    }
}

// Numbers no sweep writes are refused, not converted with undefined results,
// and so is a grid larger than any sweep, which merge would walk point by point.
TEST(Sweep, ResultsFilesNoSweepWritesAreRefused)
{
    const std::string axis = R"({"name":"rx:EQ_Config","values":["0","1"]})";
    const auto header = [](const std::string &points, const std::string &axes) {
        return R"({"sweep":{"points":)" + points + R"(,"shard":"0/1","channels":["c"],"axes":[)" + axes +
               R"(],"metrics":[],"settings":{},"files":{}}})" + "\n";
    };
    std::string axes = axis; // 2^24 points
    for (int a = 1; a < 24; ++a)
        axes += "," + axis;
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {header("2", axis) + R"({"index":1e300,"channel":"c","settings":{"rx:EQ_Config":"0"},"metrics":{}})",
         "r:2: not a sweep results file: 1e+300 is not a whole number"},
        {header("2.0", axis), "r:1: not a sweep results file: 2.0 is not a whole number"},
        {header("16777216", axes), "more points than a sweep may have"},
    };
    for (const auto &c : cases) {
        try {
            ami_host::parse_results(c.text, "r");
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const ami_host::Error &e) {
            EXPECT_NE(std::string(e.what()).find(c.error), std::string::npos) << e.what() << "\nwanted: " << c.error;
        }
    }
}

// Shards of different sweeps are refused, the file and what differs named,
// whichever side lacks a setting (host_commands_test runs real shards).
struct MismatchCase {
    const char *name;
    void (*change)(ami_host::SweepTable &);
    const char *message; // after "other.jsonl: ", before ", but first.jsonl has ..."
};

void PrintTo(const MismatchCase &c, std::ostream *out) { *out << c.name; }

class MergeOfDifferentSweeps : public ::testing::TestWithParam<MismatchCase> {};

TEST_P(MergeOfDifferentSweeps, NamesTheFileAndTheFirstDifference)
{
    ami_host::SweepTable first;
    first.grid = ami_host::make_sweep_grid({"EQ_Config=0,1"}, {"c"}, &tx_ami(), &rx_ami());
    first.metrics = kMetrics;
    first.inputs.settings = {{"bit_rate", 1e10}, {"rx", {"Coupling_Config=1"}}};
    first.origin = "first.jsonl";
    ami_host::SweepTable other = first;
    other.origin = "other.jsonl";
    GetParam().change(other);
    try {
        ami_host::merge_results({first, other});
        FAIL() << "merged";
    } catch (const ami_host::Error &e) {
        const std::string expected = std::string("other.jsonl: ") + GetParam().message + ", but first.jsonl has ";
        EXPECT_EQ(std::string(e.what()).rfind(expected, 0), 0u) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Changes, MergeOfDifferentSweeps,
    ::testing::Values(
        MismatchCase{"missing", [](auto &t) { t.inputs.settings.erase("rx"); }, "rx is (none)"},
        MismatchCase{"added", [](auto &t) { t.inputs.settings["seed"] = 2; }, "seed is 2"},
        MismatchCase{"metrics", [](auto &t) { t.metrics.push_back("eye_width_ui"); },
                     "the metric list is [\"eye_height\",\"eye_width_ui\"]"},
        MismatchCase{"channels", [](auto &t) { t.grid.channels = {"d"}; }, "the channel list is [\"d\"]"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
