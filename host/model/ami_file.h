// Reader of a model's .ami file: the reserved parameters and the
// model-specific parameters with their allowed values.
#pragma once

#include "model/ami_syntax.h"

#include <string>
#include <vector>

namespace ami_host {

enum class Usage { In, Out, InOut, Info, Dep };
enum class ValueType { Float, Integer, UI, Tap, Boolean, String };
// How a parameter states its allowed values.
enum class Format { Value, Range, List, Corner, Increment, Steps };

// One declared parameter.
struct AmiParameter {
    std::vector<std::string> path; // enclosing branch names, then the parameter's own name
    Usage usage = Usage::Info;
    ValueType type = ValueType::String;
    Format format = Format::Value;
    std::vector<std::string> format_values; // the texts after the format keyword, as written
    std::string default_value;
    bool default_declared = false; // false: the default is the first allowed value
    std::string description;
    int line = 0;

    // The name with its branches, joined by dots ("clock_recovery.step").
    std::string dotted_name() const;
    // Empty when `value` is of the parameter's type and among its allowed
    // values; otherwise why it is not, in words.
    std::string check(const std::string &value) const;
    // The allowed values in words ("an integer from 0 to 7").
    std::string allowed_text() const;
    // Whether a host may set it through the parameter string.
    bool settable() const { return usage == Usage::In || usage == Usage::InOut; }
};

// The contents of one .ami file.
struct AmiFile {
    std::string origin; // the file's path, for messages
    std::string root;   // the model's root name, which opens its parameter string
    std::string description;
    std::vector<AmiParameter> reserved;
    std::vector<AmiParameter> model_specific; // in declaration order, branches flattened

    const AmiParameter *find_reserved(const std::string &name) const;
    const AmiParameter *find(const std::vector<std::string> &path) const;
    bool init_returns_impulse() const;
    bool getwave_exists() const;
    long ignore_bits() const;       // 0 when not declared
    std::string ami_version() const; // empty when not declared
};

// Interprets the text of an .ami file. Throws Error "<origin>:<line>: ..." for
// malformed syntax, a parameter without usage, type or allowed values, a
// default outside the allowed values, a duplicate name, or a missing
// Init_Returns_Impulse or GetWave_Exists.
AmiFile parse_ami_file(const std::string &text, const std::string &origin);

// Reads and interprets the .ami file at `path`.
AmiFile read_ami_file(const std::string &path);

// Reads a whole text file; throws Error when it cannot be read.
std::string read_text_file(const std::string &path, const std::string &what);

} // namespace ami_host
