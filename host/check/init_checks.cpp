// The checks of the .ami file, of the library against it, of the parameter
// string and of AMI_Init.
#include "check/check_probes.h"

#include "base/text.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace ami_host::check {

namespace {

double format_number(const AmiParameter &p, size_t index)
{
    return std::strtod(p.format_values[index].c_str(), nullptr);
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

// Whether a model's message speaks of a value it was given: it names the
// parameter, or it carries a word of warning or error.
bool objects_to(const std::string &message, const std::string &parameter)
{
    const std::string lower = lowercase(message);
    for (const std::string &word :
         {lowercase(parameter), std::string("warn"), std::string("error"), std::string("invalid"),
          std::string("range"), std::string("not allowed"), std::string("clamp")})
        if (lower.find(word) != std::string::npos)
            return true;
    return false;
}

// The pulse response at `spb` samples per bit, linearly interpolated at the
// sample instants of the reference timing.
std::vector<double> pulse_on_reference(const Context &c, const ModelLibrary &library, int spb)
{
    Timing timing = c.timing;
    timing.samples_per_bit = spb;
    const long samples = c.row_size / c.timing.samples_per_bit * spb;
    const std::vector<double> pulse =
        pulse_of(init_impulse(c, library, timing, channel_impulse(timing, samples)), timing);
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

} // namespace

std::vector<CheckResult> check_ami_file(Context &c)
{
    try {
        c.ami = read_ami_file(c.subject.ami);
    } catch (const std::exception &e) {
        return {result("ami_file", CheckStatus::Fail, e.what())};
    }
    c.found.ami_read = true;
    size_t settable = 0;
    for (const AmiParameter &p : c.ami.model_specific)
        settable += p.settable();
    return {measured("ami_file", CheckStatus::Pass, static_cast<double>(settable), "settable",
                     "parses; every default is among its allowed values")};
}

std::vector<CheckResult> check_library(Context &c, const ModelLibrary &library)
{
    c.found.exports = LibraryExports{library.get_wave() != nullptr};
    const bool exported = c.found.exports->get_wave;
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

std::vector<CheckResult> check_parameter_echo(const Context &c, const ModelLibrary &library)
{
    DrivenInstance instance(library, c.ami);
    const InitCall call = init_or_throw(instance, c.timing, c.impulse(), parameter_text(c.ami));
    if (!call.has_parameters_out)
        return {result("parameter_echo", CheckStatus::Pass, "AMI_Init hands out no parameter string")};
    try {
        const AmiNode root = parse_ami_syntax(call.parameters_out, "AMI_parameters_out");
        if (root.name != c.ami.root)
            return {result("parameter_echo", CheckStatus::Fail,
                           "AMI_Init's AMI_parameters_out opens with '" + root.name + "', not the root '" +
                               c.ami.root + "'")};
    } catch (const std::exception &e) {
        return {result("parameter_echo", CheckStatus::Fail,
                       std::string("AMI_Init's AMI_parameters_out does not parse: ") + e.what())};
    }
    return {result("parameter_echo", CheckStatus::Pass, "AMI_parameters_out parses and names " + c.ami.root)};
}

std::vector<CheckResult> check_out_of_range(const Context &c, const ModelLibrary &library)
{
    const auto p = std::find_if(c.ami.model_specific.begin(), c.ami.model_specific.end(), numeric);
    if (p == c.ami.model_specific.end())
        return {result("out_of_range", CheckStatus::Pass, "no numeric setting to push out of range")};
    const std::string setting = p->dotted_name() + "=" + outside_value(*p);
    DrivenInstance instance(library, c.ami);
    const std::string text = parameter_text(c.ami, {{p->dotted_name(), outside_value(*p)}});
    const InitCall call = instance.init(c.impulse(), c.timing, &text);
    if (call.status == 0)
        return {result("out_of_range", CheckStatus::Pass, setting + ": AMI_Init refuses it")};
    const std::string quoted = "\"" + one_line(call.message) + "\"";
    if (objects_to(call.message, p->path.back()))
        return {result("out_of_range", CheckStatus::Pass, setting + ": " + quoted)};
    // Not a wrong result for any allowed setting, so a warning: the model
    // leaves the user unaware that the value is not used as given.
    return {result("out_of_range", CheckStatus::Warn,
                   setting + ": AMI_Init takes it without a word of " + p->path.back() + " or of an error" +
                       (call.message.empty() ? std::string(", and gives no message") : ": " + quoted))};
}

std::vector<CheckResult> check_null_parameters(const Context &c, const ModelLibrary &library)
{
    DrivenInstance instance(library, c.ami);
    const InitCall call = instance.init(c.impulse(), c.timing, nullptr);
    return {result("null_parameters", CheckStatus::Pass,
                   "AMI_Init returned " + std::to_string(call.status) + " for a null parameter string")};
}

std::vector<CheckResult> check_linearity(Context &c, const ModelLibrary &library)
{
    constexpr double scale = 0.5;
    std::vector<double> small = c.impulse();
    for (double &v : small)
        v *= scale;
    std::vector<double> expected = init_impulse(c, library, c.timing, c.impulse());
    for (double &v : expected)
        v *= scale;
    const double nonlinearity = relative_difference(init_impulse(c, library, c.timing, small), expected);
    c.found.init_nonlinear = !(nonlinearity <= kLinearLimit);
    if (!c.found.init_nonlinear)
        return {measured("init_linearity", CheckStatus::Pass, nonlinearity, "relative",
                         "the response to half the impulse is half the response")};
    return {measured("init_linearity", CheckStatus::Warn, nonlinearity, "relative",
                     "AMI_Init is nonlinear: the response to half the impulse differs from half the response")};
}

std::vector<CheckResult> check_repeatable(const Context &c, const ModelLibrary &library)
{
    const std::vector<double> first = init_impulse(c, library, c.timing, c.impulse());
    const std::vector<double> second = init_impulse(c, library, c.timing, c.impulse());
    const double difference = relative_difference(second, first);
    if (identical(first, second))
        return {measured("init_repeatable", CheckStatus::Pass, 0.0, "relative",
                         "two AMI_Init calls agree bit for bit")};
    return {measured("init_repeatable", CheckStatus::Fail, difference, "relative",
                     "a second instance's AMI_Init gives a different response")};
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
        const double difference = relative_difference(pulse, reference);
        if (spb != c.timing.samples_per_bit && !(difference <= worst)) {
            worst = difference;
            worst_at = std::to_string(spb);
        }
    }
    const std::string detail = "AMI_Init's pulse response: largest difference from " +
                               std::to_string(c.timing.samples_per_bit) +
                               " samples per bit at " + worst_at + " (of 8, 16, 32, 33)";
    CheckResult r = measured("samples_per_bit", worst <= kSamplesPerBitWarn ? CheckStatus::Pass : CheckStatus::Warn,
                             worst, "relative", detail);
    r.curves = std::move(curves);
    return {r};
}

} // namespace ami_host::check
