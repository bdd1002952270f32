// The model checks. Each probe loads the library afresh in a child process and
// hands back its results as JSON; a probe that crashes, hangs or stops on an
// error fails its first check and leaves the others it would have measured
// skipped.
#include "check/model_check.h"

#include "check/check_probes.h"
#include "check/isolated_run.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <functional>

namespace ami_host {

const char *status_name(CheckStatus status)
{
    switch (status) {
    case CheckStatus::Pass: return "pass";
    case CheckStatus::Warn: return "warn";
    case CheckStatus::Fail: return "fail";
    case CheckStatus::Skip: return "skip";
    }
    return "skip";
}

namespace {

using namespace check;

nlohmann::json to_json(const CheckResult &r)
{
    nlohmann::json j = {{"name", r.name}, {"status", status_name(r.status)}, {"detail", r.detail}};
    if (r.has_figure)
        j["figure"] = std::isfinite(r.figure) ? nlohmann::json(r.figure) : nlohmann::json(nullptr);
    j["unit"] = r.unit;
    j["curves"] = nlohmann::json::array();
    for (const CheckCurve &curve : r.curves)
        j["curves"].push_back({{"label", curve.label}, {"step", curve.step}, {"values", curve.values}});
    return j;
}

CheckResult from_json(const nlohmann::json &j)
{
    CheckResult r;
    r.name = j.at("name");
    const std::string status = j.at("status");
    for (CheckStatus s : {CheckStatus::Pass, CheckStatus::Warn, CheckStatus::Fail, CheckStatus::Skip})
        if (status == status_name(s))
            r.status = s;
    r.detail = j.at("detail");
    r.unit = j.at("unit");
    if (j.contains("figure")) {
        r.has_figure = true;
        r.figure = j["figure"].is_null() ? INFINITY : j["figure"].get<double>();
    }
    for (const nlohmann::json &curve : j.at("curves")) {
        r.curves.push_back({curve.at("label"), curve.at("step"), {}});
        for (const nlohmann::json &value : curve.at("values"))
            r.curves.back().values.push_back(value.is_null() ? NAN : value.get<double>());
    }
    return r;
}

using Probe = std::function<std::vector<CheckResult>(const ModelLibrary &)>;

// Runs `probe` in a child. `names` are the checks it reports, in order.
std::vector<CheckResult> isolated(const Context &context, const std::vector<std::string> &names, const Probe &probe)
{
    const IsolatedOutcome outcome = run_isolated(
        [&]() {
            const ModelLibrary library(context.subject.library, context.subject.side + " model");
            nlohmann::json list = nlohmann::json::array();
            for (const CheckResult &r : probe(library))
                list.push_back(to_json(r));
            return list.dump();
        },
        context.options.timeout_seconds);
    std::vector<CheckResult> results;
    if (outcome.finished) {
        try {
            for (const nlohmann::json &j : nlohmann::json::parse(outcome.output))
                results.push_back(from_json(j));
            return results;
        } catch (const nlohmann::json::exception &e) {
            results.clear();
            results.push_back(result(names.front(), CheckStatus::Fail,
                                     std::string("the check's results did not arrive intact: ") + e.what()));
            return results;
        }
    }
    const bool ended = outcome.signal != 0 || outcome.timed_out;
    results.push_back(result(names.front(), CheckStatus::Fail, (ended ? "the model was " : "") + outcome.failure));
    for (size_t i = 1; i < names.size(); ++i)
        results.push_back(result(names[i], CheckStatus::Skip, "not measured: " + names.front() + " failed"));
    return results;
}

std::vector<CheckResult> skipped(const std::vector<std::string> &names, const std::string &why)
{
    std::vector<CheckResult> results;
    for (const std::string &name : names)
        results.push_back(result(name, CheckStatus::Skip, why));
    return results;
}

void append(std::vector<CheckResult> &to, const std::vector<CheckResult> &from)
{
    to.insert(to.end(), from.begin(), from.end());
}

} // namespace

std::vector<CheckResult> check_model(const CheckSubject &subject, const CheckOptions &options)
{
    Context c;
    c.subject = subject;
    c.options = options;
    c.timing.bit_time = options.bit_time;
    c.timing.samples_per_bit = options.samples_per_bit;
    c.row_size = 128L * options.samples_per_bit;

    std::vector<CheckResult> results;
    const std::vector<std::string> init_checks = {"parameter_echo", "out_of_range", "null_parameters",
                                                  "init_linearity", "init_repeatable", "samples_per_bit"};
    const std::vector<std::string> getwave_checks = {"init_vs_getwave", "block_size", "instance_independence",
                                                     "odd_timing"};
    try {
        c.ami = read_ami_file(subject.ami);
        size_t settable = 0;
        for (const AmiParameter &p : c.ami.model_specific)
            settable += p.settable();
        results.push_back(measured("ami_file", CheckStatus::Pass, static_cast<double>(settable), "settable",
                                   "parses; every default is among its allowed values"));
    } catch (const std::exception &e) {
        results.push_back(result("ami_file", CheckStatus::Fail, e.what()));
        append(results, skipped({"library", "reserved_parameters"}, "not measured: the .ami file is unusable"));
        append(results, skipped(init_checks, "not measured: the .ami file is unusable"));
        append(results, skipped(kGetWaveRunChecks, "not measured: the .ami file is unusable"));
        append(results, skipped(getwave_checks, "not measured: the .ami file is unusable"));
        return results;
    }

    using Check = std::vector<CheckResult> (*)(const Context &, const ModelLibrary &);
    auto probe = [&c](Check check) { return [&c, check](const ModelLibrary &library) { return check(c, library); }; };
    const std::vector<CheckResult> library = isolated(c, {"library", "reserved_parameters"}, probe(check_library));
    append(results, library);
    if (library[0].status == CheckStatus::Fail) {
        append(results, skipped(init_checks, "not measured: the library does not load"));
        append(results, skipped(kGetWaveRunChecks, "not measured: the library does not load"));
        append(results, skipped(getwave_checks, "not measured: the library does not load"));
        return results;
    }
    const bool has_getwave = library[0].figure == 3; // the entry points the child found

    append(results, isolated(c, {"parameter_echo"}, probe(check_parameter_echo)));
    append(results, isolated(c, {"out_of_range"}, probe(check_out_of_range)));
    append(results, isolated(c, {"null_parameters"}, probe(check_null_parameters)));
    if (c.ami.init_returns_impulse()) {
        append(results, isolated(c, {"init_linearity"}, probe(check_linearity)));
        c.init_nonlinear = results.back().status == CheckStatus::Warn;
        append(results, isolated(c, {"init_repeatable"}, probe(check_repeatable)));
        append(results, isolated(c, {"samples_per_bit"}, probe(check_samples_per_bit)));
    } else {
        append(results, skipped({"init_linearity", "init_repeatable", "samples_per_bit"},
                                "not measured: AMI_Init returns no impulse response"));
    }

    if (!has_getwave) {
        append(results, skipped(kGetWaveRunChecks, "not measured: no AMI_GetWave"));
        append(results, skipped(getwave_checks, "not measured: no AMI_GetWave"));
        return results;
    }
    const std::vector<CheckResult> run = isolated(c, kGetWaveRunChecks, probe(check_getwave_run));
    append(results, run);
    if (run[0].status == CheckStatus::Fail) {
        append(results, skipped(getwave_checks, "not measured: AMI_GetWave failed on data"));
        return results;
    }
    if (c.ami.init_returns_impulse())
        append(results, isolated(c, {"init_vs_getwave"}, probe(check_init_vs_getwave)));
    else
        append(results, skipped({"init_vs_getwave"}, "not measured: AMI_Init returns no impulse response"));
    append(results, isolated(c, {"block_size"}, probe(check_block_size)));
    append(results, isolated(c, {"instance_independence"}, probe(check_instances)));
    append(results, isolated(c, {"odd_timing"}, probe(check_odd_timing)));
    return results;
}

} // namespace ami_host
