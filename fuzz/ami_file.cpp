// Fuzz target: an .ami file read as the host reads a model's and, when it
// reads, the parameter string of its defaults, which must read back as one
// parenthesised item. Error is how the host refuses a file; from a file
// that reads, nothing may throw.
#include "base/host_error.h"
#include "model/ami_file.h"
#include "model/ami_syntax.h"
#include "model/parameter_string.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    using namespace ami_host;
    AmiFile ami;
    try {
        ami = parse_ami_file(std::string(reinterpret_cast<const char *>(data), size), "fuzz.ami");
    } catch (const Error &) {
        return 0;
    }
    const ParameterSet defaults = build_parameter_string(ami, {}, "Rx");
    // "(root)" is a model's empty parameter string but no item of an .ami file.
    if (!defaults.values.empty())
        parse_ami_syntax(defaults.text, "the parameter string");
    return 0;
}
