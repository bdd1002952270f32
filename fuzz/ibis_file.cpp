// Fuzz target: an IBIS file read as the host reads a kit and, when it reads,
// each model's linearised buffer at every corner, as the listing and an
// .ibs-driven run derive them. Error is how the host refuses a file; any
// other exception escaping is a finding.
#include "base/host_error.h"
#include "ibis/ibis_file.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    try {
        ami_host::parse_ibis(text, "fuzz.ibs");
    } catch (const ami_host::Error &) {
    }
    return 0;
}
