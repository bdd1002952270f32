// ami_host on a model kit as an engineer receives one: `ami_host ibis`
// listing it and naming what is broken, and runs driven by the .ibs file.
#include "host_process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kPlatform = sizeof(void *) == 8 ? "Linux_gcc_64" : "Linux_gcc_32";
const std::string kOtherPlatform = sizeof(void *) == 8 ? "Linux_gcc_32" : "Linux_gcc_64";

HostOutcome run_host(const std::vector<std::string> &args)
{
    std::vector<std::string> words = {AMI_HOST};
    words.insert(words.end(), args.begin(), args.end());
    return run_logged(words, temp_path("ibis_log"));
}

std::string replaced(std::string text, const std::string &from, const std::string &to)
{
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

// Our kit for this host's width: the .ibs file without the other width's
// Executable lines, this tree's libraries under the names it gives them
// and the .ami files, in a folder of its own. Returns the .ibs path.
std::string make_kit(const std::string &name)
{
    const fs::path dir = temp_path(name);
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::istringstream in(slurp(IBS_FILE));
    std::ofstream ibs(dir / "nerova_models.ibs");
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string keyword, platform, library;
        words >> keyword >> platform >> library;
        if (keyword == "Executable" && platform == kOtherPlatform)
            continue;
        if (keyword == "Executable")
            fs::copy_file(library.find("dorvex8") == 0 ? TX_MODEL : RX_MODEL, dir / library);
        ibs << line << '\n';
    }
    fs::copy_file(TX_AMI, dir / "dorvex8_tx.ami");
    fs::copy_file(RX_AMI, dir / "Quorvane_pelisk4.ami");
    return (dir / "nerova_models.ibs").string();
}

// The line number of the first line of `path` that holds `text`.
int line_of(const std::string &path, const std::string &text)
{
    std::istringstream in(slurp(path));
    int number = 0;
    for (std::string line; std::getline(in, line);)
        if (++number, line.find(text) != std::string::npos)
            return number;
    return 0;
}

TEST(IbisCommand, ListsAndPassesOurKit)
{
    const std::string ibs = make_kit("ibis_sound_kit");
    const HostOutcome r = run_host({"ibis", ibs});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    for (const char *shown : {"pin 1 TX_P dorvex8_tx", "differential pair: 1 and 2", "Model dorvex8_tx",
                              "output resistance", "input resistance", ": ok", "2 Linux executables checked, 0 broken"})
        EXPECT_NE(r.out.find(shown), std::string::npos) << shown << '\n' << r.out;
}

// Each way a kit breaks: what is done to it, and what the message says
// after the .ibs line of the Executable concerned.
struct BrokenKit {
    const char *name;
    const char *library; // the Executable line's library, which the fault concerns
    void (*breaks)(const std::string &ibs);
    const char *message;
};

void PrintTo(const BrokenKit &k, std::ostream *out) { *out << k.name; }

class BrokenKits : public ::testing::TestWithParam<BrokenKit> {};

TEST_P(BrokenKits, AreNamedWithTheLine)
{
    const BrokenKit &k = GetParam();
    const std::string ibs = make_kit(std::string("ibis_") + k.name);
    k.breaks(ibs);
    const HostOutcome r = run_host({"ibis", ibs});
    EXPECT_EQ(r.exit_code, 1) << r.out << r.err;
    const std::string where = ibs + ":" + std::to_string(line_of(ibs, k.library)) + ": ";
    EXPECT_NE(r.err.find(where), std::string::npos) << where << '\n' << r.err;
    EXPECT_NE(r.err.find(k.message), std::string::npos) << r.err;
}

std::string kit_file(const std::string &ibs, const std::string &name)
{
    return (fs::path(ibs).parent_path() / name).string();
}

std::string kit_library(const std::string &ibs, const char *model)
{
    for (const auto &entry : fs::directory_iterator(fs::path(ibs).parent_path()))
        if (entry.path().extension() == ".so" && entry.path().filename().string().rfind(model, 0) == 0)
            return entry.path().string();
    return "";
}

