// The model checks. Each probe loads the library afresh in a child process and
// hands back its results as JSON; a probe that crashes, hangs or stops on an
// error fails its first check and leaves the others it would have measured
// skipped.
#include "model_check.h"

#include "isolated_run.h"
#include "model_drive.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <stdexcept>

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

using check::ClockCall;
using check::DrivenInstance;
using check::InitCall;
using check::Timing;
using check::WaveRun;

// Thresholds of the relative figures.
constexpr double kLinearLimit = 1e-9;         // below: AMI_Init is linear
constexpr double kInitGetWaveLimit = 1e-6;    // below: Init and GetWave agree
constexpr double kInitGetWaveWarn = 0.1;      // above: they describe different systems
constexpr double kSamplesPerBitWarn = 0.05;   // above: the response depends on the sampling
constexpr double kClockRateTolerance = 0.1;   // clocks per UI within 1 +- this

CheckResult result(const std::string &name, CheckStatus status, const std::string &detail)
{
    CheckResult r;
    r.name = name;
    r.status = status;
    r.detail = detail;
    return r;
}

CheckResult measured(const std::string &name, CheckStatus status, double figure, const std::string &unit,
                     const std::string &detail)
{
    CheckResult r = result(name, status, detail);
    r.has_figure = true;
    r.figure = figure;
    r.unit = unit;
    return r;
}

std::string number(double value)
{
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 4).ptr;
    return std::string(text, end);
}

// The first 12 bits of a response, for the picture.
CheckCurve curve(const std::string &label, const Timing &timing, const std::vector<double> &values)
{
    const size_t shown = std::min(values.size(), static_cast<size_t>(12 * timing.samples_per_bit));
    return {label, timing.sample_interval(),
            std::vector<double>(values.begin(), values.begin() + static_cast<long>(shown))};
}

