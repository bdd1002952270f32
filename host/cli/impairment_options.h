// The command-line options of jitter, noise and the bit-error-ratio analysis:
// one option per impairment (--tx-rj for Tx_Rj, ...), --target-ber and --seed.
#pragma once

#include "statistical/jitter.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace ami_host {

struct ImpairmentOptions {
    // The impairments given on the command line, by their .ami names, in the
    // order given; they override what the models' .ami files declare.
    std::vector<std::pair<std::string, std::string>> set;
    double target_ber = 1e-12;
    uint64_t seed = 1; // of every random draw of the time-domain flow
};

// "Tx_Rj" -> "--tx-rj".
std::string impairment_option(const std::string &name);

// Adds the options to `app`; values land in `options` as they are parsed.
void add_impairment_options(CLI::App &app, ImpairmentOptions &options);

// The link's impairments: those the Tx .ami file declares, then the Rx one's,
// then the options. Null files are left out.
Impairments link_impairments(const ImpairmentOptions &options, const AmiFile *tx, const AmiFile *rx);

} // namespace ami_host
