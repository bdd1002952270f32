// Each path drives the network with a unit-power incident wave vector a
// (one port, or +1/sqrt2 and -1/sqrt2 on a pair's legs), computes the
// outgoing waves b = S a, and reads the path's output from b the same way:
// Sdd(to, from) = 1/2 (S(to+,from+) - S(to+,from-) - S(to-,from+) + S(to-,from-)).
#include "channel/network_paths.h"

#include "base/host_error.h"

#include <cmath>
#include <utility>

namespace ami_host {
namespace {

using Excitation = std::vector<std::pair<int, double>>; // (port, weight)

void check_port(const SParameters &network, int port)
{
    if (port < 1 || port > network.ports)
        throw Error(network.source + ": port " + std::to_string(port) + " does not exist (the network has " +
                    std::to_string(network.ports) + " ports)");
}

Excitation pair_weights(const SParameters &network, PortPair pair)
{
    check_port(network, pair.plus);
    check_port(network, pair.minus);
    if (pair.plus == pair.minus)
        throw Error(network.source + ": a differential pair needs two different ports");
    const double leg = std::sqrt(0.5);
    return {{pair.plus, leg}, {pair.minus, -leg}};
}

FrequencyResponse path(const SParameters &network, const Excitation &input, const Excitation &output,
                       std::string description)
{
    FrequencyResponse response;
    response.frequencies = network.frequencies;
    response.description = std::move(description) + " of " + network.source;
    for (size_t k = 0; k < network.frequencies.size(); ++k) {
        std::complex<double> transfer = 0.0;
        double power = 0.0;
        for (int to = 1; to <= network.ports; ++to) {
            std::complex<double> wave = 0.0;
            for (const auto &[from, weight] : input)
                wave += weight * network.at(k, to, from);
            power += std::norm(wave);
            for (const auto &[port, weight] : output)
                if (port == to)
                    transfer += weight * wave;
        }
        response.transfer.push_back(transfer);
        response.power_out.push_back(power);
    }
    return response;
}

std::string pair_text(PortPair pair)
{
    return std::to_string(pair.plus) + "," + std::to_string(pair.minus);
}

} // namespace

DifferentialLine differential_line(const SParameters &network, PortNumbering numbering, int pair)
{
    const int n = network.ports;
    if (n < 4 || n % 2)
        throw Error(network.source + ": a differential path needs an even number of ports, at least 4 (this "
                    "network has " + std::to_string(n) + "); choose a single-ended pair of ports instead");
    if (pair < 0 || 4 * pair + 4 > n)
        throw Error(network.source + ": differential pair " + std::to_string(pair + 1) + " needs " +
                    std::to_string(4 * pair + 4) + " ports; the network has " + std::to_string(n));
    auto line_input = [&](int line) { return numbering == PortNumbering::Adjacent ? 2 * line + 1 : line + 1; };
    auto line_output = [&](int line) { return numbering == PortNumbering::Adjacent ? 2 * line + 2 : line + 1 + n / 2; };
    return {{line_input(2 * pair), line_input(2 * pair + 1)}, {line_output(2 * pair), line_output(2 * pair + 1)}};
}

FrequencyResponse single_ended_path(const SParameters &network, int from, int to)
{
    check_port(network, from);
    check_port(network, to);
    return path(network, {{from, 1.0}}, {{to, 1.0}}, "S" + std::to_string(to) + "," + std::to_string(from));
}

FrequencyResponse differential_path(const SParameters &network, PortPair from, PortPair to)
{
    return path(network, pair_weights(network, from), pair_weights(network, to),
                "Sdd (ports " + pair_text(from) + " -> " + pair_text(to) + ")");
}

FrequencyResponse through_path(const SParameters &network, PortNumbering numbering)
{
    if (network.ports == 2)
        return single_ended_path(network, 1, 2);
    const DifferentialLine line = differential_line(network, numbering, 0);
    return differential_path(network, line.input, line.output);
}

FrequencyResponse crosstalk_path(const SParameters &network, PortNumbering numbering, int aggressor,
                                 CrosstalkEnd end)
{
    const DifferentialLine victim = differential_line(network, numbering, 0);
    const DifferentialLine source = differential_line(network, numbering, aggressor);
    return differential_path(network, end == CrosstalkEnd::Far ? source.input : source.output, victim.output);
}

} // namespace ami_host
