// Touchstone channels: reading and writing files, network paths, and the
// impulse responses built from them, against networks whose answers are
// known in closed form.
#include "channel/channel.h"
#include "channel/frequency_to_impulse.h"
#include "base/host_error.h"
#include "channel/network_paths.h"
#include "channel/touchstone.h"
#include "channel/touchstone_channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

using namespace ami_host;
using Complex = std::complex<double>;

namespace {

constexpr double pi = std::numbers::pi;

SParameters two_port(const std::vector<double> &frequencies, const std::function<Complex(double)> &transfer)
{
    std::vector<Complex> values;
    for (double f : frequencies)
        values.push_back(transfer(f));
    return matched_two_port(frequencies, values);
}

std::vector<double> linear_frequencies(double start, double stop, size_t count)
{
    std::vector<double> frequencies;
    for (size_t k = 0; k < count; ++k)
        frequencies.push_back(start + (stop - start) * static_cast<double>(k) / static_cast<double>(count - 1));
    return frequencies;
}

Complex rc_low_pass(double f, double tau)
{
    return 1.0 / Complex(1.0, 2.0 * pi * f * tau);
}

std::string refusal(const std::string &text, const std::string &name)
{
    try {
        parse_touchstone(text, name);
    } catch (const Error &error) {
        return error.what();
    }
    return "accepted";
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string text;
    for (const auto &line : lines)
        text += line + "\n";
    return text;
}

} // namespace

