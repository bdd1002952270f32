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
