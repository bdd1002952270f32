// Touchstone files (versions 1.x and 2.0) holding S-parameters: reading
// them into a network of N ports sampled at increasing frequencies, and
// writing one back.
#pragma once

#include <complex>
#include <string>
#include <vector>

namespace ami_host {

// An N-port network's S-parameters, all referred to one real impedance.
struct SParameters {
    int ports = 0;
    double reference_ohms = 50.0;
    std::vector<double> frequencies;                 // Hz, strictly increasing
    std::vector<std::complex<double>> values;        // per frequency, the N x N matrix row by row
    std::string source;                              // the file's path, for messages
    std::vector<std::string> notes;                  // what was read but left unused

    // S(to, from) at the frequency index `k`; ports count from 1.
    std::complex<double> at(size_t k, int to, int from) const
    {
        const size_t n = static_cast<size_t>(ports);
        return values[(k * n + static_cast<size_t>(to - 1)) * n + static_cast<size_t>(from - 1)];
    }
};

// Reads a Touchstone file. Version 1.x files take their port count from the
// name's extension (.s<N>p); 2.0 files state it and, when the name has such
// an extension, the two must agree. Throws Error naming the file and line for
// anything that is not a complete, well-formed S-parameter file: another kind
// of parameters (Y, Z, G, H), reference impedances that differ between ports
// or are not real and positive, mixed-mode data, a truncated record,
// frequencies that do not increase, values that are not finite numbers.
SParameters read_touchstone(const std::string &path);

// The same from the file's text already in memory; `name` supplies the
// extension and the name used in messages.
SParameters parse_touchstone(const std::string &text, const std::string &name);

// A matched, reciprocal two-port (S11 = S22 = 0) whose S21 = S12 is
// `transfer`, sampled at `frequencies`: how a channel known only by its
// transfer function is written out.
SParameters matched_two_port(const std::vector<double> &frequencies,
                             const std::vector<std::complex<double>> &transfer);

// Writes `network` as a version 1.1 file (Hz, real and imaginary parts,
// numbers written so that they read back to the same bits). The caller
// names the file; its extension should be .s<N>p for N = network.ports.
void write_touchstone(const std::string &path, const SParameters &network);

} // namespace ami_host
