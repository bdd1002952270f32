// The command-line options of jitter, noise and the bit-error-ratio analysis:
// one option per impairment (--tx-rj for Tx_Rj, ...), --target-ber and --seed.
#pragma once

#include "run/run_settings.h"

#include <string>

namespace CLI {
class App;
}

namespace ami_host {

// "Tx_Rj" -> "--tx-rj".
std::string impairment_option(const std::string &name);

// Adds the options to `app`; values land in `options` as they are parsed.
void add_impairment_options(CLI::App &app, ImpairmentSettings &options);

} // namespace ami_host