INSTANTIATE_TEST_SUITE_P(
    Ibis, BrokenKits,
    ::testing::Values(
        BrokenKit{"missing_library", "dorvex8_tx_",
                  [](const std::string &ibs) { fs::remove(kit_library(ibs, "dorvex8_tx")); }, "is missing"},
        BrokenKit{"no_entry_points", "Quorvane_pelisk4_",
                  [](const std::string &ibs) {
                      fs::copy_file(NO_ENTRY_POINTS, kit_library(ibs, "Quorvane"), fs::copy_options::overwrite_existing);
                  },
                  "does not export AMI_Init, AMI_GetWave, AMI_Close"},
        BrokenKit{"wrong_width", kOtherPlatform.c_str(),
                  [](const std::string &ibs) {
                      const std::string lib = fs::path(kit_library(ibs, "dorvex8_tx")).filename().string();
                      const std::string text = replaced(slurp(ibs), "[End Algorithmic Model]",
                                                        "Executable " + kOtherPlatform + " " + lib +
                                                            " dorvex8_tx.ami\n[End Algorithmic Model]");
                      std::ofstream(ibs) << text;
                  },
                  "-bit x86 shared library"},
        BrokenKit{"missing_ami", "Quorvane_pelisk4_",
                  [](const std::string &ibs) { fs::remove(kit_file(ibs, "Quorvane_pelisk4.ami")); },
                  "Quorvane_pelisk4.ami is missing"},
        BrokenKit{"bad_ami", "dorvex8_tx_",
                  [](const std::string &ibs) { std::ofstream(kit_file(ibs, "dorvex8_tx.ami")) << "(dorvex8_tx (x"; },
                  "dorvex8_tx.ami"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

std::string rewritten(const std::string &path, const std::string &from, const std::string &to)
{
    const std::string text = replaced(slurp(path), from, to);
    std::ofstream(path) << text;
    return path;
}

// The summary's statistical lines, which depend on the models and the channel.
std::string statistical_lines(const std::string &out)
{
    const size_t from = out.find("Statistical flow");
    return from == std::string::npos ? "" : out.substr(from, out.find("Statistical eye at") - from);
}

std::vector<std::string> quick_run(const std::string &dir)
{
    return {"--statistical-only", "--no-plots", "--out", dir};
}

TEST(IbisRun, TakesTheModelsAndTheAnalogEndsFromTheFile)
{
    const std::string ibs = make_kit("ibis_run_kit");
    std::vector<std::string> args = quick_run(temp_path("ibis_run"));
    // The receiver by model: its package is that of the first pin using it.
    args.insert(args.end(), {"--ibs", ibs, "--rx-ibis-model", "Quorvane_pelisk4"});
    const HostOutcome analog = run_host(args);
    ASSERT_EQ(analog.exit_code, 0) << analog.out << analog.err;
    for (const char *shown : {"between the analog ends", "Tx: output resistance", "Rx: input resistance",
                              "Tx: package of pin 2", "Rx: package of pin 4", "Rx: C_comp"})
        EXPECT_NE(analog.out.find(shown), std::string::npos) << shown;
    args.insert(args.end(), {"--line-impedance", "40"});
    const HostOutcome mismatched = run_host(args);
    EXPECT_NE(mismatched.out.find("as a 40 ohm two-port"), std::string::npos) << mismatched.out << mismatched.err;
    EXPECT_NE(statistical_lines(mismatched.out), statistical_lines(analog.out));
    args.push_back("--no-analog");
    const HostOutcome ideal = run_host(args);
    const HostOutcome by_hand = run_host({"--statistical-only", "--no-plots", "--out", temp_path("ibis_by_hand"),
                                          "--tx-model", TX_MODEL, "--tx-ami", TX_AMI, "--rx-model", RX_MODEL,
                                          "--rx-ami", RX_AMI});
    EXPECT_EQ(statistical_lines(ideal.out), statistical_lines(by_hand.out)) << ideal.out << ideal.err;
    EXPECT_NE(statistical_lines(ideal.out), statistical_lines(analog.out));
}

// Each file or choice an .ibs-driven run refuses: what is done to the kit,
// the extra options, the text of the line the message names (none: the file
// alone), and the message. No run starts.
struct RefusedRun {
    const char *name;
    void (*breaks)(const std::string &ibs);
    std::vector<std::string> args;
    const char *line;
    const char *message;
};

void PrintTo(const RefusedRun &r, std::ostream *out) { *out << r.name; }

class RefusedRuns : public ::testing::TestWithParam<RefusedRun> {};

TEST_P(RefusedRuns, NameTheFileAndLine)
{
    const RefusedRun &c = GetParam();
    const std::string ibs = make_kit(std::string("ibis_refused_") + c.name);
    c.breaks(ibs);
    const std::string dir = temp_path(std::string("ibis_refused_run_") + c.name);
    fs::remove_all(dir);
    std::vector<std::string> args = quick_run(dir);
    args.insert(args.end(), {"--ibs", ibs});
    args.insert(args.end(), c.args.begin(), c.args.end());
    const HostOutcome r = run_host(args);
    EXPECT_EQ(r.exit_code, 3) << r.out << r.err;
    const std::string where = ibs + (*c.line ? ":" + std::to_string(line_of(ibs, c.line)) : "") + ": ";
    EXPECT_NE(r.err.find(where), std::string::npos) << where << '\n' << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir + "/report.json"));
}

void unchanged(const std::string &) {}

INSTANTIATE_TEST_SUITE_P(
    Ibis, RefusedRuns,
    ::testing::Values(
        RefusedRun{"missing_library", [](const std::string &ibs) { fs::remove(kit_library(ibs, "Quorvane")); }, {},
                   "Quorvane_pelisk4_", "is missing"},
        RefusedRun{"wrong_width",
                   [](const std::string &ibs) {
                       // The same library, its ELF class byte made the other width's.
                       const std::string path = kit_library(ibs, "dorvex8_tx");
                       std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
                       file.seekp(4);
                       file.put(sizeof(void *) == 8 ? 1 : 2);
                   },
                   {}, "dorvex8_tx_", "-bit x86 shared library"},
        RefusedRun{"model_not_in_file", unchanged, {"--rx-ibis-model", "nosuch"}, "",
                   "no model or model selector nosuch"},
        RefusedRun{"pin_model_not_in_file",
                   [](const std::string &ibs) { rewritten(ibs, "RX_N            Quorvane_pelisk4", "RX_N nosuch"); },
                   {}, "RX_N", "names the model nosuch, which is not in the file"},
        RefusedRun{"pin_without_model", unchanged, {"--tx-pin", "5"}, "VDD", "pin 5 (VDD) has no signal model"},
        RefusedRun{"receiver_as_transmitter", unchanged, {"--tx-pin", "3"}, "Model_type      Input",
                   "is of Model_type Input, not an output"},
        RefusedRun{"no_algorithmic_model",
                   [](const std::string &ibs) {
                       const std::string text = slurp(ibs);
                       const size_t from = text.find("[Algorithmic Model]");
                       const size_t to = text.find("[End Algorithmic Model]") + 23;
                       std::ofstream(ibs) << text.substr(0, from) + text.substr(to);
                   },
                   {"--tx-pin", "1"}, "[Model]         dorvex8_tx", "has no [Algorithmic Model]"},
        RefusedRun{"iv_not_crossing_zero",
                   [](const std::string &ibs) {
                       // The table's own rows then belong to a keyword that is skipped.
                       rewritten(ibs, "[Pullup]", "[Pullup]\n-1.0 1mA NA NA\n1.0 2mA NA NA\n[Skipped]");
                   },
                   {}, "[Pullup]", "do not cross zero"},
        RefusedRun{"negative_c_comp",
                   [](const std::string &ibs) {
                       const std::string text = slurp(ibs);
                       const size_t from = text.find("\nC_comp") + 1;
                       std::ofstream(ibs) << text.substr(0, from) + "C_comp -1.0pF NA NA" +
                                                 text.substr(text.find('\n', from));
                   },
                   {}, "C_comp -1.0pF", "C_comp is negative"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

namespace {

TEST(IbisRun, OptionsThatDoNotGoTogetherAreUsageErrors)
{
    const std::string ibs = make_kit("ibis_usage_kit");
    const struct {
        std::vector<std::string> args;
        const char *message;
    } table[] = {
        {{"--tx-pin", "1"}, "need --ibs"},
        {{"--no-analog"}, "need --ibs"},
        {{"--ibs", ibs, "--rx-model", RX_MODEL, "--rx-ami", RX_AMI}, "leave out --tx-model"},
        {{"sweep", "--sweep", "rx:EQ_Config=0,1", "--ibs", ibs}, "a sweep does not take it"},
    };
    for (const auto &row : table) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--no-plots", "--out", temp_path("ibis_usage")});
        const HostOutcome r = run_host(args);
        EXPECT_EQ(r.exit_code, 2) << row.message << '\n' << r.out << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
}

} // namespace
