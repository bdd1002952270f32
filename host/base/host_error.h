// The host's error types: a message meant for the person running the host.
#pragma once

#include <stdexcept>

namespace ami_host {

// Thrown for every input the host cannot work with (files, options, models
// that cannot be loaded); main prints the message and exits with the bad
// input status.
struct Error : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Thrown when a loaded model misbehaves: it refused to start, failed a call
// or handed back what no model may (NaN, writes past its arrays); main exits
// with the model fault status.
struct ModelFault : Error {
    using Error::Error;
};

} // namespace ami_host
