// Fuzz target: a sweep's results file read as merge reads a shard's. A file
// that reads must write back to text that reads and writes to the same text
// again, merging it alone must give the whole sweep or say which points it
// misses, and its best point per channel must be found. Error is how the
// host refuses a file; from a file that reads, only merge may refuse it.
#include "base/host_error.h"
#include "sweep/sweep_results.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace {

using namespace ami_host;

// Merge visits every point of the sweep, however few the file holds.
constexpr long most_points_merged = 4096;

void merge_alone(const SweepTable &table)
{
    if (table.grid.point_count() > most_points_merged)
        return;
    try {
        merge_results({table});
    } catch (const Error &) {
    }
}

void print_best_of_first_metric(const SweepTable &table)
{
    if (table.metrics.empty())
        return;
    std::ostringstream out;
    print_best(out, best_per_channel(table, table.metrics.front()), table.metrics.front());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    SweepTable table;
    try {
        table = parse_results(std::string(reinterpret_cast<const char *>(data), size), "sweep.jsonl");
    } catch (const Error &) {
        return 0;
    }
    const std::string written = results_jsonl(table);
    if (results_jsonl(parse_results(written, "written")) != written)
        std::abort();
    merge_alone(table);
    print_best_of_first_metric(table);
    results_csv(table);
    return 0;
}
