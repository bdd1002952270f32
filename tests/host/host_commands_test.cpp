// ami_host's check, sweep and merge commands run as a user runs them: a
// faulty model flagged with exit status 1, a sharded sweep merged into the
// very table one run writes, the sweep's figures coming from the flows, and
// a sweep that outlives a hanging model.
#include "host_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Result = HostOutcome;

Result run_host(const std::vector<std::string> &args)
{
    std::vector<std::string> words = {AMI_HOST};
    words.insert(words.end(), args.begin(), args.end());
    return run_logged(words, temp_path("commands_log"));
}

std::vector<nlohmann::json> result_lines(const std::string &dir)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(slurp(dir + "/sweep.jsonl"));
    for (std::string line; std::getline(in, line);)
        lines.push_back(nlohmann::json::parse(line));
    return lines;
}

struct CheckCase {
    const char *name;
    std::vector<std::string> args;
    int exit_code;
    const char *shown; // a part of the terminal output
};

void PrintTo(const CheckCase &c, std::ostream *out) { *out << c.name; }

class CheckCommand : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckCommand, ReportsEachModelWithItsExitStatus)
{
    const CheckCase &c = GetParam();
    const std::string dir = temp_path(c.name);
    std::vector<std::string> args = {"check", "--out", dir, "--no-plots", "--bits", "400"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Result r = run_host(args);
    EXPECT_EQ(r.exit_code, c.exit_code) << r.out << r.err;
    EXPECT_NE((r.out + r.err).find(c.shown), std::string::npos) << r.out << r.err;
    if (c.exit_code == 2)
        return;
    const nlohmann::json report = nlohmann::json::parse(slurp(dir + "/check.json"));
    EXPECT_EQ(report["summary"]["fail"].get<int>() > 0, c.exit_code == 1);
    for (const nlohmann::json &check : report["checks"]) // the report states what each judges by
        EXPECT_FALSE(check["threshold"].get<std::string>().empty()) << check["name"];
}

INSTANTIATE_TEST_SUITE_P(
    Models, CheckCommand,
    ::testing::Values(
        CheckCase{"passthrough", {"--rx-model", PASSTHROUGH_MODEL, "--rx-ami", PASSTHROUGH_AMI}, 0, "pass"},
        CheckCase{"crash", {"--rx-model", FAULTY_GETWAVE_CRASH, "--rx-ami", FAULTY_AMI}, 1, "SIGSEGV"},
        CheckCase{"none", {}, 2, "name one model to check"},
        CheckCase{"no_ami", {"--tx-model", PASSTHROUGH_MODEL}, 2, "--tx-ami"}),
    [](const auto &info) { return std::string(info.param.name); });

// A step channel of its own beside the embedded line, so that points differ
// by channel as well as by setting.
std::string step_channel()
{
    const std::string path = temp_path("step.txt");
    std::ofstream(path) << "0 0\n2e-11 0\n6e-11 1\n2e-9 1\n";
    return path;
}

TEST(SweepCommand, ShardsMergeIntoTheSingleRunsTableByteForByte)
{
    const std::vector<std::string> grid = {"--sweep",    "rx:EQ_Config=0..2", "--sweep",  "TX_Deemph=0,4",
                                           "--channels", "default",           step_channel(), "--channel-kind",
                                           "step"};
    const std::string single = temp_path("single");
    auto with = [&grid](std::vector<std::string> args) {
        args.insert(args.begin() + 1, grid.begin(), grid.end());
        return args;
    };
    const Result whole =
        run_host(with({"sweep", "--jobs", "2", "--out", single, "--best", "eye_height", "--no-plots"}));
    ASSERT_EQ(whole.exit_code, 0) << whole.err;
    EXPECT_NE(whole.out.find("default: eye_height = "), std::string::npos) << whole.out;

    std::vector<std::string> merge = {"merge"};
    for (int k = 0; k < 3; ++k) {
        const std::string dir = temp_path("shard" + std::to_string(k));
        const std::string shard_text = std::to_string(k) + "/3";
        const Result shard = run_host(with({"sweep", "--shard", shard_text, "--jobs", "1", "--out", dir}));
        ASSERT_EQ(shard.exit_code, 0) << shard.err;
        merge.push_back(dir); // a shard's folder stands for its sweep.jsonl
    }
    const std::string merged = temp_path("merged");
    merge.insert(merge.end(), {"--out", merged});
    const Result joined = run_host(merge);
    ASSERT_EQ(joined.exit_code, 0) << joined.err;
    for (const char *file : {"/sweep.jsonl", "/sweep.csv"})
        EXPECT_EQ(slurp(merged + file), slurp(single + file)) << file;

    // The figures are the flow's: every point has an eye, and the settings move it.
    const std::vector<nlohmann::json> lines = result_lines(single);
    ASSERT_EQ(lines.size(), 13u);
    std::vector<double> heights;
    for (size_t i = 1; i < lines.size(); ++i)
        heights.push_back(lines[i]["metrics"]["eye_height"].get<double>());
    EXPECT_NE(heights[0], heights[5]);
    EXPECT_NE(heights[0], heights[6]);
}

// Shards run with other settings, or on a changed file, belong to another
// sweep: merge refuses them, naming the shard's file and the setting.
struct MixedShardsCase {
    const char *name;
    std::vector<std::string> first, second; // each shard's own options
    const char *second_description;         // of the second shard's copy of the Rx .ami file
    const char *refusal;                    // after "<second shard>/sweep.jsonl: "; <ami> is the copy's path
};

void PrintTo(const MixedShardsCase &c, std::ostream *out) { *out << c.name; }

class MergeOfMixedShards : public ::testing::TestWithParam<MixedShardsCase> {};

// The Rx model's .ami file at `path` with its own top description.
void write_rx_ami(const std::string &path, const std::string &description)
{
    std::string text = slurp(RX_AMI);
    const std::string old = "Nerova receiver: ";
    text.replace(text.find(old), old.size(), description);
    std::ofstream(path) << text;
}

TEST_P(MergeOfMixedShards, IsRefusedNamingFileAndSetting)
{
    const MixedShardsCase &c = GetParam();
    const std::string ami = temp_path(std::string(c.name) + "_rx.ami");
    std::vector<std::string> dirs, merge = {"merge"};
    for (int k = 0; k < 2; ++k) {
        write_rx_ami(ami, k == 0 ? "Nerova receiver: " : c.second_description);
        dirs.push_back(temp_path(std::string(c.name) + "_shard-" + std::to_string(k)));
        std::vector<std::string> args = {"sweep", "--sweep", "tx:TX_Deemph=0,4", "--rx-model", RX_MODEL, "--rx-ami",
                                         ami, "--shard", std::to_string(k) + "/2", "--jobs", "1", "--out", dirs[k]};
        const std::vector<std::string> &own = k == 0 ? c.first : c.second;
        args.insert(args.end(), own.begin(), own.end());
        const Result shard = run_host(args);
        ASSERT_EQ(shard.exit_code, 0) << shard.err;
        merge.push_back(dirs[k]);
    }
    merge.insert(merge.end(), {"--out", temp_path(std::string(c.name) + "_merged")});
    const Result joined = run_host(merge);
    EXPECT_EQ(joined.exit_code, 3); // bad input
    std::string refusal = c.refusal;
    if (const size_t at = refusal.find("<ami>"); at != std::string::npos)
        refusal.replace(at, 5, ami);
    for (const std::string &part : {dirs[1] + "/sweep.jsonl: " + refusal, ", but " + dirs[0] + "/sweep.jsonl has "})
        EXPECT_NE(joined.err.find(part), std::string::npos) << joined.err << "\nwanted: " << part;
}

INSTANTIATE_TEST_SUITE_P(
    Differences, MergeOfMixedShards,
    ::testing::Values(
        MixedShardsCase{"bit_rate", {"--bit-rate", "1e10"}, {"--bit-rate", "1.25e10"}, "Nerova receiver: ",
                        "bit_rate is 1.25e+10"},
        MixedShardsCase{"fixed_rx", {"--rx", "EQ_Config=1"}, {"--rx", "EQ_Config=2"}, "Nerova receiver: ",
                        "rx is [\"EQ_Config=2\"]"},
        MixedShardsCase{"ami_bytes", {}, {}, "Nerova's receiver: ", "the digest of <ami> is \""}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(SweepCommand, TimeDomainAddsTheMeasuredEye)
{
    const std::string dir = temp_path("time_domain");
    const Result r = run_host({"sweep", "--sweep", "EQ_Config=2", "--time-domain", "--bits", "3000", "--jobs", "1",
                               "--out", dir});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::vector<nlohmann::json> lines = result_lines(dir);
    ASSERT_EQ(lines.size(), 2u);
    const nlohmann::json &metrics = lines[1]["metrics"];
    for (const char *name : {"eye_height", "td_eye_height", "td_eye_width_ui", "td_bit_errors"})
        EXPECT_TRUE(metrics.contains(name) && metrics[name].is_number()) << name << ": " << lines[1].dump();
}

// A point is the single run with the same settings: its figures are the
// ones the single run reports, jitter, noise and crosstalk included.
struct SameRunCase {
    const char *name;
    std::vector<std::string> settings; // besides EQ_Config=4
};

void PrintTo(const SameRunCase &c, std::ostream *out) { *out << c.name; }

class SweepPoint : public ::testing::TestWithParam<SameRunCase> {};

TEST_P(SweepPoint, EqualsTheSingleRunWithTheSameSettings)
{
    const SameRunCase &c = GetParam();
    const std::string dir = temp_path(std::string(c.name) + "_sweep"), single = temp_path(std::string(c.name));
    std::vector<std::string> sweep = {"sweep", "--sweep", "EQ_Config=4", "--ber-eye", "--time-domain",
                                      "--jobs", "1", "--out", dir};
    sweep.insert(sweep.end(), c.settings.begin(), c.settings.end());
    const Result r = run_host(sweep);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    std::vector<std::string> run = {"--rx", "EQ_Config=4", "--no-plots", "--progress", "never", "--out", single};
    run.insert(run.end(), c.settings.begin(), c.settings.end());
    ASSERT_EQ(run_host(run).exit_code, 0);
    const nlohmann::json report = nlohmann::json::parse(slurp(single + "/report.json"));
    const nlohmann::json metrics = result_lines(dir).at(1)["metrics"];
    const nlohmann::json &td = report["time_domain"];
    const nlohmann::json worst = !report["crosstalk"].is_null()
                                     ? report["crosstalk"]["statistical_eye_height_with"]
                                     : report["statistical"]["stages"].back()["eye_height"];
    const std::pair<const char *, nlohmann::json> expected[] = {
        {"eye_height", worst},
        {"ber_eye_height", report["statistical_eye"]["height"]},
        {"ber_eye_width_ui", report["statistical_eye"]["width_ui"]},
        {"td_eye_height", td["eye_height"]},
        {"td_eye_width_ui", td["eye_width_ui"]},
        {"td_bit_errors", td["bit_errors"]}};
    for (const auto &[metric, value] : expected)
        EXPECT_EQ(metrics[metric].get<double>(), value.get<double>()) << metric;
    // Crosstalk narrows the worst-case eye as it lowers it.
    const double width = metrics["eye_width_ui"].get<double>();
    const double victim_width = report["statistical"]["stages"].back()["eye_width_ui"].get<double>();
    EXPECT_GT(width, 0.0);
    if (report["crosstalk"].is_null())
        EXPECT_EQ(width, victim_width);
    else
        EXPECT_LT(width, victim_width);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SweepPoint,
    ::testing::Values(SameRunCase{"impairments",
                                  {"--rx-noise", "0.01", "--tx-rj", "0.01UI", "--target-ber", "1e-9", "--bits", "3000"}},
                      SameRunCase{"crosstalk",
                                  {"--channel", CHANNELS "/long.s4p", "--xtalk", CHANNELS "/long_aggressor1.s8p",
                                   "--rx-rj", "0.01UI", "--bits", "3000"}}),
    [](const auto &info) { return std::string(info.param.name); });

// The processes (not zombies) whose command line holds `word`: ami_host's
// workers, and what they started, carry its command line.
std::vector<pid_t> processes_with(const std::string &word)
{
    std::vector<pid_t> found;
    for (const auto &entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos || name == std::to_string(getpid()))
            continue;
        std::string command = slurp(entry.path() / "cmdline");
        std::replace(command.begin(), command.end(), '\0', ' ');
        const std::string stat = slurp(entry.path() / "stat");
        const size_t state = stat.rfind(") ");
        if (command.find(word) != std::string::npos && state != std::string::npos && stat[state + 2] != 'Z')
            found.push_back(std::stoi(name));
    }
    return found;
}

TEST(SweepCommand, HangingPointsFailAfterTheTimeoutAndLeaveNoProcess)
{
    // One worker for all four points: it hangs (with a helper process) at
    // both level 1 points, and the level 0 points are still evaluated.
    const std::string dir = temp_path("hang");
    const Result r = run_host({"sweep", "--rx-model", FAULTY_INIT_HANG, "--rx-ami", FAULTY_AMI, "--sweep",
                               "rx:level=1,0", "--channels", "default", step_channel(), "--channel-kind", "step",
                               "--jobs", "1", "--timeout", "2", "--no-plots", "--out", dir});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    const std::vector<nlohmann::json> lines = result_lines(dir);
    ASSERT_EQ(lines.size(), 5u) << r.out << r.err;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (lines[i]["settings"]["rx:level"] == "1")
            EXPECT_EQ(lines[i].value("error", ""), "no result within 2 s: the worker was stopped") << lines[i].dump();
        else
            EXPECT_TRUE(!lines[i].contains("error") && lines[i]["metrics"]["eye_height"].is_number())
                << lines[i].dump();
    }
    // Killed processes vanish a moment after the signal.
    std::vector<pid_t> left;
    for (int tries = 0; tries < 50 && !(left = processes_with(dir)).empty(); ++tries)
        usleep(100000);
    EXPECT_TRUE(left.empty()) << "process " << left.front() << " of the sweep is left";
    for (pid_t pid : left)
        kill(pid, SIGKILL);
}

TEST(SweepCommand, RefusesBadSettingsBeforeAnyPointRuns)
{
    const Result twice = run_host({"sweep", "--sweep", "EQ_Config=0..2", "--rx", "EQ_Config=1", "--out",
                                   temp_path("twice")});
    EXPECT_EQ(twice.exit_code, 3);
    EXPECT_NE(twice.err.find("EQ_Config"), std::string::npos) << twice.err;
    for (const char *option : {"--bogus", "--plot-script=x.py"}) {
        const Result refused = run_host({"sweep", "--sweep", "EQ_Config=0..2", option, "--out", temp_path("bogus")});
        EXPECT_EQ(refused.exit_code, 2) << option;
        EXPECT_NE(refused.err.find(std::string(option).substr(0, 8)), std::string::npos) << refused.err;
    }
}

} // namespace
