// The host program run as a user runs it: end to end on our Tx model and on a
// pass-through model of the tests' own, with pictures; figures independent of
// the AMI_GetWave block size and equal on both widths; bad input refused.
#include "host_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Result : HostOutcome {
    std::string dir;
};

// Runs ami_host with `args` and --out <a fresh folder> (unless they name
// one), --progress never.
Result run_host(const std::string &name, const std::vector<std::string> &args)
{
    Result r;
    r.dir = temp_path(name);
    std::vector<std::string> words = {AMI_HOST, "--progress", "never"};
    if (std::find(args.begin(), args.end(), "--out") == args.end())
        words.insert(words.end(), {"--out", r.dir});
    words.insert(words.end(), args.begin(), args.end());
    static_cast<HostOutcome &>(r) = run_logged(words, r.dir);
    return r;
}

nlohmann::json report_of(const Result &r) { return nlohmann::json::parse(slurp(r.dir + "/report.json")); }

long file_size(const std::string &path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? static_cast<long>(info.st_size) : -1;
}

const std::vector<std::string> kPassthroughRx = {"--rx-model", PASSTHROUGH_MODEL, "--rx-ami", PASSTHROUGH_AMI};

std::vector<std::string> operator+(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(HostRun, DrivesOurTxAndAForeignRxEndToEndAndDrawsThePictures)
{
    // A short line: the pass-through Rx does not equalize.
    const Result r = run_host("foreign", kPassthroughRx + std::vector<std::string>{
                                             "--rx", "clock.clocks=1", "--line-length", "0.15", "--bits", "3000"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("Statistical flow"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Rx AMI_Init: **Info** passthrough ready."), std::string::npos) << r.out;
    const nlohmann::json report = report_of(r);
    EXPECT_EQ(report["models"]["rx"]["root"], "passthrough");
    EXPECT_EQ(report["models"]["rx"]["parameters_in"],
              "(passthrough (gain 1) (fail_init 0) (clock (clocks 1) (phase 0.5)) (label \"pass\"))");
    // Where each value came from: the command line, the .ami's Default, or
    // (without one) its first allowed value.
    EXPECT_EQ(report["models"]["rx"]["value_sources"]["clock.clocks"], "command line");
    EXPECT_EQ(report["models"]["rx"]["value_sources"]["gain"], ".ami");
    EXPECT_EQ(report["models"]["tx"]["value_sources"]["TX_Deemph"], "default");
    EXPECT_EQ(report["models"]["rx"]["library_digest"].get<std::string>().size(), 16u);
    const nlohmann::json &loss = report["channel"]["insertion_loss"];
    ASSERT_EQ(loss["frequency"].size(), 64u);
    EXPECT_DOUBLE_EQ(loss["frequency"][31].get<double>(), 0.5 * report["settings"]["bit_rate"].get<double>());
    EXPECT_DOUBLE_EQ(loss["loss_db"][31].get<double>(), report["channel"]["insertion_loss_at_nyquist_db"]);
    EXPECT_EQ(report["statistical"]["stages"].size(), 3u);
    EXPECT_TRUE(report["statistical"]["stages"][2]["eye_open"]);
    const nlohmann::json &td = report["time_domain"];
    EXPECT_EQ(td["clock"]["source"], "model");
    EXPECT_TRUE(td["clock"]["settled"]);
    EXPECT_GT(td["bits_counted"].get<long>(), 2500);
    EXPECT_EQ(td["bit_errors"], 0);
    EXPECT_TRUE(td["eye_open"]);
    // For linear models the two flows agree: the statistical pulse response
    // superposed over the bits sent gives the time-domain eye.
    EXPECT_NEAR(report["comparison"]["nonlinear_effect"].get<double>(), 0.0, 1e-9);
    for (const char *picture : {"eye.png", "responses.png", "clock.png"})
        EXPECT_GT(file_size(r.dir + "/" + picture), 10000) << picture;
    EXPECT_GT(file_size(r.dir + "/report.html"), 100000); // holds the pictures
    // The responses drawn hold the ISI the summary prints.
    const nlohmann::json waves = nlohmann::json::parse(slurp(r.dir + "/waveforms.json"));
    for (const nlohmann::json &response : waves["responses"])
        EXPECT_LE(response["isi_outside"].get<double>(), 1e-3 * response["isi"].get<double>()) << response["name"];
}

// Our receiver, with its strongest equalizer setting.
const std::vector<std::string> kEqualizingRx = {"--rx", "EQ_Config=4"};

// The summary without the line that names the block size.
std::string summary_without_blocks(const std::string &out)
{
    std::istringstream lines(out);
    std::string line, kept;
    while (std::getline(lines, line))
        if (line.rfind("Time-domain flow:", 0) != 0 && line.rfind("Report:", 0) != 0)
            kept += line + "\n";
    return kept;
}

TEST(HostRun, FiguresDoNotDependOnTheBlockSizesAndEqualTheWholeWaveformRun)
{
    const std::vector<std::string> common =
        kEqualizingRx + std::vector<std::string>{"--tx", "TX_Deemph=3", "--bits", "12000", "--no-plots"};
    const Result small = run_host("blocks1000", common + std::vector<std::string>{"--block-size", "1000"});
    const Result large = run_host("blocks100000", common + std::vector<std::string>{"--block-size", "100000"});
    // One AMI_GetWave call and one FFT segment for the whole waveform.
    const Result whole = run_host("whole", common + std::vector<std::string>{"--block-size", "384000", "--fft-size",
                                                                             "1048576"});
    const Result fine = run_host("fine", common + std::vector<std::string>{"--block-size", "77", "--fft-size",
                                                                           "32768"});
    for (const Result *r : {&small, &large, &whole, &fine})
        ASSERT_EQ(r->exit_code, 0) << r->err;
    nlohmann::json a = report_of(small), b = report_of(large);
    EXPECT_EQ(a["time_domain"]["getwave_calls"]["rx"], 384);
    EXPECT_EQ(b["time_domain"]["getwave_calls"]["rx"], 4);
    EXPECT_EQ(report_of(whole)["time_domain"]["getwave_calls"]["rx"], 1);
    for (nlohmann::json *j : {&a, &b})
        (*j)["time_domain"].erase("getwave_calls");
    for (const char *section : {"statistical", "statistical_eye", "time_domain", "comparison"})
        EXPECT_EQ(a[section], b[section]) << section;
    EXPECT_GT(a["time_domain"]["clock"]["clocks"].get<long>(), 11000);
    // Other FFT segments round differently, below the printed digits.
    for (const Result *r : {&large, &whole, &fine})
        EXPECT_EQ(summary_without_blocks(r->out), summary_without_blocks(small.out));
}

TEST(HostRun, FftSizeTooSmallForTheChannelIsRefusedNamingTheSmallestThatWorks)
{
    const std::vector<std::string> quick = {"--tx-model", "none", "--rx-model", "none", "--bits", "200",
                                            "--no-plots"};
    const auto with_fft_size = [&](const std::string &name, long size) {
        return run_host(name, quick + std::vector<std::string>{"--fft-size", std::to_string(size)});
    };
    const Result tiny = with_fft_size("fft_tiny", 64);
    EXPECT_EQ(tiny.exit_code, 3) << tiny.err; // bad input
    EXPECT_NE(tiny.err.find("--fft-size 64 is too small for this link's "), std::string::npos) << tiny.err;
    const size_t named = tiny.err.find("give at least ");
    ASSERT_NE(named, std::string::npos) << tiny.err;
    const long least = std::atol(tiny.err.c_str() + named + 14);
    const Result half = with_fft_size("fft_half", least / 2);
    EXPECT_EQ(half.exit_code, 3) << half.err;
    const Result fits = with_fft_size("fft_least", least);
    ASSERT_EQ(fits.exit_code, 0) << fits.err;
    EXPECT_EQ(report_of(fits)["time_domain"]["fft_size"], least);
}

// The figures of a fixed run at six significant digits; the same file serves
// the x86-64, the i386 and the sanitizer trees, so the widths must agree.
TEST(HostRun, FiguresAgreeWithTheRecordedOnesOnEveryWidth)
{
    const Result r = run_host("width", kPassthroughRx + std::vector<std::string>{
                                           "--rx", "clock.clocks=1", "clock.phase=0.25", "--tx", "TX_Deemph=2",
                                           "--line-length", "0.25", "--bits", "4000", "--no-plots"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const nlohmann::json report = report_of(r);
    std::string figures;
    auto add = [&figures](const std::string &name, const nlohmann::json &value) {
        char line[128];
        if (value.is_number_float())
            std::snprintf(line, sizeof line, "%s %.6g\n", name.c_str(), value.get<double>());
        else
            std::snprintf(line, sizeof line, "%s %s\n", name.c_str(), value.dump().c_str());
        figures += line;
    };
    add("channel_loss_db", report["channel"]["insertion_loss_at_nyquist_db"]);
    for (const nlohmann::json &s : report["statistical"]["stages"])
        for (const char *key : {"main_cursor", "eye_height", "peak", "eye_width_ui"})
            add(s["name"].get<std::string>() + " " + key, s[key]);
    const nlohmann::json &td = report["time_domain"];
    for (const char *key : {"latency_bits", "bits_counted", "bit_errors", "eye_height", "eye_width_ui"})
        add(key, td[key]);
    EXPECT_EQ(figures, slurp(EXPECTED_FIGURES)) << "figures of this run:\n" << figures;
}

TEST(HostRun, DeclaredJitterAndNoiseAreOverriddenByOptionsAndGiveTheStatisticalEye)
{
    std::string ami = slurp(PASSTHROUGH_AMI);
    ami.replace(ami.find("    (Ignore_Bits"), 0,
                "    (Rx_Noise (Usage Info) (Type Float) (Value 0.02))\n"
                "    (Rx_Rj (Usage Info) (Type UI) (Value 0.01))\n");
    const std::string declaring = temp_path("declaring.ami");
    std::ofstream(declaring) << ami;
    const Result r = run_host("impaired", {"--rx-model", PASSTHROUGH_MODEL, "--rx-ami", declaring, "--rx-rj",
                                           "0.02UI", "--line-length", "0.15", "--bits", "3000", "--target-ber", "1e-9"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const nlohmann::json report = report_of(r);
    EXPECT_EQ(report["impairments"]["Rx_Noise"], 0.02);
    EXPECT_NEAR(report["impairments"]["Rx_Rj"]["ui"].get<double>(), 0.02, 1e-15);
    const nlohmann::json &eye = report["statistical_eye"];
    EXPECT_EQ(eye["target_ber"], 1e-9);
    EXPECT_TRUE(eye["open"]);
    // Noise takes its share off the worst-case opening.
    EXPECT_LT(eye["height"].get<double>(), report["statistical"]["stages"][2]["eye_height"].get<double>());
    EXPECT_NE(r.out.find("Statistical eye at BER 1e-09"), std::string::npos) << r.out;
    for (const char *picture : {"stat_eye.png", "bathtubs.png"})
        EXPECT_GT(file_size(r.dir + "/" + picture), 10000) << picture;
}

TEST(HostRun, ALongParameterStringIsShortenedInTheSummaryAndKeptWholeInTheReport)
{
    std::string ami = slurp(PASSTHROUGH_AMI);
    const std::string label = std::string(250, 'x');
    ami.replace(ami.find("\"pass\""), 6, "\"" + label + "\"");
    const std::string declaring = temp_path("long_label.ami");
    std::ofstream(declaring) << ami;
    const Result r = run_host("long_label", {"--rx-model", PASSTHROUGH_MODEL, "--rx-ami", declaring,
                                             "--statistical-only", "--no-plots"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string parameters = report_of(r)["models"]["rx"]["parameters_in"];
    ASSERT_NE(parameters.find(label), std::string::npos);
    EXPECT_NE(r.out.find("  Rx parameters: " + parameters.substr(0, 200) + " ... (" +
                         std::to_string(parameters.size() - 200) + " more characters in report.json)\n"),
              std::string::npos)
        << r.out;
}

std::string write_text(const std::string &name, const std::string &text)
{
    const std::string path = temp_path(name);
    std::ofstream(path) << text;
    return path;
}

// 64 samples at the simulation's interval (3.125 ps) with a unit-area spike at sample `at`.
std::string spike_channel(int at)
{
    std::string text;
    for (int i = 0; i < 64; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "%.17g %.17g\n", i * 3.125e-12, i == at ? 1.0 / 3.125e-12 : 0.0);
        text += line;
    }
    return write_text("spike" + std::to_string(at) + ".txt", text);
}

TEST(HostRun, AnIdealChannelWithoutModelsPassesTheBitsUntouched)
{
    const std::vector<std::string> bare = {"--tx-model", "none", "--rx-model", "none", "--no-plots", "--bits", "3000"};
    for (int at : {0, 10}) {
        const Result r = run_host("ideal", bare + std::vector<std::string>{"--channel", spike_channel(at)});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        const nlohmann::json report = report_of(r);
        EXPECT_NEAR(report["channel"]["insertion_loss_at_nyquist_db"].get<double>(), 0.0, 1e-9) << at;
        EXPECT_NEAR(report["statistical"]["stages"][0]["eye_height"].get<double>(), 1.0, 1e-12) << at;
        const nlohmann::json &td = report["time_domain"];
        EXPECT_EQ(td["clock"]["source"], "ideal");
        EXPECT_NEAR(td["eye_height"].get<double>(), 1.0, 1e-12) << at;
        EXPECT_GT(td["eye_width_ui"].get<double>(), 0.95) << at; // sampled mid-bit, not on the edge
        EXPECT_EQ(td["bit_errors"], 0);
        EXPECT_NE(r.out.find("loss at 5 GHz (half the bit rate): 0.0 dB"), std::string::npos) << r.out;
    }
    // Shorter than one sample interval: its area still arrives.
    const Result brief = run_host("brief", bare + std::vector<std::string>{
                                               "--channel", write_text("brief.txt", "0 0\n1e-12 1e9\n2e-12 0\n")});
    ASSERT_EQ(brief.exit_code, 0) << brief.err;
    EXPECT_NEAR(report_of(brief)["channel"]["insertion_loss_at_nyquist_db"].get<double>(), 60.0, 0.1);
    EXPECT_EQ(report_of(brief)["time_domain"]["bit_errors"], 0);
}

TEST(HostRun, TheClockIsSettledOnlyOnItsOwnEvidenceWhateverTheRunLength)
{
    const std::vector<std::string> common = {"--tx", "TX_Deemph=3", "--rx", "EQ_Config=2", "--no-plots"};
    const Result shorter = run_host("settle1", common + std::vector<std::string>{"--bits", "20000"});
    const Result longer = run_host("settle2", common + std::vector<std::string>{"--bits", "50000"});
    const Result brief = run_host("settle3", common + std::vector<std::string>{"--bits", "200"});
    for (const Result *r : {&shorter, &longer, &brief})
        ASSERT_EQ(r->exit_code, 0) << r->err;
    const nlohmann::json a = report_of(shorter)["time_domain"]["clock"], b = report_of(longer)["time_domain"]["clock"];
    EXPECT_TRUE(a["settled"]);
    EXPECT_EQ(a["settle_bits"], b["settle_bits"]);
    const nlohmann::json c = report_of(brief)["time_domain"];
    EXPECT_FALSE(c["clock"]["settled"]);
    EXPECT_EQ(c["bits_counted"], 0);
    EXPECT_NE(brief.out.find("did not settle in the run's 200 bits"), std::string::npos) << brief.out;

    // PRBS31 starts with a still clock, then pulls in slowly for about 550
    // bits: settling is found where the pull-in ends, not at the still start.
    const Result pulling = run_host("settle4", common + std::vector<std::string>{"--prbs", "31", "--bits", "20000"});
    ASSERT_EQ(pulling.exit_code, 0) << pulling.err;
    const nlohmann::json d = report_of(pulling)["time_domain"]["clock"];
    const nlohmann::json phases =
        nlohmann::json::parse(slurp(pulling.dir + "/waveforms.json"))["clock"]["phase_ui"];
    const double at_settling = phases.at(static_cast<size_t>(d["settle_bits"].get<double>())).get<double>();
    EXPECT_NEAR(at_settling, d["final_phase_ui"].get<double>(), 0.125);
    EXPECT_EQ(d["lock_losses"], 0);
}

TEST(HostRun, AnEyeWithBitErrorsIsNeverCalledOpen)
{
    const Result r = run_host("offset", {"--tx", "TX_Deemph=6", "--rx", "EQ_Config=1", "--no-plots"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const nlohmann::json td = report_of(r)["time_domain"];
    ASSERT_GT(td["bit_errors"].get<long>(), 0);
    EXPECT_FALSE(td["eye_open"]);
    EXPECT_LT(td["eye_top"].get<double>(), 0.0);
    EXPECT_NE(r.out.find("does not hold the 0 V decision threshold"), std::string::npos) << r.out;
}

TEST(HostRun, ACopiedHostFindsItsPlottingScriptWhereItIsInstalled)
{
    // <prefix>/bin/ami_host with <prefix>/share/ami_host/plot_results.py draws;
    // without the script it says where it looked, before simulating.
    const std::string prefix = temp_path("installed");
    const std::string copy = prefix + "/bin/ami_host";
    const std::string setup = "mkdir -p '" + prefix + "/bin' '" + prefix + "/share/ami_host' && cp '" + AMI_HOST +
                              "' '" + copy + "'";
    ASSERT_EQ(std::system(setup.c_str()), 0);
    const std::string run = "'" + copy + "' --statistical-only --progress never --out '" + prefix + "/out' 2>&1";
    FILE *missing = popen(run.c_str(), "r");
    char text[512] = {};
    const size_t got = std::fread(text, 1, sizeof text - 1, missing);
    EXPECT_NE(pclose(missing), 0);
    EXPECT_NE(std::string(text, got).find("cannot find the script plot_results.py in '" + prefix + "/bin'"),
              std::string::npos)
        << text;
    const std::string install = "cp '" + std::string(PLOT_SCRIPT) + "' '" + STAT_EYE_PLOT_SCRIPT + "' '" +
                                RUN_PAGE_SCRIPT + "' '" + HTML_PAGE_SCRIPT + "' '" + prefix + "/share/ami_host/' && " +
                                run + " >/dev/null";
    EXPECT_EQ(std::system(install.c_str()), 0);
    EXPECT_GT(file_size(prefix + "/out/responses.png"), 10000);
    EXPECT_GT(file_size(prefix + "/out/report.html"), 10000);
}

TEST(HostRun, AModelThatWritesNaNStopsTheRunSayingWhere)
{
    const Result r = run_host("nan", {"--rx-model", FAULTY_NAN_OUTPUT, "--rx-ami", FAULTY_AMI, "--no-plots"});
    EXPECT_EQ(r.exit_code, 4) << r.err;
    EXPECT_NE(r.err.find("the Rx model's AMI_GetWave wrote NaN at sample 2007 of the run (call 3)"), std::string::npos)
        << r.err;
}

// A transmitter gets a clock_times array like any model: writing the
// terminator into it is harmless, writing past it is named. One that zeroes
// the response leaves no eye, and the refusal names the channel.
TEST(HostRun, ATransmittersClockTimesAreARealArray)
{
    const struct {
        const char *name, *model;
        int exit_code;
        const char *message;
    } cases[] = {{"terminator", FAULTY_TERMINATOR_ONLY, 0, "Report:"},
                 {"overrun", FAULTY_CLOCK_OVERRUN, 4, "the Tx model wrote past the clock_times array of 1001 slots"},
                 {"zero", FAULTY_ZERO_RESPONSE, 3,
                  "channel embedded, after the models: the pulse response is zero: there is no eye"}};
    for (const auto &c : cases) {
        const Result r = run_host(c.name, {"--tx-model", c.model, "--tx-ami", FAULTY_AMI, "--bits", "400", "--no-plots"});
        EXPECT_EQ(r.exit_code, c.exit_code) << c.name << '\n' << r.err;
        EXPECT_NE((r.out + r.err).find(c.message), std::string::npos) << c.name << '\n' << r.out << r.err;
    }
}

// A model that crashes, exits or hangs inside an entry point ends the run
// with one line naming it and the call, and with no report of an earlier run
// left to pass for this one's.
TEST(HostRun, AModelThatCrashesExitsOrHangsIsNamedAndLeavesNoReport)
{
    const Result good = run_host("fault", kPassthroughRx + std::vector<std::string>{"--bits", "400", "--no-plots"});
    ASSERT_EQ(good.exit_code, 0) << good.err;
    // Written under another name and renamed: nothing else is left behind.
    std::vector<std::string> files;
    for (const auto &entry : std::filesystem::directory_iterator(good.dir))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"report.json", "waveforms.json"}));
    const std::string earlier = slurp(good.dir + "/report.json");

    const struct {
        const char *side, *model, *shown;
    } cases[] = {
        {"rx", FAULTY_INIT_CRASH, "' crashed with SIGSEGV in AMI_Init (call 1)"},
        {"rx", FAULTY_GETWAVE_ABORT, "' crashed with SIGABRT in AMI_GetWave (call 2, block at sample "},
        {"tx", FAULTY_INIT_EXIT, "' exited with status 0 in AMI_Init (call 1)"},
        {"rx", FAULTY_GETWAVE_HANG, "' did not return within 1 s from AMI_GetWave (call 2, block at sample "},
        {"rx", FAULTY_CLOSE_CRASH, "' crashed with SIGSEGV in AMI_Close (call 1)"},
    };
    for (const auto &c : cases) {
        std::ofstream(good.dir + "/report.json") << earlier;
        std::ofstream(good.dir + "/eye.png") << "an earlier picture";
        std::ofstream(good.dir + "/report.html") << "an earlier page";
        const std::string side = c.side;
        const Result r = run_host("fault", {"--" + side + "-model", c.model, "--" + side + "-ami", FAULTY_AMI, "--out",
                                            good.dir, "--no-plots", "--bits", "400", "--model-timeout", "1"});
        EXPECT_EQ(r.exit_code, 4) << c.model << '\n' << r.err;
        const std::string who = "ami_host: model fault: the " + std::string(side == "rx" ? "Rx" : "Tx") + " model '";
        EXPECT_EQ(r.err.rfind(who + c.model, 0), 0u) << r.err;
        EXPECT_NE(r.err.find(c.shown), std::string::npos) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        for (const char *stale : {"report.json", "eye.png", "report.html"})
            EXPECT_FALSE(std::filesystem::exists(good.dir + "/" + stale)) << c.model << ' ' << stale;
    }
}

TEST(HostRun, BadInputIsRefusedWithAClearMessageAndNoCrash)
{
    const std::string malformed = temp_path("malformed.ami");
    std::ofstream(malformed) << "(dorvex8_tx\n (Reserved_Parameters (Init_Returns_Impulse True) (GetWave_Exists True))\n"
                                " (Model_Specific (TX_Deemph (Usage In) (Type Integer) (Range 9 0 7))))\n";
    const std::string channel = temp_path("channel.txt");
    std::ofstream(channel) << "0 0\n1e-12 5e11\n2e-12 five\n";
    const std::string text_file = temp_path("not_a_library.so");
    std::ofstream(text_file) << "plain text\n";

    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--tx-model", "/nonexistent/model.so", "--tx-ami", TX_AMI}, "'/nonexistent/model.so': no such file"},
        {{"--tx-model", text_file, "--tx-ami", TX_AMI}, "not a shared library (no ELF header)"},
        {{"--tx-model", NO_ENTRY_POINTS, "--tx-ami", TX_AMI},
         "is not an IBIS-AMI model: it does not export AMI_Init"},
        {{"--tx-ami", malformed}, "malformed.ami:3: parameter 'TX_Deemph': its default '9' is outside"},
        {{"--tx", "TX_Deemf=3"}, "Tx parameter 'TX_Deemf' is not declared in"},
        {{"--tx", "TX_Deemph=8"}, "Tx parameter TX_Deemph=8 is refused: '8' is outside the range 0 to 7"},
        {kPassthroughRx + std::vector<std::string>{"--rx", "gain=20"}, "'20' is outside the range 0.1 to 10"},
        {{"--channel", channel}, ":3: expected two numbers (time and value), found '2e-12 five'"},
        {kPassthroughRx + std::vector<std::string>{"--rx", "fail_init=1"},
         "AMI_Init returned 0 with the message:\n**Error** passthrough: told to fail by fail_init."},
        {{"--tx-model", PASSTHROUGH_MODEL}, "--tx-model needs the model's .ami file"},
        {{"--bits", "10"}, "--bits"},
        {{"--settle-tolerance", "nan"}, "--settle-tolerance: 'nan' is not a finite number"},
        {{"--bit-rate", "inf"}, "--bit-rate: 'inf' is not a finite number"},
        {{"--line-length", "nan"}, "--line-length: 'nan' is not a finite number"},
        {{"--bit-rate", "abc"}, "--bit-rate: 'abc' is not a number"},
        {{"--samples-per-bit", "3.5"}, "--samples-per-bit: '3.5' is not a whole number"},
        {{"--fft-size", "1000"}, "--fft-size 1000 is not a power of two"},
        {{"--channel", "."}, "'.': it is a directory"},
        {{"--out", "/proc"}, "cannot write into the output folder '/proc'"},
        {{"--prbs", "8"}, "--prbs"},
        {{"--tx-rj", "nan"}, "--tx-rj"},
        {{"--rx-noise", "inf"}, "--rx-noise"},
        {{"--rx-dj", "-0.1UI"}, "--rx-dj"},
        {{"--target-ber", "nan"}, "--target-ber: 'nan' is not a finite ratio"},
    };
    for (const auto &c : cases) {
        std::string shown;
        for (const std::string &a : c.args)
            shown += a + " ";
        const Result r = run_host("bad", c.args + std::vector<std::string>{"--no-plots", "--statistical-only"});
        EXPECT_GT(r.exit_code, 0) << shown << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << shown << "\nstderr: " << r.err;
        EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    }
}

} // namespace
