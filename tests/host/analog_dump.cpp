// Prints the transfer function the host builds for a Touchstone channel
// between analog ends, for comparison with an independent circuit solver:
//   analog_dump FILE RS CS RPKG LPKG CPKG RL CL
//     one line per frequency of the file: the frequency in Hz and the real
//     and imaginary parts of the transfer (a two-port carries both legs of
//     the pair; four ports are the pair 1->2, 3->4)
//   analog_dump --step FILE SAMPLE_INTERVAL LENGTH RS CS RPKG LPKG CPKG RL CL
//     its step response, one value a line
// The source is RS with CS from its die to ground, the load RL with CL, and
// each leg's package (RPKG, LPKG, CPKG) the same at both ends.
#include "base/host_error.h"
#include "channel/analog_ends.h"
#include "channel/frequency_to_impulse.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using namespace ami_host;

void print_number(double value, char after)
{
    char text[40];
    auto result = std::to_chars(text, text + sizeof text - 1, value);
    *result.ptr++ = after;
    std::fwrite(text, 1, static_cast<size_t>(result.ptr - text), stdout);
}

AnalogEnds ends_from(char **values)
{
    const auto at = [&](int k) { return std::strtod(values[k], nullptr); };
    AnalogEnds e;
    e.tx_resistance = at(0);
    e.tx_c_comp = at(1);
    const PackageLeg leg{at(2), at(3), at(4)};
    e.tx_package = e.rx_package = {leg, leg};
    e.rx_conductance = 1.0 / at(5);
    e.rx_c_comp = at(6);
    return e;
}

FrequencyResponse transfer(const SParameters &network, const AnalogEnds &ends)
{
    const FrequencyResponse bare = through_path(network, PortNumbering::Adjacent);
    if (network.ports == 2)
        return terminated_path(uncoupled_pair(network), {1, 3, 2, 4}, ends, bare);
    return terminated_path(network, {1, 3, 2, 4}, ends, bare);
}

} // namespace

int main(int argc, char **argv)
{
    const bool step = argc == 12 && std::string(argv[1]) == "--step";
    if (argc != 9 && !step) {
        std::fprintf(stderr, "usage: analog_dump [--step FILE SAMPLE_INTERVAL LENGTH | FILE] RS CS RPKG LPKG CPKG RL CL\n");
        return 2;
    }
    try {
        const SParameters network = read_touchstone(argv[step ? 2 : 1]);
        const FrequencyResponse path = transfer(network, ends_from(argv + (step ? 5 : 2)));
        if (!step) {
            for (size_t k = 0; k < path.frequencies.size(); ++k) {
                print_number(path.frequencies[k], ' ');
                print_number(path.transfer[k].real(), ' ');
                print_number(path.transfer[k].imag(), '\n');
            }
            return 0;
        }
        ImpulseOptions options;
        options.sample_interval = std::strtod(argv[3], nullptr);
        options.length = std::strtoul(argv[4], nullptr, 10);
        double sum = 0.0;
        for (double value : impulse_response(path, options).impulse) {
            sum += value * options.sample_interval;
            print_number(sum, '\n');
        }
    } catch (const Error &error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
