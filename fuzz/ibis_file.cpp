// Fuzz target: an IBIS file read as the host reads a kit and, when it reads,
// each model's linearised buffer at every corner, as the listing and an
// .ibs-driven run derive them. Error is how the host refuses a file; any
// other exception escaping is a finding.
#include "base/host_error.h"
#include "ibis/ibis_file.h"
#include "ibis/linear_buffer.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    using namespace ami_host;
    IbisFile file;
    try {
        file = parse_ibis(text, "fuzz.ibs");
    } catch (const Error &) {
        return 0;
    }
    for (const IbisModel &model : file.models)
        for (Corner corner : {Corner::Typ, Corner::Min, Corner::Max}) {
            try {
                output_buffer(file, model, corner);
            } catch (const Error &) {
            }
            try {
                input_buffer(file, model, corner);
            } catch (const Error &) {
            }
        }
    return 0;
}