bool identical(const std::vector<double> &a, const std::vector<double> &b)
{
    return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

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

// What every probe shares.
struct Context {
    CheckSubject subject;
    CheckOptions options;
    AmiFile ami;
    Timing timing;
    long row_size = 0; // samples of the impulse column: 128 bits
    bool init_nonlinear = false; // as the linearity check found

    std::vector<double> impulse() const { return check::channel_impulse(timing, row_size); }
};

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

// AMI_Init with the default parameters (or `parameters`); throws when it returns 0.
InitCall init_or_throw(DrivenInstance &instance, const Timing &timing, const std::vector<double> &impulse,
                       const std::string &parameters)
{
    InitCall call = instance.init(impulse, timing, &parameters);
    if (call.status == 0)
        throw std::runtime_error("AMI_Init returned 0: " + call.message);
    return call;
}

// ---- the .ami file and the library -------------------------------------

std::vector<CheckResult> check_library(const Context &c, const ModelLibrary &library)
{
    const bool exported = library.get_wave() != nullptr;
    std::vector<CheckResult> results;
    results.push_back(measured("library", CheckStatus::Pass, exported ? 3 : 2, "entry points",
                               exported ? "exports AMI_Init, AMI_GetWave and AMI_Close"
                                        : "exports AMI_Init and AMI_Close, no AMI_GetWave"));
    const bool declared = c.ami.getwave_exists();
    CheckResult reserved = result("reserved_parameters", CheckStatus::Pass,
                                  std::string("GetWave_Exists ") + (declared ? "True" : "False") +
                                      ", Init_Returns_Impulse " + (c.ami.init_returns_impulse() ? "True" : "False") +
                                      " agree with the exports");
    if (declared && !exported) {
        reserved.status = CheckStatus::Fail;
        reserved.detail = "GetWave_Exists is True but the library does not export AMI_GetWave";
    } else if (!declared && !c.ami.init_returns_impulse()) {
        reserved.status = CheckStatus::Fail;
        reserved.detail = "Init_Returns_Impulse and GetWave_Exists are both False: the model offers no response";
    } else if (!declared && exported) {
        reserved.status = CheckStatus::Warn;
        reserved.detail = "AMI_GetWave is exported but GetWave_Exists is False, so hosts will not call it";
    }
    results.push_back(reserved);
    return results;
}

// ---- parameters --------------------------------------------------------------

std::vector<CheckResult> check_parameter_echo(const Context &c, const ModelLibrary &library)
{
    DrivenInstance instance(library, c.ami);
    const InitCall call = init_or_throw(instance, c.timing, c.impulse(), check::parameter_text(c.ami));
    if (!call.has_parameters_out)
        return {result("parameter_echo", CheckStatus::Pass, "AMI_Init hands out no parameter string")};
    try {
        const AmiNode root = parse_ami_syntax(call.parameters_out, "AMI_parameters_out");
        if (root.name != c.ami.root)
            return {result("parameter_echo", CheckStatus::Fail,
                           "AMI_parameters_out opens with '" + root.name + "', not the root '" + c.ami.root + "'")};
    } catch (const std::exception &e) {
        return {result("parameter_echo", CheckStatus::Fail, std::string("AMI_parameters_out does not parse: ") +
                                                                e.what())};
    }
    return {result("parameter_echo", CheckStatus::Pass, "AMI_parameters_out parses and names " + c.ami.root)};
}

double format_number(const AmiParameter &p, size_t index)
{
    return std::strtod(p.format_values[index].c_str(), nullptr);
}

bool numeric(const AmiParameter &p)
{
    return p.settable() && (p.type == ValueType::Integer || p.type == ValueType::Float) &&
           (p.format == Format::Range || p.format == Format::List) && !p.format_values.empty();
}

// A value beyond every allowed one of a numeric parameter.
std::string outside_value(const AmiParameter &p)
{
    double highest = -INFINITY, lowest = INFINITY;
    for (size_t i = p.format == Format::Range ? 1 : 0; i < p.format_values.size(); ++i) {
        highest = std::max(highest, format_number(p, i));
        lowest = std::min(lowest, format_number(p, i));
    }
    const double value = std::floor(highest + (highest - lowest) + 1.0);
    return p.type == ValueType::Integer ? std::to_string(static_cast<long long>(value)) : number(value);
}

// A model's message on one line: runs of white space as one space, at most 160 characters.
std::string one_line(const std::string &message)
{
    std::string line;
    for (char ch : message) {
        const bool space = ch == '\n' || ch == '\r' || ch == '\t' || ch == ' ';
        if (!space)
            line += ch;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line.size() > 160 ? line.substr(0, 157) + "..." : line;
}

std::vector<CheckResult> check_out_of_range(const Context &c, const ModelLibrary &library)
{
    const auto p = std::find_if(c.ami.model_specific.begin(), c.ami.model_specific.end(), numeric);
    if (p == c.ami.model_specific.end())
        return {result("out_of_range", CheckStatus::Pass, "no numeric setting to push out of range")};
    const std::string setting = p->dotted_name() + "=" + outside_value(*p);
    DrivenInstance instance(library, c.ami);
    const std::string text = check::parameter_text(c.ami, {{p->dotted_name(), outside_value(*p)}});
    const InitCall call = instance.init(c.impulse(), c.timing, &text);
    if (call.message.empty())
        return {result("out_of_range", CheckStatus::Warn, setting + ": AMI_Init gave no message")};
    return {result("out_of_range", CheckStatus::Pass, setting + ": \"" + one_line(call.message) + "\"")};
}

std::vector<CheckResult> check_null_parameters(const Context &c, const ModelLibrary &library)
{
    DrivenInstance instance(library, c.ami);
    const InitCall call = instance.init(c.impulse(), c.timing, nullptr);
    return {result("null_parameters", CheckStatus::Pass,
                   "AMI_Init returned " + std::to_string(call.status) + " for a null parameter string")};
}

// ---- AMI_Init -------------------------------------------------------------------

std::vector<double> init_impulse(const Context &c, const ModelLibrary &library, const Timing &timing,
                                 const std::vector<double> &impulse)
{
    DrivenInstance instance(library, c.ami);
    return init_or_throw(instance, timing, impulse, check::parameter_text(c.ami)).impulse;
}

std::vector<CheckResult> check_linearity(const Context &c, const ModelLibrary &library)
{
    constexpr double scale = 0.5;
    std::vector<double> small = c.impulse();
    for (double &v : small)
        v *= scale;
    std::vector<double> expected = init_impulse(c, library, c.timing, c.impulse());
    for (double &v : expected)
        v *= scale;
    const double nonlinearity = check::relative_difference(init_impulse(c, library, c.timing, small), expected);
    if (nonlinearity <= kLinearLimit)
        return {measured("init_linearity", CheckStatus::Pass, nonlinearity, "relative",
                         "the response to half the impulse is half the response")};
    return {measured("init_linearity", CheckStatus::Warn, nonlinearity, "relative",
                     "AMI_Init is nonlinear: the response to half the impulse differs from half the response")};
}

std::vector<CheckResult> check_repeatable(const Context &c, const ModelLibrary &library)
{
    const std::vector<double> first = init_impulse(c, library, c.timing, c.impulse());
    const std::vector<double> second = init_impulse(c, library, c.timing, c.impulse());
    const double difference = check::relative_difference(second, first);
    if (identical(first, second))
        return {measured("init_repeatable", CheckStatus::Pass, 0.0, "relative",
                         "two AMI_Init calls agree bit for bit")};
    return {measured("init_repeatable", CheckStatus::Fail, difference, "relative",
                     "a second instance's AMI_Init gives a different response")};
}

// The pulse response at `spb` samples per bit, linearly interpolated at the
// sample instants of the reference timing.
std::vector<double> pulse_on_reference(const Context &c, const ModelLibrary &library, int spb)
{
    Timing timing = c.timing;
    timing.samples_per_bit = spb;
    const long samples = c.row_size / c.timing.samples_per_bit * spb;
    const std::vector<double> pulse =
        check::pulse_of(init_impulse(c, library, timing, check::channel_impulse(timing, samples)), timing);
    // A pulse sample sums the S impulse samples up to it, so it stands for the
    // instant half a sample later: compare at those instants.
    std::vector<double> resampled(static_cast<size_t>(c.row_size));
    const double ratio = static_cast<double>(spb) / c.timing.samples_per_bit;
    for (size_t i = 0; i < resampled.size(); ++i) {
        const double at = (static_cast<double>(i) + 0.5) * ratio - 0.5;
        const size_t k = static_cast<size_t>(std::max(at, 0.0));
        const double fraction = at - static_cast<double>(k);
        resampled[i] = k + 1 < pulse.size() ? pulse[k] + fraction * (pulse[k + 1] - pulse[k]) : pulse.back();
    }
    return resampled;
}

std::vector<CheckResult> check_samples_per_bit(const Context &c, const ModelLibrary &library)
{
    const std::vector<double> reference = pulse_on_reference(c, library, c.timing.samples_per_bit);
    double worst = 0.0;
    std::string worst_at;
    std::vector<CheckCurve> curves;
    for (int spb : {8, 16, 32, 33}) {
        const std::vector<double> pulse = pulse_on_reference(c, library, spb);
        curves.push_back(curve(std::to_string(spb) + " samples per bit", c.timing, pulse));
        const double difference = check::relative_difference(pulse, reference);
        if (spb != c.timing.samples_per_bit && !(difference <= worst)) {
            worst = difference;
            worst_at = std::to_string(spb);
        }
    }
    const std::string detail = "largest difference from " + std::to_string(c.timing.samples_per_bit) +
                               " samples per bit at " + worst_at + " (of 8, 16, 32, 33)";
    CheckResult r = measured("samples_per_bit", worst <= kSamplesPerBitWarn ? CheckStatus::Pass : CheckStatus::Warn,
                             worst, "relative", detail);
    r.curves = std::move(curves);
    return {r};
}

// ---- AMI_GetWave --------------------------------------------------------------

WaveRun data_run(const Context &c, const ModelLibrary &library, long block_size)
{
    DrivenInstance instance(library, c.ami);
    init_or_throw(instance, c.timing, c.impulse(), check::parameter_text(c.ami));
    return instance.run(check::data_wave(c.timing, c.options.bits), block_size);
}

const std::vector<std::string> kGetWaveRunChecks = {"getwave", "clock_terminated", "clock_bounds",
                                                     "clock_increasing", "clock_rate"};

std::vector<CheckResult> check_getwave_run(const Context &c, const ModelLibrary &library)
{
    const WaveRun run = data_run(c, library, 1000);
    std::vector<CheckResult> results;
    const bool finite = std::all_of(run.output.begin(), run.output.end(), [](double v) { return std::isfinite(v); });
    if (!finite)
        results.push_back(result("getwave", CheckStatus::Fail, "AMI_GetWave wrote values that are not finite"));
    else if (!run.parameters_out_problem.empty())
        results.push_back(result("getwave", CheckStatus::Fail, run.parameters_out_problem));
    else
        results.push_back(result("getwave", CheckStatus::Pass,
                                 std::to_string(run.calls.size()) + " calls of 1000 samples, finite output"));

    long written = 0, unterminated = 0, overruns = 0;
    for (const ClockCall &call : run.calls) {
        written += call.touched;
        unterminated += call.touched && !call.terminated;
        overruns += call.past_end;
    }
    const long calls = static_cast<long>(run.calls.size());
    if (written == 0) {
        for (size_t i = 1; i < kGetWaveRunChecks.size(); ++i)
            results.push_back(result(kGetWaveRunChecks[i], CheckStatus::Pass, "the model writes no clock times"));
        return results;
    }
    results.push_back(measured("clock_terminated", unterminated ? CheckStatus::Fail : CheckStatus::Pass,
                               static_cast<double>(unterminated), "calls",
                               std::to_string(unterminated) + " of " + std::to_string(calls) +
                                   " calls left the clock times without a -1 within wave_size + 1 slots"));
    results.push_back(measured("clock_bounds", overruns ? CheckStatus::Fail : CheckStatus::Pass,
                               static_cast<double>(overruns), "calls",
                               std::to_string(overruns) + " of " + std::to_string(calls) +
                                   " calls wrote past the wave_size + 1 slots of clock_times"));
    if (unterminated) {
        results.push_back(result("clock_increasing", CheckStatus::Skip, "not measured: the clock times have no end"));
        results.push_back(result("clock_rate", CheckStatus::Skip, "not measured: the clock times have no end"));
        return results;
    }
    const std::vector<double> times = run.clock_times();
    long out_of_order = 0;
    for (size_t i = 1; i < times.size(); ++i)
        out_of_order += !(times[i] > times[i - 1]);
    results.push_back(measured("clock_increasing", out_of_order ? CheckStatus::Fail : CheckStatus::Pass,
                               static_cast<double>(out_of_order), "pairs",
                               std::to_string(out_of_order) + " of " + std::to_string(times.size()) +
                                   " clock times do not follow the one before"));
    const double rate = static_cast<double>(times.size()) / static_cast<double>(c.options.bits);
    results.push_back(measured("clock_rate", std::fabs(rate - 1.0) <= kClockRateTolerance ? CheckStatus::Pass
                                                                                          : CheckStatus::Warn,
                               rate, "clocks/UI",
                               std::to_string(times.size()) + " clock times over " + std::to_string(c.options.bits) +
                                   " bits"));
    return results;
}

std::vector<CheckResult> check_block_size(const Context &c, const ModelLibrary &library)
{
    const WaveRun whole = data_run(c, library, c.options.bits * c.timing.samples_per_bit);
    double worst = 0.0;
    std::string differing;
    for (long block : {1L, 7L, 1000L}) {
        const WaveRun run = data_run(c, library, block);
        worst = std::max(worst, check::relative_difference(run.output, whole.output));
        if (!identical(run.output, whole.output) || !identical(run.clock_times(), whole.clock_times()))
            differing += (differing.empty() ? "" : ", ") + std::to_string(block);
    }
    if (differing.empty())
        return {measured("block_size", CheckStatus::Pass, 0.0, "relative",
                         "blocks of 1, 7 and 1000 samples give the output and clock times of one block")};
    return {measured("block_size", CheckStatus::Fail, worst, "relative",
                     "blocks of " + differing + " samples change the output or the clock times")};
}

// The pulse response through AMI_GetWave: the output for data, then the line
// resting at the low level (-0.5 V) and one bit at the high level, less the
// output without that bit. Resting at a data level rather than at 0 V keeps a
// limiting amplifier where data drives it. Receivers see Ignore_Bits of data
// first, so that their clock has settled.
std::vector<CheckResult> check_init_vs_getwave(const Context &c, const ModelLibrary &library)
{
    const long spb = c.timing.samples_per_bit;
    const long preamble = std::min(c.ami.ignore_bits(), 4000L) * spb;
    const long quiet = 64 * spb;
    const std::vector<double> channel = c.impulse();
    std::vector<double> without(static_cast<size_t>(preamble + quiet + c.row_size), -0.5);
    if (preamble > 0) {
        const std::vector<double> data = check::data_wave(c.timing, preamble / spb);
        std::copy(data.begin(), data.end(), without.begin());
    }
    std::vector<double> with = without;
    const std::vector<double> channel_pulse = check::pulse_of(channel, c.timing);
    for (size_t i = 0; i < channel_pulse.size(); ++i)
        with[static_cast<size_t>(preamble + quiet) + i] += channel_pulse[i];
    auto output = [&](const std::vector<double> &input) {
        DrivenInstance instance(library, c.ami);
        init_or_throw(instance, c.timing, channel, check::parameter_text(c.ami));
        return instance.run(input, 1000).output;
    };
    const std::vector<double> a = output(with), b = output(without);
    std::vector<double> from_getwave(static_cast<size_t>(c.row_size));
    for (size_t i = 0; i < from_getwave.size(); ++i)
        from_getwave[i] = a[static_cast<size_t>(preamble + quiet) + i] - b[static_cast<size_t>(preamble + quiet) + i];
    const std::vector<double> from_init = check::pulse_of(init_impulse(c, library, c.timing, channel), c.timing);
    const double difference = check::relative_difference(from_getwave, from_init);
    // A nonlinear model's response to an isolated bit depends on the levels
    // around it, so a difference is only a warning there.
    const CheckStatus status = difference <= kInitGetWaveLimit                    ? CheckStatus::Pass
                               : difference <= kInitGetWaveWarn || c.init_nonlinear ? CheckStatus::Warn
                                                                                    : CheckStatus::Fail;
    CheckResult r = measured("init_vs_getwave", status, difference, "relative",
                             "pulse response of AMI_GetWave (an isolated bit after " + std::to_string(preamble / spb) +
                                 " bits of data) against AMI_Init's" +
                                 (c.init_nonlinear && status == CheckStatus::Warn ? "; AMI_Init is nonlinear" : ""));
    r.curves = {curve("AMI_Init", c.timing, from_init), curve("AMI_GetWave", c.timing, from_getwave)};
    return {r};
}

// A setting other than the default, for a second instance; none when no
// parameter offers one.
std::vector<std::pair<std::string, std::string>> other_setting(const AmiFile &ami)
{
    for (const AmiParameter &p : ami.model_specific) {
        if (!numeric(p))
            continue;
        const size_t first = p.format == Format::Range ? 1 : 0;
        for (size_t i = p.format_values.size(); i-- > first;)
            if (p.check(p.format_values[i]).empty() && p.format_values[i] != p.default_value)
                return {{p.dotted_name(), p.format_values[i]}};
    }
    return {};
}

std::vector<CheckResult> check_instances(const Context &c, const ModelLibrary &library)
{
    const std::vector<double> input = check::data_wave(c.timing, c.options.bits);
    const auto settings = other_setting(c.ami);
    const std::string text_a = check::parameter_text(c.ami), text_b = check::parameter_text(c.ami, settings);
    const long block = 1000;
    auto alone = [&](const std::string &text) {
        DrivenInstance instance(library, c.ami);
        init_or_throw(instance, c.timing, c.impulse(), text);
        return instance.run(input, block);
    };
    const WaveRun a_alone = alone(text_a), b_alone = alone(text_b);

    DrivenInstance a(library, c.ami), b(library, c.ami);
    init_or_throw(a, c.timing, c.impulse(), text_a);
    init_or_throw(b, c.timing, c.impulse(), text_b);
    std::vector<double> a_out = input, b_out = input;
    std::vector<double> a_clocks, b_clocks;
    std::string problem;
    for (size_t start = 0; start < input.size(); start += block) {
        const long size = static_cast<long>(std::min<size_t>(block, input.size() - start));
        for (auto [instance, out, clocks] : {std::tuple{&a, &a_out, &a_clocks}, std::tuple{&b, &b_out, &b_clocks}}) {
            const ClockCall call = instance->get_wave(out->data() + start, size, problem);
            clocks->insert(clocks->end(), call.times.begin(), call.times.end());
        }
    }
    const std::string which = settings.empty() ? "two default instances"
                                               : "a default instance and one with " + settings[0].first + "=" +
                                                     settings[0].second;
    if (identical(a_out, a_alone.output) && identical(b_out, b_alone.output) &&
        identical(a_clocks, a_alone.clock_times()) && identical(b_clocks, b_alone.clock_times()))
        return {result("instance_independence", CheckStatus::Pass,
                       which + " interleaved give what each gives alone")};
    return {measured("instance_independence", CheckStatus::Fail,
                     std::max(check::relative_difference(a_out, a_alone.output),
                              check::relative_difference(b_out, b_alone.output)),
                     "relative", which + " interleaved differ from each alone: the instances share state")};
}

std::vector<CheckResult> check_odd_timing(const Context &c, const ModelLibrary &library)
{
    Timing timing;
    timing.bit_time = 123.4e-12;
    timing.samples_per_bit = 7;
    DrivenInstance instance(library, c.ami);
    const InitCall call = init_or_throw(instance, timing, check::channel_impulse(timing, 7 * 100 + 3),
                                        check::parameter_text(c.ami));
    const WaveRun run = instance.run(check::data_wave(timing, 200), 333);
    const auto all_finite = [](const std::vector<double> &values) {
        return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
    };
    const bool finite = all_finite(run.output) && all_finite(call.impulse);
    return {result("odd_timing", finite ? CheckStatus::Pass : CheckStatus::Fail,
                   std::string("7 samples per bit of 123.4 ps, a column of 703 samples, blocks of 333: ") +
                       (finite ? "finite output" : "output that is not finite"))};
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
