// Terminations as power-wave conditions at each port: with a port's source
// voltage V and impedance Z (reference Z0), a = G b + c where
// G = (Z - Z0) / (Z + Z0) and c = V sqrt(Z0) / (Z + Z0); with b = S a this
// is (I - S G) b = S c, solved at each frequency. A port's voltage is then
// sqrt(Z0) (a + b).
#include "channel/analog_ends.h"

#include "base/host_error.h"
#include "channel/frequency_to_impulse.h"

#include <cmath>

namespace ami_host {

namespace {

using Complex = std::complex<double>;
constexpr double kPi = 3.14159265358979323846;

// A transmitter leg seen from its pin: the open-circuit voltage per volt of
// drive and the source impedance, through C_comp and the package.
struct Thevenin {
    Complex voltage{1.0, 0.0};
    Complex impedance;

    void shunt(Complex admittance)
    {
        const Complex divider = 1.0 + admittance * impedance;
        voltage /= divider;
        impedance /= divider;
    }
};

Thevenin tx_leg(const AnalogEnds &e, const PackageLeg &package, double w)
{
    const Complex j(0.0, 1.0);
    Thevenin t{{1.0, 0.0}, {e.tx_resistance, 0.0}};
    t.shunt(j * w * e.tx_c_comp);
    t.impedance += package.r + j * w * package.l;
    t.shunt(j * w * package.c);
    return t;
}

// A receiver leg seen from its pin: its admittance, and the die's voltage
// per volt at the pin.
struct Load {
    Complex admittance;
    Complex die_ratio;
};

Load rx_leg(const AnalogEnds &e, const PackageLeg &package, double w)
{
    const Complex j(0.0, 1.0);
    Complex die = e.rx_conductance + j * w * e.rx_c_comp;
    if (e.rx_cac > 0.0)
        die += j * w * e.rx_cac / (1.0 + j * w * e.rx_cac * e.rx_rac);
    const Complex series = package.r + j * w * package.l;
    const Complex ratio = 1.0 / (1.0 + series * die);
    return {die * ratio + j * w * package.c, ratio};
}

// Solves m x = rhs in place by Gaussian elimination with partial pivoting.
std::vector<Complex> solve(std::vector<Complex> m, std::vector<Complex> rhs)
{
    const size_t n = rhs.size();
    for (size_t col = 0; col < n; ++col) {
        size_t pivot = col;
        for (size_t r = col + 1; r < n; ++r)
            if (std::abs(m[r * n + col]) > std::abs(m[pivot * n + col]))
                pivot = r;
        if (std::abs(m[pivot * n + col]) == 0.0)
            throw Error("the terminated network has no solution (a singular port condition)");
        for (size_t k = 0; k < n; ++k)
            std::swap(m[col * n + k], m[pivot * n + k]);
        std::swap(rhs[col], rhs[pivot]);
        for (size_t r = col + 1; r < n; ++r) {
            const Complex f = m[r * n + col] / m[col * n + col];
            for (size_t k = col; k < n; ++k)
                m[r * n + k] -= f * m[col * n + k];
            rhs[r] -= f * rhs[col];
        }
    }
    std::vector<Complex> x(n);
    for (size_t r = n; r-- > 0;) {
        Complex sum = rhs[r];
        for (size_t k = r + 1; k < n; ++k)
            sum -= m[r * n + k] * x[k];
        x[r] = sum / m[r * n + r];
    }
    return x;
}

void check_port(const SParameters &network, int port)
{
    if (port < 0 || port > network.ports)
        throw Error(network.source + ": no port " + std::to_string(port));
}

} // namespace

FrequencyResponse terminated_path(const SParameters &network, const EndPorts &ports, const AnalogEnds &ends,
                                  const FrequencyResponse &bare)
{
    for (int port : {ports.tx_plus, ports.tx_minus, ports.rx_plus, ports.rx_minus})
        check_port(network, port);
    const size_t n = static_cast<size_t>(network.ports);
    const double z0 = network.reference_ohms;
    const bool pair = ports.tx_minus > 0 && ports.rx_minus > 0;
    FrequencyResponse out = bare;
    out.transfer.assign(network.frequencies.size(), 0.0);
    for (size_t k = 0; k < network.frequencies.size(); ++k) {
        const double w = 2.0 * kPi * network.frequencies[k];
        std::vector<Complex> reflection(n, 0.0), source(n, 0.0), ratio(n, 0.0);
        const auto drive = [&](int port, const PackageLeg &package, double volts) {
            const Thevenin t = tx_leg(ends, package, w);
            const size_t i = static_cast<size_t>(port - 1);
            reflection[i] = (t.impedance - z0) / (t.impedance + z0);
            source[i] = volts * t.voltage * std::sqrt(z0) / (t.impedance + z0);
        };
        const auto load = [&](int port, const PackageLeg &package) {
            const Load l = rx_leg(ends, package, w);
            const size_t i = static_cast<size_t>(port - 1);
            reflection[i] = (1.0 - z0 * l.admittance) / (1.0 + z0 * l.admittance);
            ratio[i] = l.die_ratio;
        };
        drive(ports.tx_plus, ends.tx_package[0], pair ? 0.5 : 1.0);
        load(ports.rx_plus, ends.rx_package[0]);
        if (pair) {
            drive(ports.tx_minus, ends.tx_package[1], -0.5);
            load(ports.rx_minus, ends.rx_package[1]);
        }
        std::vector<Complex> m(n * n), rhs(n, 0.0);
        for (size_t r = 0; r < n; ++r)
            for (size_t c = 0; c < n; ++c) {
                const Complex s = network.at(k, static_cast<int>(r + 1), static_cast<int>(c + 1));
                m[r * n + c] = (r == c ? 1.0 : 0.0) - s * reflection[c];
                rhs[r] += s * source[c];
            }
        const std::vector<Complex> b = solve(std::move(m), std::move(rhs));
        const auto die_voltage = [&](int port) {
            const size_t i = static_cast<size_t>(port - 1);
            return ratio[i] * std::sqrt(z0) * (reflection[i] * b[i] + source[i] + b[i]);
        };
        out.transfer[k] = 2.0 * (die_voltage(ports.rx_plus) - (pair ? die_voltage(ports.rx_minus) : 0.0));
    }
    out.description = bare.description + " between the analog ends";
    return out;
}

SParameters uncoupled_pair(const SParameters &two_port)
{
    SParameters four = two_port;
    four.ports = 4;
    four.values.assign(two_port.frequencies.size() * 16, 0.0);
    for (size_t k = 0; k < two_port.frequencies.size(); ++k)
        for (int line : {0, 2})
            for (int to = 1; to <= 2; ++to)
                for (int from = 1; from <= 2; ++from)
                    four.values[(k * 4 + static_cast<size_t>(line + to - 1)) * 4 + static_cast<size_t>(line + from - 1)] =
                        two_port.at(k, to, from);
    return four;
}

SParameters line_two_port(const Channel &line, double impedance)
{
    std::vector<double> frequencies;
    for (int k = 1; k <= 5000; ++k)
        frequencies.push_back(10e6 * k);
    const std::vector<Complex> through =
        sampled_transfer(line.impulse, line.sample_interval, frequencies, line.delay_removed);
    SParameters network = matched_two_port(frequencies, through);
    network.source = line.source;
    // A line of impedance Zc and matched transfer t in the reference Z0:
    // S11 = (Zc^2 - Z0^2)(1 - t^2) / 2D, S21 = 2 Zc Z0 t / D, with
    // D = Zc Z0 (1 + t^2) + (Zc^2 + Z0^2)(1 - t^2) / 2.
    const double zc = impedance, z0 = network.reference_ohms;
    for (size_t k = 0; k < frequencies.size(); ++k) {
        const Complex t = through[k], t2 = t * t;
        const Complex d = zc * z0 * (1.0 + t2) + 0.5 * (zc * zc + z0 * z0) * (1.0 - t2);
        const Complex s11 = 0.5 * (zc * zc - z0 * z0) * (1.0 - t2) / d, s21 = 2.0 * zc * z0 * t / d;
        network.values[k * 4 + 0] = network.values[k * 4 + 3] = s11;
        network.values[k * 4 + 1] = network.values[k * 4 + 2] = s21;
    }
    return network;
}

} // namespace ami_host
