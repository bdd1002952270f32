// Prints what the Touchstone reader makes of a file, for comparison with an
// independent reader:
//   touchstone_dump FILE
//     "ports N", then one line per frequency: the frequency in Hz and the
//     real and imaginary parts of S(i,j), i the row, all numbers exact.
//   touchstone_dump --path FILE FROM+ FROM- TO+ TO-
//     the differential transfer Sdd(TO, FROM) between the two port pairs,
//     one line per frequency: the frequency, the real and imaginary parts.
//   touchstone_dump --step FILE SAMPLE_INTERVAL LENGTH [extrapolate|hold|DC]
//     the step response of the file's through path, one value a line,
//     then the assumptions and warnings as "# " lines.
//   touchstone_dump --channel FILE BIT_TIME SAMPLES_PER_BIT
//     the through channel as a run makes it: "samples N", "loss DB" (at
//     half the bit rate), "warnings N", then its notes as "# " lines.
// Exits 1 with the reader's message when the file is refused.
#include "channel/frequency_to_impulse.h"
#include "base/host_error.h"
#include "channel/touchstone.h"
#include "channel/touchstone_channel.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void print_number(double value, char after)
{
    char text[40];
    auto result = std::to_chars(text, text + sizeof text - 1, value);
    *result.ptr++ = after;
    std::fwrite(text, 1, static_cast<size_t>(result.ptr - text), stdout);
}

void dump(const ami_host::SParameters &network)
{
    std::printf("ports %d\n", network.ports);
    const size_t n = static_cast<size_t>(network.ports);
    for (size_t k = 0; k < network.frequencies.size(); ++k) {
        print_number(network.frequencies[k], ' ');
        for (size_t i = 0; i < n * n; ++i) {
            const auto value = network.values[k * n * n + i];
            print_number(value.real(), ' ');
            print_number(value.imag(), i + 1 == n * n ? '\n' : ' ');
        }
    }
}

void differential(const ami_host::SParameters &network, char **argv)
{
    const auto port = [&](int i) { return std::atoi(argv[i]); };
    const auto path = ami_host::differential_path(network, {port(3), port(4)}, {port(5), port(6)});
    for (size_t k = 0; k < path.frequencies.size(); ++k) {
        print_number(path.frequencies[k], ' ');
        print_number(path.transfer[k].real(), ' ');
        print_number(path.transfer[k].imag(), '\n');
    }
}

void step(const ami_host::SParameters &network, int argc, char **argv)
{
    ami_host::ImpulseOptions options;
    options.sample_interval = std::strtod(argv[3], nullptr);
    options.length = std::strtoul(argv[4], nullptr, 10);
    if (argc > 5) {
        const std::string method = argv[5];
        if (method == "hold")
            options.dc_method = ami_host::DcMethod::HoldLowest;
        else if (method != "extrapolate") {
            options.dc_method = ami_host::DcMethod::Given;
            options.dc_value = std::strtod(argv[5], nullptr);
        }
    }
    const auto response =
        ami_host::impulse_response(ami_host::through_path(network, ami_host::PortNumbering::Adjacent), options);
    double sum = 0.0;
    for (double value : response.impulse) {
        sum += value * options.sample_interval;
        print_number(sum, '\n');
    }
    for (const auto &line : response.assumptions)
        std::printf("# %s\n", line.c_str());
    for (const auto &line : response.warnings)
        std::printf("# warning: %s\n", line.c_str());
}

void channel(const ami_host::SParameters &network, char **argv)
{
    const double bit_time = std::strtod(argv[3], nullptr);
    const double sample_interval = bit_time / std::strtod(argv[4], nullptr);
    const auto made = ami_host::touchstone_channel(network, {}, sample_interval, bit_time);
    size_t warnings = 0;
    for (const auto &note : made.notes)
        warnings += note.starts_with("warning: ");
    std::printf("samples %zu\nloss ", made.channel.impulse.size());
    print_number(-ami_host::transfer_db(made.channel.impulse, sample_interval, 0.5 / bit_time), '\n');
    std::printf("warnings %zu\n", warnings);
    for (const auto &note : made.notes)
        std::printf("# %s\n", note.c_str());
}

} // namespace

int main(int argc, char **argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    const bool step_mode = argc >= 5 && mode == "--step", path_mode = argc == 7 && mode == "--path";
    const bool channel_mode = argc == 5 && mode == "--channel";
    if (argc != 2 && !step_mode && !path_mode && !channel_mode) {
        std::fprintf(stderr, "usage: touchstone_dump FILE | --path FILE FROM+ FROM- TO+ TO- |"
                             " --step FILE SAMPLE_INTERVAL LENGTH [DC] | --channel FILE BIT_TIME SAMPLES_PER_BIT\n");
        return 2;
    }
    try {
        const auto network = ami_host::read_touchstone(argv[argc == 2 ? 1 : 2]);
        if (step_mode)
            step(network, argc, argv);
        else if (path_mode)
            differential(network, argv);
        else if (channel_mode)
            channel(network, argv);
        else
            dump(network);
    } catch (const ami_host::Error &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
