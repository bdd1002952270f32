// The model checks: a table of probes, each with the checks it reports and
// what it needs, walked in order. A check whose needs are not met is skipped
// with the reason. Each probe of the model loads the library afresh in a child
// process and hands back its results and findings as JSON; a probe that
// crashes, hangs or stops on an error fails its first check (or warns, where
// the probe goes beyond what a model must bear), naming the entry point it
// ended in, and leaves the others it would have measured skipped.
#include "check/model_check.h"

#include "check/check_probes.h"
#include "check/check_report.h"
#include "check/isolated_run.h"

#include <nlohmann/json.hpp>

#include <functional>
#include <variant>

namespace ami_host {

namespace {

using namespace check;

using Results = std::vector<CheckResult>;

// A condition a check needs met before it is measured, and the reason given
// for skipping it when not. `met` sees what the checks so far found and
// reported.
struct Need {
    bool (*met)(const Context &c, const Results &so_far);
    const char *unmet;
};

const Need kAmiRead{[](const Context &c, const Results &) { return c.found.ami_read; }, "the .ami file is unusable"};
const Need kLibraryLoads{[](const Context &c, const Results &) { return c.found.exports.has_value(); },
                         "the library does not load"};
const Need kInitImpulse{[](const Context &c, const Results &) { return c.ami.init_returns_impulse(); },
                        "AMI_Init returns no impulse response"};
const Need kGetWave{[](const Context &c, const Results &) { return c.found.exports && c.found.exports->get_wave; },
                    "no AMI_GetWave"};
const Need kGetWaveOutput{[](const Context &c, const Results &) { return c.found.getwave_output; },
                          "AMI_GetWave returned no finite waveform for data"};

// A probe of the host's own: it reads the model's files and calls no model code.
using HostProbe = Results (*)(Context &c);
// A probe of the model, run in a child on a freshly loaded library; what it
// records in the child's c.found comes back with its results.
using ModelProbe = std::function<Results(Context &c, const ModelLibrary &library)>;

// One row of the table: the checks a probe reports, in order, and what it needs.
struct CheckEntry {
    std::vector<std::string> names;
    std::vector<Need> needs; // in order: the first one not met gives the reason for skipping
    std::variant<HostProbe, ModelProbe> probe;
    CheckStatus ended = CheckStatus::Fail; // the first check's when the probe crashes, hangs or stops on an error
};

// Every check, in the order they run and are reported.
const std::vector<CheckEntry> &check_table()
{
    static const std::vector<CheckEntry> table = {
        {{"ami_file"}, {}, HostProbe(check_ami_file)},
        {{"library", "reserved_parameters"}, {kAmiRead}, ModelProbe(check_library)},
        {{"parameter_echo"}, {kAmiRead, kLibraryLoads}, ModelProbe(check_parameter_echo)},
        {{"out_of_range"}, {kAmiRead, kLibraryLoads}, ModelProbe(check_out_of_range)},
        // A null parameter string is outside what a model must accept.
        {{"null_parameters"}, {kAmiRead, kLibraryLoads}, ModelProbe(check_null_parameters), CheckStatus::Warn},
        {{"init_linearity"}, {kAmiRead, kLibraryLoads, kInitImpulse}, ModelProbe(check_linearity)},
        {{"init_repeatable"}, {kAmiRead, kLibraryLoads, kInitImpulse}, ModelProbe(check_repeatable)},
        {{"samples_per_bit"}, {kAmiRead, kLibraryLoads, kInitImpulse}, ModelProbe(check_samples_per_bit)},
        {kGetWaveRunChecks, {kAmiRead, kLibraryLoads, kGetWave}, ModelProbe(check_getwave_run)},
        {{"init_vs_getwave"},
         {kAmiRead, kLibraryLoads, kGetWave, kGetWaveOutput, kInitImpulse},
         ModelProbe(check_init_vs_getwave)},
        {{"block_size"}, {kAmiRead, kLibraryLoads, kGetWave, kGetWaveOutput}, ModelProbe(check_block_size)},
        {{"instance_independence"}, {kAmiRead, kLibraryLoads, kGetWave, kGetWaveOutput}, ModelProbe(check_instances)},
        {{"odd_timing"}, {kAmiRead, kLibraryLoads, kGetWave, kGetWaveOutput}, ModelProbe(check_odd_timing)},
        {{"memory_growth"}, {kAmiRead, kLibraryLoads}, ModelProbe(check_memory_growth)},
    };
    return table;
}

nlohmann::ordered_json findings_json(const Findings &found)
{
    nlohmann::ordered_json j = {{"ami_read", found.ami_read},
                                {"init_nonlinear", found.init_nonlinear},
                                {"getwave_output", found.getwave_output}};
    j["exports"] = found.exports ? nlohmann::ordered_json{{"get_wave", found.exports->get_wave}} : nullptr;
    return j;
}

Findings findings_from_json(const nlohmann::ordered_json &j)
{
    Findings found;
    found.ami_read = j.at("ami_read");
    found.init_nonlinear = j.at("init_nonlinear");
    found.getwave_output = j.at("getwave_output");
    if (!j.at("exports").is_null())
        found.exports = LibraryExports{j.at("exports").at("get_wave")};
    return found;
}

// What a model probe's child hands back: {"results": [check_result_json...],
// "findings": {...}}.
std::string child_report(Context &c, const ModelProbe &probe)
{
    const ModelLibrary library(c.subject.library, c.subject.side + " model");
    nlohmann::ordered_json report = {{"results", nlohmann::ordered_json::array()}};
    for (const CheckResult &r : probe(c, library))
        report["results"].push_back(check_result_json(r, true));
    report["findings"] = findings_json(c.found);
    return report.dump();
}

// The first of `names` ended with `status` for `why`; the others were not measured.
Results first_ended(const std::vector<std::string> &names, CheckStatus status, const std::string &why)
{
    Results results = {result(names.front(), status, why)};
    for (size_t i = 1; i < names.size(); ++i)
        results.push_back(result(names[i], CheckStatus::Skip, "not measured: " + names.front() + " did not finish"));
    return results;
}

// Why a child that ran the model did not finish: "the model was killed by
// signal SIGSEGV (Segmentation fault) in AMI_GetWave", "the model gave no
// result within 2 s in AMI_Init", or the message of the error it stopped on.
std::string ending_text(const IsolatedOutcome &outcome, const std::string &entry_point)
{
    const std::string in = entry_point.empty() ? "" : " in " + entry_point;
    if (outcome.timed_out)
        return "the model gave " + outcome.failure + in;
    if (outcome.signal != 0)
        return "the model was " + outcome.failure + in;
    if (!entry_point.empty())
        return "the model " + outcome.failure + in;
    return outcome.failure;
}

// Runs `probe` in a child on a copy of `c`, and takes what it found into `c`.
// A child that crashes, hangs or stops on an error ends the first of `names`
// with `ended`.
Results isolated(Context &c, const std::vector<std::string> &names, const ModelProbe &probe, CheckStatus ended)
{
    clear_entry_point_in_call();
    const IsolatedOutcome outcome = run_isolated(
        [&]() {
            Context copy = c;
            return child_report(copy, probe);
        },
        c.options.timeout_seconds);
    if (!outcome.finished)
        return first_ended(names, ended, ending_text(outcome, entry_point_in_call()));
    try {
        const nlohmann::ordered_json report = nlohmann::ordered_json::parse(outcome.output);
        Results results;
        for (const nlohmann::ordered_json &entry : report.at("results"))
            results.push_back(check_result_from_json(entry));
        c.found = findings_from_json(report.at("findings"));
        return results;
    } catch (const nlohmann::json::exception &e) {
        return first_ended(names, CheckStatus::Fail,
                           std::string("the check's results did not arrive intact: ") + e.what());
    }
}

Results skipped(const std::vector<std::string> &names, const std::string &why)
{
    Results results;
    for (const std::string &name : names)
        results.push_back(result(name, CheckStatus::Skip, why));
    return results;
}

const Need *first_unmet(const CheckEntry &entry, const Context &c, const Results &so_far)
{
    for (const Need &need : entry.needs)
        if (!need.met(c, so_far))
            return &need;
    return nullptr;
}

Results run_entry(const CheckEntry &entry, Context &c)
{
    if (const HostProbe *probe = std::get_if<HostProbe>(&entry.probe))
        return (*probe)(c);
    return isolated(c, entry.names, std::get<ModelProbe>(entry.probe), entry.ended);
}

Context starting_context(const CheckSubject &subject, const CheckOptions &options)
{
    Context c;
    c.subject = subject;
    c.options = options;
    c.timing.bit_time = options.bit_time;
    c.timing.samples_per_bit = options.samples_per_bit;
    c.row_size = 128L * options.samples_per_bit;
    return c;
}

} // namespace

std::vector<std::string> check_names()
{
    std::vector<std::string> names;
    for (const CheckEntry &entry : check_table())
        names.insert(names.end(), entry.names.begin(), entry.names.end());
    return names;
}

std::vector<CheckResult> check_model(const CheckSubject &subject, const CheckOptions &options)
{
    Context c = starting_context(subject, options);
    std::vector<CheckResult> results;
    for (const CheckEntry &entry : check_table()) {
        const Need *unmet = first_unmet(entry, c, results);
        const std::vector<CheckResult> reported =
            unmet ? skipped(entry.names, std::string("not measured: ") + unmet->unmet) : run_entry(entry, c);
        results.insert(results.end(), reported.begin(), reported.end());
    }
    return results;
}

} // namespace ami_host
