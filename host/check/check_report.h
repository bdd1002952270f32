// The model checks' report: a table for the terminal and check.json.
#pragma once

#include "check/model_check.h"

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <vector>

namespace ami_host {

// {"model": {library, ami, side}, "checks": [{name, status, figure, unit,
// detail, curves: [{label, step, values}...]}...], "summary": {pass, warn,
// fail, skip}}; a figure that is not finite is null. plot_check.py beside
// this file draws the curves.
nlohmann::ordered_json check_report_json(const CheckSubject &subject, const std::vector<CheckResult> &results);

// Writes the report as JSON to `path`; throws Error when it cannot.
void write_check_json(const std::string &path, const CheckSubject &subject, const std::vector<CheckResult> &results);

// One line per check (name, result, figure with its unit, detail) and a
// closing count of each result.
void print_check_table(std::ostream &out, const std::vector<CheckResult> &results);

// Whether any check failed: the exit status of a check run.
bool any_failed(const std::vector<CheckResult> &results);

} // namespace ami_host
