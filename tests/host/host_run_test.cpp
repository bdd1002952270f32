// The host program run as a user runs it: end to end on our Tx model and on a
// pass-through model of the tests' own, with pictures; figures independent of
// the AMI_GetWave block size and equal on both widths; bad input refused.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Result {
    int exit_code = -1; // -1: the host did not exit normally (a crash)
    std::string out, err;
    std::string dir;
};

std::string slurp(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string temp_path(const std::string &name)
{
    return ::testing::TempDir() + "ami_host_" + name + "_" + std::to_string(getpid());
}

// Runs ami_host with `args` and --out <a fresh folder>, --progress never.
Result run_host(const std::string &name, const std::vector<std::string> &args)
{
    Result r;
    r.dir = temp_path(name);
    std::string command = std::string("'") + AMI_HOST + "' --progress never --out '" + r.dir + "'";
    for (const std::string &a : args)
        command += " '" + a + "'";
    command += " >'" + r.dir + ".out' 2>'" + r.dir + ".err'";
    const int status = std::system(command.c_str());
    r.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.out = slurp(r.dir + ".out");
    r.err = slurp(r.dir + ".err");
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
}

// Our receiver, with its strongest equalizer setting.
const std::vector<std::string> kEqualizingRx = {"--rx", "EQ_Config=4"};

TEST(HostRun, FiguresDoNotDependOnTheGetWaveBlockSize)
{
    const std::vector<std::string> common =
        kEqualizingRx + std::vector<std::string>{"--tx", "TX_Deemph=3", "--bits", "12000", "--no-plots"};
    const Result small = run_host("blocks1000", common + std::vector<std::string>{"--block-size", "1000"});
    const Result large = run_host("blocks100000", common + std::vector<std::string>{"--block-size", "100000"});
    ASSERT_EQ(small.exit_code, 0) << small.err;
    ASSERT_EQ(large.exit_code, 0) << large.err;
    nlohmann::json a = report_of(small), b = report_of(large);
    EXPECT_EQ(a["time_domain"]["getwave_calls"]["rx"], 384);
    EXPECT_EQ(b["time_domain"]["getwave_calls"]["rx"], 4);
    for (nlohmann::json *j : {&a, &b})
        (*j)["time_domain"].erase("getwave_calls");
    for (const char *section : {"statistical", "time_domain", "comparison"})
        EXPECT_EQ(a[section], b[section]) << section;
    EXPECT_GT(a["time_domain"]["clock"]["clocks"].get<long>(), 11000);
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
    add("channel_loss_db", report["channel"]["loss_at_nyquist_db"]);
    for (const nlohmann::json &s : report["statistical"]["stages"])
        for (const char *key : {"main_cursor", "eye_height", "peak", "eye_width_ui"})
            add(s["name"].get<std::string>() + " " + key, s[key]);
    const nlohmann::json &td = report["time_domain"];
    for (const char *key : {"latency_bits", "bits_counted", "bit_errors", "eye_height", "eye_width_ui"})
        add(key, td[key]);
    EXPECT_EQ(figures, slurp(EXPECTED_FIGURES)) << "figures of this run:\n" << figures;
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
        {{"--tx-ami", malformed}, "malformed.ami_" + std::to_string(getpid()) + ":3: parameter 'TX_Deemph': its default '9' is outside"},
        {{"--tx", "TX_Deemf=3"}, "Tx parameter 'TX_Deemf' is not declared in"},
        {{"--tx", "TX_Deemph=8"}, "Tx parameter TX_Deemph=8 is refused: '8' is outside the range 0 to 7"},
        {kPassthroughRx + std::vector<std::string>{"--rx", "gain=20"}, "'20' is outside the range 0.1 to 10"},
        {{"--channel", channel}, ":3: expected two numbers (time and value), found '2e-12 five'"},
        {kPassthroughRx + std::vector<std::string>{"--rx", "fail_init=1"},
         "AMI_Init returned 0 with the message:\n**Error** passthrough: told to fail by fail_init."},
        {{"--tx-model", PASSTHROUGH_MODEL}, "--tx-model needs the model's .ami file"},
        {{"--bits", "10"}, "--bits"},
        {{"--prbs", "8"}, "--prbs"},
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
