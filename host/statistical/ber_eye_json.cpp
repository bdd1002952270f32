// The statistical eye as JSON.
#include "statistical/ber_eye_json.h"

#include <algorithm>
#include <cmath>

namespace ami_host {

namespace {

using Json = nlohmann::json;

Json number(double v) { return std::isfinite(v) ? Json(v) : Json(nullptr); }

Json numbers(const std::vector<double> &values, const std::vector<size_t> &picked)
{
    Json out = Json::array();
    for (size_t i : picked)
        out.push_back(number(values[i]));
    return out;
}

// Rounded to a thousandth, which keeps the file small and every picture as it was.
double log_ber(double ber)
{
    const double l = ber > 0.0 ? std::max(std::log10(ber), kLog10BerFloor) : kLog10BerFloor;
    return std::round(l * 1000.0) / 1000.0;
}

Json log_bers(const std::vector<double> &bers, const std::vector<size_t> &picked)
{
    Json out = Json::array();
    for (size_t i : picked)
        out.push_back(log_ber(bers[i]));
    return out;
}

// Every stride-th threshold, symmetric about the middle one (0 V).
std::vector<size_t> written_thresholds(size_t count)
{
    const size_t stride = std::max<size_t>(1, (count + kWrittenThresholds - 1) / kWrittenThresholds);
    std::vector<size_t> picked;
    for (size_t t = (count / 2) % stride; t < count; t += stride)
        picked.push_back(t);
    return picked;
}

std::vector<size_t> all(size_t count)
{
    std::vector<size_t> picked(count);
    for (size_t i = 0; i < count; ++i)
        picked[i] = i;
    return picked;
}

} // namespace

Json stat_eye_json(const StatEyeResult &r)
{
    const std::vector<size_t> thresholds = written_thresholds(r.threshold.size());
    const std::vector<size_t> phases = all(r.phase.size());
    Json grid = Json::array();
    std::vector<double> row(r.threshold.size());
    for (size_t p = 0; p < r.phase.size(); ++p) {
        for (size_t t = 0; t < row.size(); ++t)
            row[t] = ber_at(r, p, t);
        grid.push_back(log_bers(row, thresholds));
    }
    Json contours = Json::array();
    for (const EyeContour &c : r.contours)
        contours.push_back({{"ber", c.ber}, {"upper", numbers(c.upper, phases)}, {"lower", numbers(c.lower, phases)}});
    return Json{{"target_ber", r.target_ber},
                {"open", r.open},
                {"height", r.eye_height},
                {"width_ui", r.eye_width},
                {"left_ui", r.eye_left},
                {"right_ui", r.eye_right},
                {"bit_time", r.bit_time},
                {"cursor_time", r.cursor_time},
                {"main_cursor", r.main_cursor},
                {"sampling_phase_ui", r.sampling_phase},
                {"ber_at_sampling_point", r.ber_at_sampling_point},
                {"folded_cursors", r.folded_cursors},
                {"fold_bound", r.fold_bound},
                {"log10_floor", kLog10BerFloor},
                {"phase_ui", r.phase},
                {"threshold", numbers(r.threshold, thresholds)},
                {"log10_ber", grid},
                {"contours", contours},
                {"horizontal_bathtub", {{"phase_ui", r.phase}, {"log10_ber", log_bers(r.horizontal_bathtub, phases)}}},
                {"vertical_bathtub",
                 {{"threshold", numbers(r.threshold, thresholds)},
                  {"log10_ber", log_bers(r.vertical_bathtub, thresholds)}}}};
}

Json impairments_json(const Impairments &impairments, double bit_time)
{
    Json out = Json::object();
    for (const ImpairmentValue &v : nonzero_impairments(impairments)) {
        if (v.is_time)
            out[v.name] = {{"ui", v.time.ui(bit_time)}, {"seconds", v.time.seconds(bit_time)}};
        else
            out[v.name] = v.number;
    }
    return out;
}

} // namespace ami_host