TEST(Touchstone, ReadsEveryLayoutAndFormat)
{
    struct Case {
        const char *name, *text;
        double frequency;          // Hz, of the first record
        int to, from;
        Complex expected;
    };
    const double root_half = std::sqrt(0.5);
    const Case cases[] = {
        // Version 1 two-ports list S11 S21 S12 S22.
        {"a.s2p", "! c\n# HZ S RI R 50\n1e9 0 0 0.5 -0.5 0.1 0 0 0\n", 1e9, 2, 1, {0.5, -0.5}},
        {"a.s2p", "# mhz s ri r 50\n1000 0 0 0.5 -0.5 0.1 0 0 0\n", 1e9, 1, 2, {0.1, 0.0}},
        {"a.S1P", "# khz S MA R 75\n+2 0.5 90 ! comment\n", 2e3, 1, 1, {0.0, 0.5}},
        {"a.s1p", "# GHz S DB\n3 -6.0205999132796239 180\n", 3e9, 1, 1, {-0.5, 0.0}},
        {"a.s1p", "1 1 45\n", 1e9, 1, 1, {root_half, root_half}}, // no option line: GHz, MA
        // A byte-order mark, and lines ending in CR alone or CR LF.
        {"a.s2p", "\xEF\xBB\xBF# Hz S RI\r1e9 0 0 0.5 -0.5 0.1 0 0 0\r", 1e9, 2, 1, {0.5, -0.5}},
        {"a.s2p", "# Hz S RI\r\n1e9 0 0 0.5 -0.5 0.1 0 0 0\r\n", 1e9, 2, 1, {0.5, -0.5}},
        // Larger networks go row by row, at most four values a line.
        {"a.s5p", "# Hz S RI\n7 11 0 12 0 13 0 14 0\n15 0\n21 0 22 0 23 0 24 0\n25 0\n31 0 32 0 33 0 34 0\n35 0\n"
                  "41 0 42 0 43 0 44 0\n45 0\n51 0 52 0 53 0 54 0\n55 0\n",
         7.0, 4, 5, {45.0, 0.0}},
        // Version 2: the order, a matrix triangle, references that agree.
        {"b.s2p", "[Version] 2.0\n# Hz S RI R 50\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n"
                  "[Number of Frequencies] 1\n[Reference] 50\n50\n[Network Data]\n5 0 0 0.25 0 0.75 0 0 0\n[End]\n",
         5.0, 1, 2, {0.25, 0.0}},
        {"b.ts", "[Version] 2.0\n# Hz S RI\n[Number of Ports] 3\n[Matrix Format] Lower\n[Network Data]\n"
                 "5 11 0\n21 0 22 0\n31 0 32 0 33 0\n[End]\n",
         5.0, 1, 3, {31.0, 0.0}},
        {"b.s2p", "[Version] 2.0\n# Hz S RI\n[Number of Ports] 2\n[Two-Port Data Order] 21_12\n"
                  "[Begin Information]\nanything [x]\n[End Information]\n[Network Data]\n5 0 0 0.25 0 0.75 0 0 0\n"
                  "[Noise Data]\n4 1 2 3 4\n[End]\n",
         5.0, 2, 1, {0.25, 0.0}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        const SParameters network = parse_touchstone(c.text, c.name);
        EXPECT_EQ(network.frequencies[0], c.frequency);
        EXPECT_NEAR(std::abs(network.at(0, c.to, c.from) - c.expected), 0.0, 1e-12);
    }
}

TEST(Touchstone, RefusesBadFilesNamingTheLine)
{
    const std::string two_port_line = "1 0 0 1 0 1 0 0 0\n";
    struct Case {
        const char *name;
        std::string text;
        const char *message; // expected in the refusal, after "name:line: "
    };
    const Case cases[] = {
        {"z.s2p", "# GHz Z RI R 50\n", "z.s2p:1: Z-parameters"},
        {"r.s2p", "# GHz S RI R (50+50j)\n", "r.s2p:1: reference impedance '(50+50j)' is not a real number"},
        {"t.s2p", "# Hz S RI\n" + two_port_line + "2 0 0 1 0\n", "t.s2p:3: the record at line 3 is incomplete"},
        {"t.s2p", "# Hz S RI\r1 0 0 1 0 1 0 0 0\r2 0 0 1 0\r", "t.s2p:3: the record at line 3 is incomplete"},
        {"p.s2p", "# Hz S RI\n1 0 0 1 0 1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0\n",
         "p.s2p:2: more numbers on the line than a record of 2 ports holds"},
        {"m.s2p", "# Hz S RI\n" + two_port_line + "\n" + two_port_line, "m.s2p:4: frequencies must increase"},
        {"n.s2p", "# Hz S RI\n1 0 0 nan 0 1 0 0 0\n", "n.s2p:2: 'nan' is not a finite number"},
        {"x.s2p", "# Hz S RI\n1 0 0 1O 0 1 0 0 0\n", "x.s2p:2: '1O' is not a number"},
        {"e.txt", "# Hz S RI\n" + two_port_line, "e.txt:2: cannot tell the port count"},
        {"v.s4p", "[Version] 2.0\n[Number of Ports] 2\n[Two-Port Data Order] 12_21\n[Network Data]\n",
         "v.s4p:4: [Number of Ports] is 2 but the name announces 4 ports"},
        {"w.s2p", "[Version] 2.0\n[Number of Ports] 2\n[Reference] 50 75\n",
         "w.s2p:3: the ports have different reference impedances (50.000000 75.000000 ohms)"},
        {"y.s4p", "[Version] 2.0\n[Number of Ports] 4\n[Mixed-Mode Order] D2,1 D4,3 C2,1 C4,3\n", "y.s4p:3: mixed-mode"},
        {"u.s1p", "[Version] 2.0\n[Number of Ports] 1\n[Network Data]\n1 0 0\n", "u.s1p:4: no [End]"},
        {"c.s1p", "[Version] 2.0\n[Number of Ports] 1\n[Number of Frequencies] 2\n[Network Data]\n1 0 0\n[End]\n",
         "c.s1p:6: [Number of Frequencies] is 2 but the file holds 1"},
        {"d.s1p", "# Hz S RI\n", "d.s1p:1: no network data"},
        {"big.s1001p", "# Hz S RI\n1 0 0\n", "big.s1001p:2: 1001 ports: at most 1000"},
    };
    for (const auto &c : cases)
        EXPECT_NE(refusal(c.text, c.name).find(c.message), std::string::npos)
            << c.text << "gave: " << refusal(c.text, c.name);
}

TEST(Touchstone, WritesWhatReadsBackToTheSameBits)
{
    for (int ports : {1, 2, 3, 6}) {
        SParameters network;
        network.ports = ports;
        network.reference_ohms = 42.5;
        network.frequencies = {0.0, 1.0 / 3.0, 1e9, 12.345678901234567e9};
        for (size_t i = 0; i < network.frequencies.size() * static_cast<size_t>(ports * ports); ++i)
            network.values.emplace_back(std::sin(1.0 + static_cast<double>(i)), -1e-300 * static_cast<double>(i));
        const std::string path = ::testing::TempDir() + "round_trip.s" + std::to_string(ports) + "p";
        write_touchstone(path, network);
        const SParameters back = read_touchstone(path);
        std::remove(path.c_str());
        EXPECT_EQ(back.ports, ports);
        EXPECT_EQ(back.reference_ohms, network.reference_ohms);
        EXPECT_EQ(back.frequencies, network.frequencies);
        EXPECT_EQ(back.values, network.values) << ports << " ports";
    }
}

TEST(NetworkPaths, MixedModeUnderBothNumberings)
{
    // Two lines with transfers a and b, coupled c from the first's input to
    // the second's output and d from the second's input to the first's output.
    const Complex a{0.8, -0.1}, b{0.7, 0.2}, c{0.05, 0.01}, d{-0.02, 0.03};
    for (PortNumbering numbering : {PortNumbering::Adjacent, PortNumbering::Halves}) {
        // Ports of line 1 (in, out) and line 2 under this numbering.
        const int in1 = 1, out1 = numbering == PortNumbering::Adjacent ? 2 : 3;
        const int in2 = numbering == PortNumbering::Adjacent ? 3 : 2, out2 = 4;
        SParameters network;
        network.ports = 4;
        network.frequencies = {1e9};
        network.values.assign(16, 0.0);
        auto set = [&](int to, int from, Complex value) { network.values[(to - 1) * 4 + (from - 1)] = value; };
        set(out1, in1, a);
        set(out2, in2, b);
        set(out2, in1, c);
        set(out1, in2, d);
        const FrequencyResponse through = through_path(network, numbering);
        EXPECT_NEAR(std::abs(through.transfer[0] - 0.5 * (a + b - c - d)), 0.0, 1e-15);
        // Driving the pair with unit power sends |S a|^2 out.
        EXPECT_NEAR(through.power_out[0], 0.5 * (std::norm(a - d) + std::norm(c - b)), 1e-15);
        EXPECT_EQ(single_ended_path(network, in1, out2).transfer[0], c);
    }
}

TEST(NetworkPaths, CrosstalkPairsAndRefusals)
{
    SParameters network;
    network.ports = 8;
    network.source = "x.s8p";
    network.frequencies = {1e9};
    network.values.assign(64, 0.0);
    // Adjacent numbering: pair 1 is lines 2 and 3 (ports 5->6, 7->8).
    network.values[(2 - 1) * 8 + (5 - 1)] = 0.1; // far end: 5 -> victim output 2
    network.values[(2 - 1) * 8 + (6 - 1)] = 0.3; // near end: 6 -> 2
    EXPECT_NEAR(crosstalk_path(network, PortNumbering::Adjacent, 1, CrosstalkEnd::Far).transfer[0].real(), 0.05, 1e-15);
    EXPECT_NEAR(crosstalk_path(network, PortNumbering::Adjacent, 1, CrosstalkEnd::Near).transfer[0].real(), 0.15, 1e-15);
    const DifferentialLine halves = differential_line(network, PortNumbering::Halves, 1);
    EXPECT_EQ(halves.input.plus, 3);
    EXPECT_EQ(halves.output.minus, 8);

    network.ports = 3;
    EXPECT_THROW(through_path(network, PortNumbering::Adjacent), Error);
    network.ports = 4;
    EXPECT_THROW(crosstalk_path(network, PortNumbering::Adjacent, 1, CrosstalkEnd::Far), Error);
    EXPECT_THROW(single_ended_path(network, 1, 5), Error);
}

TEST(FrequencyToImpulse, RcLowPassStepWithinHalfAPercent)
{
    // Written as Touchstone and read back, 10 MHz to 50 GHz as instruments sweep.
    const double tau = 100e-12, dt = 2e-12;
    const std::string path = ::testing::TempDir() + "rc.s2p";
    write_touchstone(path, two_port(linear_frequencies(10e6, 50e9, 5000), [&](double f) { return rc_low_pass(f, tau); }));
    const SParameters network = read_touchstone(path);
    std::remove(path.c_str());
    ImpulseOptions options;
    options.sample_interval = dt;
    options.length = 2000;
    const ImpulseResponse response = impulse_response(through_path(network, PortNumbering::Adjacent), options);
    // Summing samples up to n integrates the response to time (n + 1/2) dt.
    double step = 0.0, worst = 0.0;
    for (size_t n = 0; n < response.impulse.size(); ++n) {
        step += response.impulse[n] * dt;
        worst = std::max(worst, std::abs(step - (1.0 - std::exp(-(static_cast<double>(n) + 0.5) * dt / tau))));
    }
    EXPECT_LT(worst, 0.005);
    EXPECT_NEAR(response.dc_gain, 1.0, 1e-4); // the straight line from 10 and 20 MHz, a little above 1
    EXPECT_NEAR(step, response.dc_gain, 1e-12);
    EXPECT_TRUE(response.warnings.empty()) << response.warnings[0];
}

TEST(FrequencyToImpulse, EmbeddedLineRoundTripKeepsItsPulseResponse)
{
    // The host's own line, written as a two-port from 10 MHz to 50 GHz and read back.
    const double bit_time = 100e-12, dt = bit_time / 32;
    const Channel line = embedded_channel(LineParameters{}, dt, bit_time);
    const auto frequencies = linear_frequencies(10e6, 50e9, 5000);
    const std::string path = ::testing::TempDir() + "line.s2p";
    write_touchstone(path, matched_two_port(frequencies, sampled_transfer(line.impulse, dt, frequencies)));
    const SParameters network = read_touchstone(path);
    std::remove(path.c_str());
    ImpulseOptions options;
    options.sample_interval = dt;
    options.length = line.impulse.size();
    const ImpulseResponse back = impulse_response(through_path(network, PortNumbering::Adjacent), options);

    // Pulse responses: one bit time's worth of samples summed.
    auto pulse = [&](const std::vector<double> &impulse) {
        std::vector<double> result(impulse.size());
        double sum = 0.0;
        for (size_t n = 0; n < impulse.size(); ++n) {
            sum += impulse[n] * dt - (n >= 32 ? impulse[n - 32] * dt : 0.0);
            result[n] = sum;
        }
        return result;
    };
    const auto expected = pulse(line.impulse), actual = pulse(back.impulse);
    double peak = 0.0, worst = 0.0;
    for (size_t n = 0; n < expected.size(); ++n) {
        peak = std::max(peak, std::abs(expected[n]));
        worst = std::max(worst, std::abs(actual[n] - expected[n]));
    }
    EXPECT_LT(worst, 0.005 * peak);
}

TEST(FrequencyToImpulse, ZeroHertzMethods)
{
    // A 1 ns delay with gain 0.9 - 0.1 f/GHz, from 1 GHz: extrapolation finds 0.9.
    const auto path = through_path(two_port(linear_frequencies(1e9, 5e9, 401), [](double f) {
        return std::polar(0.9 - 0.1 * f / 1e9, -2.0 * pi * f * 1e-9);
    }), PortNumbering::Adjacent);
    struct Case {
        DcMethod method;
        double given, expected;
    };
    for (const Case &c : {Case{DcMethod::Extrapolate, 0.0, 0.9}, Case{DcMethod::HoldLowest, 0.0, 0.8},
                          Case{DcMethod::Given, -0.5, -0.5}}) {
        ImpulseOptions options;
        options.sample_interval = 10e-12;
        options.length = 1000;
        options.dc_method = c.method;
        options.dc_value = c.given;
        const ImpulseResponse response = impulse_response(path, options);
        double area = 0.0;
        for (double value : response.impulse)
            area += value * options.sample_interval;
        EXPECT_NEAR(response.dc_gain, c.expected, 1e-12);
        EXPECT_NEAR(area, c.expected, 1e-12);
        EXPECT_NEAR(response.main_delay, 1e-9, 1e-12);
    }
}

TEST(FrequencyToImpulse, FlagsSuspiciousData)
{
    const double tau = 100e-12;
    struct Case {
        const char *expected;
        double start, stop;
        size_t points;
        std::function<Complex(double)> transfer;
    };
    const Case cases[] = {
        {"not passive: |transfer| > 1", 10e6, 50e9, 500, [&](double f) { return 1.1 * rc_low_pass(f, tau); }},
        {"missing low frequencies", 2e9, 50e9, 500, [&](double f) { return rc_low_pass(f, tau); }},
        {"frequency step too coarse: steps", 10e6, 50.01e9, 101, [&](double f) { return rc_low_pass(f, 1e-9); }},
        {"frequency step too coarse: the phase", 10e6, 50.01e9, 101,
         [&](double f) { return std::polar(1.0, -2.0 * pi * f * 1.5e-9); }},
        {"the transfer at 0 Hz is uncertain", 10e6, 50e9, 5000,
         [&](double f) { return 0.1 * Complex(0.0, f / 1e10) / Complex(1.0, f / 1e10); }}, // coupling-like high-pass
        {"non-causal", 10e6, 50e9, 5000,
         [&](double f) { return rc_low_pass(f, tau) * std::polar(1.0, 2.0 * pi * f * 1e-9); }},
    };
    for (const auto &c : cases) {
        ImpulseOptions options;
        options.sample_interval = 2e-12;
        options.length = 2000;
        const auto response = impulse_response(
            through_path(two_port(linear_frequencies(c.start, c.stop, c.points), c.transfer), PortNumbering::Adjacent),
            options);
        std::string warnings = joined(response.warnings);
        EXPECT_NE(warnings.find(c.expected), std::string::npos) << c.expected << " not in:\n" << warnings;
    }
}

namespace {

// Through channels of measured data at 10 Gb/s, 32 samples per bit.
constexpr double kBitTime = 100e-12;

TouchstoneChannel channel_of(const SParameters &network, double samples_per_bit = 32)
{
    return touchstone_channel(network, TouchstoneChoice{}, kBitTime / samples_per_bit, kBitTime);
}

// A four-port of two lines of transfer `line` numbered 1->3 and 2->4, with
// a coupling of a twentieth of it between ports 1 and 2, 3 and 4.
SParameters halves_four_port(const std::vector<double> &frequencies, const std::function<Complex(double)> &line)
{
    SParameters network;
    network.ports = 4;
    network.source = "pairs.s4p";
    network.frequencies = frequencies;
    for (double f : frequencies) {
        std::vector<Complex> matrix(16, 0.0);
        for (auto [a, b, gain] : {std::tuple{1, 3, 1.0}, std::tuple{2, 4, 1.0}, std::tuple{1, 2, 0.05},
                                  std::tuple{3, 4, 0.05}})
            matrix[static_cast<size_t>((a - 1) * 4 + b - 1)] = matrix[static_cast<size_t>((b - 1) * 4 + a - 1)] =
                gain * line(f);
        network.values.insert(network.values.end(), matrix.begin(), matrix.end());
    }
    return network;
}

Complex delayed(double f, double loss_db_at_10ghz, double delay)
{
    return std::polar(std::pow(10.0, -loss_db_at_10ghz * std::sqrt(f / 10e9) / 20.0), -2.0 * pi * f * delay);
}

// A low-pass path that arrives at once, and a weak echo 20 ns later that
// outweighs it at the top of the band: the phase's mean slope says ~10 ns.
Complex early_and_late(double f)
{
    return rc_low_pass(f, 1.0 / (2.0 * pi * 0.2e9)) + 0.02 * std::polar(1.0, -2.0 * pi * f * 20e-9);
}

} // namespace

TEST(TouchstoneChannel, MeasuredDataGetTheirResponseOrAClearWord)
{
    const auto line = [](double f) { return delayed(f, 3.0, 1e-9); };
    struct Case {
        const char *name;
        SParameters network;
        const char *expected; // in the notes, or in the refusal
    };
    const Case cases[] = {
        {"data far below Nyquist", two_port(linear_frequencies(1e6, 40e6, 40), line),
         "the data span 1 MHz to 40 MHz, far below the link's Nyquist frequency 5 GHz"},
        {"data ending below Nyquist", two_port(linear_frequencies(10e6, 4e9, 400), line),
         "the data span 10 MHz to 4 GHz, below the link's Nyquist frequency 5 GHz"},
        {"zero path", two_port(linear_frequencies(10e6, 20e9, 100), [](double) { return 0.0; }),
         "zero at every frequency"},
        {"energy ahead of the delay estimate", two_port(linear_frequencies(10e6, 20e9, 2000), early_and_late),
         "but the response peaks at"},
        {"halves numbering read as adjacent",
         halves_four_port(linear_frequencies(10e6, 20e9, 2000), line), "dB less power than Sdd (ports 1,2 -> 3,4)"
         " of pairs.s4p: the data suggest halves numbering"},
    };
    for (const Case &c : cases) {
        std::string text;
        try {
            text = joined(channel_of(c.network).notes);
        } catch (const Error &error) {
            text = error.what();
        }
        EXPECT_NE(text.find(c.expected), std::string::npos) << c.name << ":\n" << text;
    }
}

TEST(TouchstoneChannel, KeepsTheEnergyTheDelayEstimateWouldCut)
{
    const TouchstoneChannel early = channel_of(two_port(linear_frequencies(10e6, 20e9, 2000), early_and_late));
    // The file's own loss at 1 GHz, not the few percent left after the front.
    const double expected = 20.0 * std::log10(std::abs(early_and_late(1e9)));
    EXPECT_NEAR(transfer_db(early.channel.impulse, kBitTime / 32, 1e9), expected, 0.2);
    EXPECT_EQ(early.lead_in_dropped, 0u);
}

TEST(TouchstoneChannel, FineFrequencyStepGivesAShortChannelQuickly)
{
    // 200,000 points 100 kHz apart: a 10 us window, of which the response
    // needs a few nanoseconds.
    const auto line = [](double f) { return rc_low_pass(f, 30e-12) * std::polar(1.0, -2.0 * pi * f * 1e-9); };
    const TouchstoneChannel fine = channel_of(two_port(linear_frequencies(10e6, 20e9, 200000), line));
    EXPECT_LT(static_cast<double>(fine.channel.impulse.size()) * kBitTime / 32, 10e-9);
    EXPECT_EQ(joined(fine.notes).find("warning"), std::string::npos) << joined(fine.notes);
}

TEST(TouchstoneChannel, TheSameChannelAtAnySampleRate)
{
    // A nearly lossless line (1.3 dB at 20 GHz): its pulse response, the
    // impulse summed over a bit, must not grow with the sample rate.
    const SParameters network = two_port(linear_frequencies(10e6, 20e9, 2000), [](double f) {
        return delayed(f, 1.3 / std::sqrt(2.0), 0.5e-9);
    });
    std::vector<double> peaks;
    for (int samples_per_bit : {8, 16, 32, 64}) {
        const TouchstoneChannel c = channel_of(network, samples_per_bit);
        const std::vector<double> &h = c.channel.impulse;
        double peak = 0.0;
        for (size_t n = 0; n + static_cast<size_t>(samples_per_bit) <= h.size(); ++n) {
            double sum = 0.0;
            for (size_t k = n; k < n + static_cast<size_t>(samples_per_bit); ++k)
                sum += h[k] * c.channel.sample_interval;
            peak = std::max(peak, sum);
        }
        peaks.push_back(peak);
    }
    for (double peak : peaks) {
        EXPECT_NEAR(peak, peaks[2], 0.015 * peaks[2]) << "samples per bit 8, 16, 32, 64";
        EXPECT_LT(peak, 1.02);
    }
}

TEST(TouchstoneChannel, CrosstalkIsJudgedByItsOwnResponse)
{
    // Far-end crosstalk whose phase slope overstates its delay: no part of
    // it comes ahead of its own front, so nothing is non-causal.
    const std::string path = ::testing::TempDir() + "fext.s2p";
    write_touchstone(path, two_port(linear_frequencies(5e6, 20e9, 4000), [](double f) {
        return 0.1 * early_and_late(f) * std::polar(1.0, -2.0 * pi * f * 2e-9);
    }));
    const auto aggressors = crosstalk_from_file(path, CrosstalkEnd::Far, TouchstoneChoice{}, ResponseKind::Impulse,
                                                kBitTime / 32, kBitTime, 100);
    std::remove(path.c_str());
    ASSERT_EQ(aggressors.size(), 1u);
    EXPECT_EQ(joined(aggressors[0].notes).find("non-causal"), std::string::npos) << joined(aggressors[0].notes);
}
