// The model checks' report: a table for the terminal and check.json.
#pragma once

#include "check/check_result.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace ami_host {

// One check as check.json lists it: {name, status, figure, unit, detail,
// curves: [{label, step, values}...]}. The figure is null both when none was
// measured and when it is not finite; values that are not finite are null.
// `mark_unfinite_figure` adds "figure_not_finite": true where a measured
// figure is not finite, for a reader that must tell the two apart (the checks'
// child processes hand their results over in this form); check.json has no
// such mark.
nlohmann::ordered_json check_result_json(const CheckResult &result, bool mark_unfinite_figure = false);

// Reads an entry check_result_json wrote. A null figure is not measured
// unless the entry marks it not finite (it is then infinite); null values are
// NaN. Throws nlohmann::json::exception on an entry of another form.
CheckResult check_result_from_json(const nlohmann::ordered_json &entry);

// {"model": {library, ami, side}, "checks": [check_result_json... and the
// check's "threshold" in words],
// "summary": {pass, warn, fail, skip}}. plot_check.py beside this file draws
// the curves.
nlohmann::ordered_json check_report_json(const CheckSubject &subject, const std::vector<CheckResult> &results);

// Writes the report as JSON to `path`; throws Error when it cannot.
void write_check_json(const std::string &path, const CheckSubject &subject, const std::vector<CheckResult> &results);

// One line per check (name, result, figure with its unit, detail) and a
// closing count of each result.
void print_check_table(std::ostream &out, const std::vector<CheckResult> &results);

// Whether any check failed: the exit status of a check run.
bool any_failed(const std::vector<CheckResult> &results);

} // namespace ami_host
