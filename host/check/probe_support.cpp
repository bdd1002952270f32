// The probes' shared pieces: results, figures, curves and AMI_Init calls.
#include "check/check_probes.h"

#include "base/text.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace ami_host::check {

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
    return four_digits(value);
}

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

InitCall init_or_throw(DrivenInstance &instance, const Timing &timing, const std::vector<double> &impulse,
                       const std::string &parameters)
{
    InitCall call = instance.init(impulse, timing, &parameters);
    if (call.status == 0)
        throw std::runtime_error("AMI_Init returned 0: " + call.message);
    return call;
}

std::vector<double> init_impulse(const Context &c, const ModelLibrary &library, const Timing &timing,
                                 const std::vector<double> &impulse)
{
    DrivenInstance instance(library, c.ami);
    return init_or_throw(instance, timing, impulse, parameter_text(c.ami)).impulse;
}

bool numeric(const AmiParameter &p)
{
    return p.settable() && (p.type == ValueType::Integer || p.type == ValueType::Float) &&
           (p.format == Format::Range || p.format == Format::List) && !p.format_values.empty();
}

} // namespace ami_host::check
