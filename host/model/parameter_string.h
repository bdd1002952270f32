// Building a model's parameter string from its .ami defaults and the user's
// overrides ("TX_Deemph=3", "clock_recovery.step=0.0625").
#pragma once

#include "model/ami_file.h"

#include <string>
#include <utility>
#include <vector>

namespace ami_host {

// One override from the command line.
struct Override {
    std::vector<std::string> path; // "clock_recovery.step" split at the dots
    std::string value;
    std::string text; // as the user wrote it
};

// The pieces of `text` between separators, empty ones included.
std::vector<std::string> split(const std::string &text, char separator);

// Splits "name=value" (the name may hold dots for branches). Throws Error
// when there is no "=" or the name or the value is empty.
Override parse_override(const std::string &text);

// The parameter string and the value used for every settable parameter.
struct ParameterSet {
    std::string text; // "(root (name value) (branch (name value)))"
    std::vector<std::pair<std::string, std::string>> values; // dotted name, value
    // Where each value came from, in the order of `values`: "command line",
    // "default" (the .ami's Default) or ".ami" (its first allowed value).
    std::vector<std::string> sources;
};

// Every In and InOut parameter of `ami` with its default, or the override
// given for it, in declaration order and nested by branch. Throws Error, with
// `side` ("Tx" or "Rx") in the message, for an override that names no
// declared parameter, names an Out or Info parameter, is given twice, or
// whose value is not of the parameter's type or outside its allowed values.
ParameterSet build_parameter_string(const AmiFile &ami, const std::vector<Override> &overrides,
                                    const std::string &side);

// The parameter string of `ami`'s In and InOut parameters with `values` (one
// per model_specific entry, in its order), unchecked.
std::string write_parameter_string(const AmiFile &ami, const std::vector<std::string> &values);

} // namespace ami_host
