// Jitter and noise of a link: the impairments a transmitter and a receiver
// declare in their .ami files, or the user sets, with their units.
#pragma once

#include "base/time_amount.h"
#include "model/ami_file.h"

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace ami_host {

// Every amplitude is half of its peak-to-peak value; random jitter and noise
// are standard deviations.
struct Impairments {
    // Transmitter: moves the data's transition instants.
    TimeAmount tx_rj, tx_dj, tx_dcd, tx_sj;
    // Hz; 0: not given, and the time-domain flow draws Tx_Sj's phase afresh
    // for every edge, which gives the arcsine density the statistical flow uses.
    double tx_sj_frequency = 0.0;
    // Receiver: moves the sampling instants.
    TimeAmount rx_rj, rx_dj, rx_dcd, rx_sj;
    // Hz, set by option only. 0: the time-domain flow draws the sinusoid's
    // phase afresh for every clock, which gives the same arcsine density the
    // statistical flow uses.
    double rx_sj_frequency = 0.0;
    // The recovered clock's offset from the sampling instant the host would
    // choose (signed), and its own jitter.
    TimeAmount rx_clock_recovery_mean, rx_clock_recovery_rj, rx_clock_recovery_dj, rx_clock_recovery_sj,
        rx_clock_recovery_dcd;
    double rx_noise = 0.0;       // volts, standard deviation at the decision point
    double rx_sensitivity = 0.0; // volts: samples closer than this to the threshold are not resolved
    // Where each value a model's .ami file declared came from ("file:line"),
    // by name; a value an option set has none.
    std::map<std::string, std::string> declared_at;
};

// Throws Error when Rx_Clock_Recovery_Mean lies more than half a bit from
// the host's sampling instant: the clock would sample a neighbouring bit,
// which neither flow can decide against its own. The message names the
// .ami file and line that declared it, if one did.
void check_clock_offset(const Impairments &impairments, double bit_time);

// The names this record holds, as .ami files and options spell them
// ("Tx_Rj", ..., "Rx_Receiver_Sensitivity", and "Rx_Sj_Frequency").
std::vector<std::string> impairment_names();

// Sets the impairment `name` from text: a time as parse_time_amount reads it,
// or a plain number of volts or hertz. Throws Error for an unknown name, a
// malformed value, or a negative one (only Rx_Clock_Recovery_Mean is signed).
void set_impairment(Impairments &impairments, const std::string &name, const std::string &text);

// One impairment of a record, by name: a time, or volts or hertz.
struct ImpairmentValue {
    std::string name;
    bool is_time = false;
    TimeAmount time;
    double number = 0.0;
};

// The impairments of a record that are not zero, in the order of impairment_names().
std::vector<ImpairmentValue> nonzero_impairments(const Impairments &impairments);

enum class LinkSide { Tx, Rx };

// Takes the impairments that a model of `side` declares among its reserved
// parameters: a Type UI value is in unit intervals, a Type Float (or Integer)
// one in seconds (volts or hertz for Rx_Noise, Rx_Receiver_Sensitivity and
// Tx_Sj_Frequency), and a short-form one is read as an option would be. The
// value is the declared default (the typical value of a Range or Corner).
// Parameters of the other side, Usage Out ones (whose values arrive from the
// model at run time) and reserved names this record does not hold are left
// alone. Returns the names taken. Throws Error "<origin>:<line>: ..." for a
// value it cannot use.
std::vector<std::string> take_declared_impairments(Impairments &impairments,
                                                   const std::vector<AmiParameter> &reserved, LinkSide side,
                                                   const std::string &origin);

// The link's impairments: those the Tx .ami file declares, then the Rx one's,
// then `set` (name and text, as set_impairment takes them, in order). Null
// files are left out.
Impairments link_impairments(const std::vector<std::pair<std::string, std::string>> &set, const AmiFile *tx,
                             const AmiFile *rx);

} // namespace ami_host
