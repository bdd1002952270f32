// The host run on Touchstone channels and with crosstalk: bad files refused
// with their line, crosstalk of zero leaving every figure as it was, and the
// embedded line written as a two-port (and nothing else) and read back.
#include "host_process.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>


#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Json = nlohmann::json;

struct Result : HostOutcome {
    std::string dir;
};

Result run_host(const std::string &name, const std::vector<std::string> &args)
{
    Result r;
    r.dir = temp_path("channel_" + name);
    std::vector<std::string> words = {AMI_HOST, "--progress", "never", "--no-plots", "--out", r.dir};
    words.insert(words.end(), args.begin(), args.end());
    static_cast<HostOutcome &>(r) = run_logged(words, r.dir);
    return r;
}

Json report_of(const Result &r) { return Json::parse(slurp(r.dir + "/report.json")); }

std::string write_file(const std::string &name, const std::string &text)
{
    const std::string path = temp_path(name);
    std::ofstream(path) << text;
    return path;
}

TEST(HostChannel, BadTouchstoneFilesAreRefusedNamingFileAndLine)
{
    struct Case {
        const char *name, *text, *where, *what;
    };
    const std::vector<Case> cases = {
        {"truncated.s2p", "# GHz S RI R 50\n1 0.1 0 0.9 0 0.9 0 0.1 0\n2 0.1 0 0.8\n", ":3:", "incomplete"},
        {"decreasing.s2p", "# GHz S RI R 50\n2 0.1 0 0.9 0 0.9 0 0.1 0\n1 0.1 0 0.9 0 0.9 0 0.1 0\n", ":3:",
         "increase"},
        {"nan.s2p", "# GHz S RI R 50\n1 0.1 0 0.9 0 0.9 0 0.1 0\n2 0.1 0 nan 0 0.9 0 0.1 0\n", ":3:", "finite"},
        {"ports.s2p",
         "[Version] 2.0\n# GHz S RI R 50\n[Number of Ports] 4\n[Number of Frequencies] 1\n[Network Data]\n"
         "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n[End]\n",
         ":5:", "Number of Ports"},
        {"odd.s3p", "# GHz S RI R 50\n1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n2 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
         ":", "even number of ports"},
    };
    for (const Case &c : cases) {
        const std::string path = write_file(c.name, c.text);
        for (const char *option : {"--channel", "--xtalk"}) {
            const Result r = run_host(c.name, {option, path, "--statistical-only"});
            EXPECT_EQ(r.exit_code, 3) << c.name << ' ' << option << '\n' << r.err;
            EXPECT_NE(r.err.find(path + c.where), std::string::npos) << c.name << ' ' << option << '\n' << r.err;
            EXPECT_NE(r.err.find(c.what), std::string::npos) << c.name << ' ' << option << '\n' << r.err;
        }
    }
}

// A two-port of a 1 ns delay at the given frequencies (Hz), in a file.
std::string delay_file(const std::string &name, double start, double step, int points)
{
    std::string text = "# Hz S MA R 50\n";
    for (int k = 0; k < points; ++k) {
        const double f = start + step * k;
        text += std::to_string(f) + " 0 0 0.9 " + std::to_string(-360.0 * std::fmod(f * 1e-9, 1.0)) + " 0.9 " +
                std::to_string(-360.0 * std::fmod(f * 1e-9, 1.0)) + " 0 0\n";
    }
    return write_file(name, text);
}

TEST(HostChannel, DataBelowTheLinksNyquistFrequencyAreRefusedOrMarkedAtOnce)
{
    // 40 to 60 MHz in 20 kHz steps: a long window that once took minutes.
    const std::string narrow = delay_file("narrow.s2p", 40e6, 20e3, 1001);
    const Result refused = run_host("narrow", {"--channel", narrow, "--tx-model", "none", "--rx-model", "none"});
    EXPECT_EQ(refused.exit_code, 3) << refused.err;
    EXPECT_NE(refused.err.find(narrow + ": the data span 40 MHz to 60 MHz, far below the link's Nyquist "
                                        "frequency 5 GHz"),
              std::string::npos)
        << refused.err;

    const std::string short_of = delay_file("short_of.s2p", 10e6, 10e6, 400);
    const Result warned =
        run_host("short_of", {"--channel", short_of, "--tx-model", "none", "--rx-model", "none", "--statistical-only"});
    ASSERT_EQ(warned.exit_code, 0) << warned.err;
    EXPECT_NE(warned.err.find("warning: " + short_of + ": the data span 10 MHz to 4 GHz, below"), std::string::npos)
        << warned.err;
    EXPECT_NE(warned.out.find("(extrapolated: the data end at 4 GHz)"), std::string::npos) << warned.out;
    EXPECT_EQ(report_of(warned)["channel"]["insertion_loss_at_nyquist_extrapolated"], true);
}

// Every figure of a report but the run's wall time and the crosstalk section.
Json figures(Json report)
{
    report.erase("timing");
    report.erase("crosstalk");
    return report;
}

