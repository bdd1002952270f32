// The host's error type: a message meant for the person running the host.
#pragma once

#include <stdexcept>

namespace ami_host {

// Thrown for every input the host cannot work with (files, options, models);
// main prints the message and exits non-zero.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

} // namespace ami_host
