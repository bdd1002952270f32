// Writing the model checks' results.
#include "check/check_report.h"

#include "base/host_error.h"
#include "check/check_thresholds.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <fstream>

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

std::string figure_text(const CheckResult &r)
{
    if (!r.has_figure)
        return "";
    if (!std::isfinite(r.figure))
        return "inf " + r.unit;
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, r.figure, std::chars_format::general, 3).ptr;
    return std::string(text, end) + (r.unit.empty() ? "" : " " + r.unit);
}

std::string padded(const std::string &text, size_t width)
{
    return text.size() >= width ? text + " " : text + std::string(width - text.size(), ' ');
}

} // namespace

nlohmann::ordered_json check_result_json(const CheckResult &result, bool mark_unfinite_figure)
{
    const bool finite = std::isfinite(result.figure);
    nlohmann::ordered_json entry = {{"name", result.name}, {"status", status_name(result.status)}};
    entry["figure"] = result.has_figure && finite ? nlohmann::ordered_json(result.figure) : nullptr;
    entry["unit"] = result.unit;
    entry["detail"] = result.detail;
    entry["curves"] = nlohmann::ordered_json::array();
    for (const CheckCurve &curve : result.curves)
        entry["curves"].push_back({{"label", curve.label}, {"step", curve.step}, {"values", curve.values}});
    if (mark_unfinite_figure && result.has_figure && !finite)
        entry["figure_not_finite"] = true;
    return entry;
}

CheckResult check_result_from_json(const nlohmann::ordered_json &entry)
{
    CheckResult result;
    result.name = entry.at("name");
    const std::string status = entry.at("status");
    for (CheckStatus s : {CheckStatus::Pass, CheckStatus::Warn, CheckStatus::Fail, CheckStatus::Skip})
        if (status == status_name(s))
            result.status = s;
    const nlohmann::ordered_json &figure = entry.at("figure");
    result.has_figure = !figure.is_null() || entry.value("figure_not_finite", false);
    if (result.has_figure)
        result.figure = figure.is_null() ? INFINITY : figure.get<double>();
    result.unit = entry.at("unit");
    result.detail = entry.at("detail");
    for (const nlohmann::ordered_json &curve : entry.at("curves")) {
        result.curves.push_back({curve.at("label"), curve.at("step"), {}});
        for (const nlohmann::ordered_json &value : curve.at("values"))
            result.curves.back().values.push_back(value.is_null() ? NAN : value.get<double>());
    }
    return result;
}

nlohmann::ordered_json check_report_json(const CheckSubject &subject, const std::vector<CheckResult> &results)
{
    nlohmann::ordered_json report;
    report["model"] = {{"library", subject.library}, {"ami", subject.ami}, {"side", subject.side}};
    report["checks"] = nlohmann::ordered_json::array();
    nlohmann::ordered_json summary = {{"pass", 0}, {"warn", 0}, {"fail", 0}, {"skip", 0}};
    for (const CheckResult &r : results) {
        report["checks"].push_back(check_result_json(r));
        report["checks"].back()["threshold"] = check_threshold(r.name);
        summary[status_name(r.status)] = summary[status_name(r.status)].get<int>() + 1;
    }
    report["summary"] = summary;
    return report;
}

void write_check_json(const std::string &path, const CheckSubject &subject, const std::vector<CheckResult> &results)
{
    std::ofstream out(path);
    out << check_report_json(subject, results).dump(2) << "\n";
    if (!out)
        throw Error("cannot write " + path);
}

void print_check_table(std::ostream &out, const std::vector<CheckResult> &results)
{
    size_t name_width = 5;
    for (const CheckResult &r : results)
        name_width = std::max(name_width, r.name.size());
    out << padded("check", name_width + 2) << padded("result", 8) << padded("figure", 20) << "detail\n";
    int counts[4] = {};
    for (const CheckResult &r : results) {
        out << padded(r.name, name_width + 2) << padded(status_name(r.status), 8) << padded(figure_text(r), 20)
            << r.detail << "\n";
        ++counts[static_cast<int>(r.status)];
    }
    out << counts[0] << " pass, " << counts[1] << " warn, " << counts[2] << " fail, " << counts[3] << " skipped\n";
}

bool any_failed(const std::vector<CheckResult> &results)
{
    return std::any_of(results.begin(), results.end(),
                       [](const CheckResult &r) { return r.status == CheckStatus::Fail; });
}

} // namespace ami_host
