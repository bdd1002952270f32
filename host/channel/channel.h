// The channel between the transmitter and the receiver: the embedded lossy
// line, or an impulse or step response read from a file, sampled at the
// simulation's sample interval.
#pragma once

#include <string>
#include <vector>

namespace ami_host {

// A matched transmission line (stripline) whose losses come from its
// dielectric and from its conductors' resistance, which the skin effect
// makes grow as the square root of the frequency above `skin_onset`.
struct LineParameters {
    double length = 0.6;              // metres
    double permittivity = 4.0;        // relative permittivity at the reference frequency
    double loss_tangent = 0.02;       // dielectric loss tangent at the reference frequency
    double conductor_loss = 5.0;      // conductor loss at the reference frequency, dB per metre
    double reference_frequency = 1e9; // Hz
    double skin_onset = 20e6;         // Hz: below it the conductors' resistance is that at DC
    // Ohms: what non-ideal ends at the line see (ChannelSettings::analog);
    // the line's own transfer is that between matched ends whatever it is.
    double impedance = 50.0;
};

struct Channel {
    std::vector<double> impulse;  // impulse response in V/s, sample n at time n x sample_interval
    double sample_interval = 0.0; // seconds
    std::string source;           // "embedded" or the file's path
    std::string description;      // one line for the summary
    double delay_removed = 0.0;   // seconds of pure delay left out ahead of sample 0 (embedded line)
    double highest_frequency = 0.0; // Hz: the highest the channel's data describe (0: not from frequency data)
};

// The embedded default channel: the line above, its transfer function
// synthesised on a fine frequency grid and brought to the time domain. The
// pure delay of the signal front is removed, less a lead-in of one bit time.
Channel embedded_channel(const LineParameters &line, double sample_interval, double bit_time);

enum class ResponseKind { Impulse, Step };

// Reads "time value" pairs (seconds; V/s for an impulse response, volts for
// the response to a unit step), one pair a line, separated by blanks or a
// comma; "#" starts a comment and blank lines are skipped. The response is
// brought to a step response (each impulse sample reaching its share of the
// area at its own time), interpolated linearly at multiples of
// `sample_interval` from the first time, and differenced back to an impulse
// response: a file on the simulation's grid comes through unchanged, and the
// gain at DC (an impulse file's area, a step file's final value) is kept
// whatever the two grids. Throws Error, with the file and line, for a line
// that is not two finite numbers, a time that does not increase, a directory
// or binary file, fewer than two pairs, a response that is zero everywhere,
// or one too long to hold.
Channel channel_from_file(const std::string &path, ResponseKind kind, double sample_interval);

// The magnitude of the channel's transfer function at `frequency`, in dB
// (negative for a loss).
double transfer_db(const std::vector<double> &impulse, double sample_interval, double frequency);

} // namespace ami_host