TEST(HostChannel, CrosstalkOfZeroLeavesEveryFigureAsItWas)
{
    // Our models on the embedded line, the equalizer on: an open eye and a settled clock.
    const std::vector<std::string> base = {"--tx", "TX_Deemph=3", "--rx", "EQ_Config=2", "--bits", "3000"};
    const std::string zero = write_file("zero.s2p", "# GHz S RI R 50\n1 0 0 0 0 0 0 0 0\n50 0 0 0 0 0 0 0 0\n");
    const Result without = run_host("without", base);
    std::vector<std::string> args = base;
    for (const std::string &x : {zero, zero})
        args.insert(args.end(), {"--xtalk", x});
    const Result with = run_host("with", args);
    ASSERT_EQ(without.exit_code, 0) << without.err;
    ASSERT_EQ(with.exit_code, 0) << with.err;
    const Json a = report_of(without), b = report_of(with);
    ASSERT_TRUE(a["time_domain"]["eye_height"].is_number()) << without.out;
    EXPECT_EQ(figures(a), figures(b));
    const Json &x = b["crosstalk"];
    ASSERT_EQ(x["aggressors"].size(), 2u);
    EXPECT_EQ(x["peak_distortion"], 0.0);
    EXPECT_EQ(x["time_domain_eye_height_without"], x["time_domain_eye_height_with"]);
    EXPECT_EQ(x["time_domain_eye_height_with"], a["time_domain"]["eye_height"]);
    // The pictures get the eye without crosstalk too, traces and all.
    const Json waves = Json::parse(slurp(with.dir + "/waveforms.json"));
    EXPECT_EQ(waves["eye_without_crosstalk"], waves["eye"]);
}

TEST(HostChannel, AggressorPairOfTheChannelFileEqualsTheSameFileAsCrosstalk)
{
    const std::string file = std::string(CHANNELS) + "/long_aggressor1.s8p";
    const Result pair = run_host("pair", {"--channel", file, "--aggressor", "1:near", "--statistical-only"});
    const Result xtalk = run_host("xtalk", {"--channel", file, "--xtalk", file + ":near", "--statistical-only"});
    ASSERT_EQ(pair.exit_code, 0) << pair.err;
    ASSERT_EQ(xtalk.exit_code, 0) << xtalk.err;
    const Json a = report_of(pair)["crosstalk"], b = report_of(xtalk)["crosstalk"];
    EXPECT_GT(a["peak_distortion"].get<double>(), 0.0);
    EXPECT_EQ(a, b);
}

// The channel's pulse response drawn in waveforms.json, with the time of its
// first sample: the channel's own delay removed counts.
struct Pulse {
    std::vector<double> values;
    double start = 0.0; // seconds
    double dt = 0.0;
};

Pulse channel_pulse(const Result &r)
{
    const Json waves = Json::parse(slurp(r.dir + "/waveforms.json"));
    Pulse p;
    p.values = waves["responses"][0]["pulse"].get<std::vector<double>>();
    p.dt = waves["sample_interval"].get<double>();
    p.start = waves["first_sample"].get<double>() * p.dt + report_of(r)["channel"]["delay_removed"].get<double>();
    return p;
}

// The pulse at time `t`, interpolated linearly; NaN outside.
double at(const Pulse &p, double t)
{
    const double x = (t - p.start) / p.dt;
    const double i = std::floor(x);
    if (i < 0.0 || i + 1.0 >= static_cast<double>(p.values.size()))
        return NAN;
    const size_t n = static_cast<size_t>(i);
    return p.values[n] + (x - i) * (p.values[n + 1] - p.values[n]);
}

TEST(HostChannel, EmbeddedLineWrittenAsTouchstoneReadsBackToItsPulseResponse)
{
    // Written into the run's --out folder, which does not exist yet: the file
    // alone, no report beside it.
    const std::string s2p = temp_path("channel_written") + "/line.s2p";
    const Result written = run_host("written", {"--write-touchstone", s2p});
    ASSERT_EQ(written.exit_code, 0) << written.err;
    EXPECT_NE(written.out.find("Wrote " + s2p), std::string::npos) << written.out;
    EXPECT_EQ(written.out.find("flow"), std::string::npos) << written.out;
    const auto entries = std::filesystem::directory_iterator(written.dir);
    EXPECT_EQ(std::distance(begin(entries), end(entries)), 1);

    const std::vector<std::string> models = {"--tx-model", "none", "--rx-model", "none", "--statistical-only"};
    const Result original = run_host("line", models);
    ASSERT_EQ(original.exit_code, 0) << original.err;
    std::vector<std::string> read = models;
    read.insert(read.end(), {"--channel", s2p});
    const Result back = run_host("line_back", read);
    ASSERT_EQ(back.exit_code, 0) << back.err;

    // The two sample the same response at different phases (the delay each
    // leaves out is whole samples of its own): compare at the same times.
    const Pulse expected = channel_pulse(original), actual = channel_pulse(back);
    const double peak = *std::max_element(expected.values.begin(), expected.values.end());
    double worst = 0.0;
    size_t compared = 0;
    for (size_t n = 0; n < expected.values.size(); ++n) {
        const double other = at(actual, expected.start + static_cast<double>(n) * expected.dt);
        if (std::isfinite(other)) {
            worst = std::max(worst, std::fabs(expected.values[n] - other));
            ++compared;
        }
    }
    EXPECT_LT(worst, 0.005 * peak);
    EXPECT_GT(compared, 100u * 32u);
    std::filesystem::remove_all(written.dir);
}

} // namespace
