// The JSON report, the waveform data for the plotting script, and the
// summary printed on standard output.
#include "report.h"

#include "host_error.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <ostream>

namespace ami_host {

namespace {

using Json = nlohmann::ordered_json;

// A double for JSON: null when not finite (JSON has no NaN or infinity).
Json number(double value) { return std::isfinite(value) ? Json(value) : Json(nullptr); }

Json model_json(const ModelRecord &m)
{
    if (!m.present)
        return nullptr;
    Json values = Json::object();
    for (const auto &[name, value] : m.parameters.values)
        values[name] = value;
    return Json{{"library", m.library},
                {"ami_file", m.ami_file},
                {"root", m.root},
                {"ami_version", m.ami_version},
                {"parameters_in", m.parameters.text},
                {"values", values},
                {"init_return", m.init.status},
                {"init_message", m.init.message},
                {"parameters_out", m.init.parameters_out},
                {"ignore_bits", m.ignore_bits},
                {"getwave_used", m.getwave_used},
                {"getwave_parameters_out", m.getwave_parameters_out}};
}

Json statistical_json(const RunRecord &run)
{
    Json stages = Json::array();
    for (const StageResponse &s : run.statistical.stages) {
        const PulseMetrics &m = s.metrics;
        stages.push_back({{"name", s.name},
                          {"main_cursor", number(m.main_cursor)},
                          {"cursor_time", number(m.cursor_time)},
                          {"isi", number(m.isi)},
                          {"eye_height", number(m.eye_height)},
                          {"peak", number(m.peak)},
                          {"eye_width", number(m.eye_width)},
                          {"eye_width_ui", number(m.eye_width / run.bit_time)},
                          {"eye_open", m.eye_height > 0.0}});
    }
    return Json{{"row_size", run.statistical.row_size}, {"stages", stages}};
}

Json time_domain_json(const RunRecord &run)
{
    if (!run.time_domain)
        return nullptr;
    const WaveformResult &w = run.waveform;
    Json clock{{"source", run.clock_from_model ? "model" : "ideal"},
               {"clocks", w.clocks},
               {"settled", w.settled},
               {"settle_time", w.settled ? number(w.settle_time) : Json(nullptr)},
               {"settle_bits", w.settled ? number(w.settle_time / run.bit_time) : Json(nullptr)},
               {"final_phase_ui", number(w.final_phase)},
               {"phase_spread_ui", number(w.phase_spread)}};
    return Json{{"clock", clock},
                {"latency_bits", w.latency_found ? Json(w.latency) : Json(nullptr)},
                {"latency_match", number(w.latency_match)},
                {"ignore_bits", run.ignore_bits},
                {"first_counted_time", number(w.first_counted_time)},
                {"bits_counted", w.bits_counted},
                {"bit_errors", w.bit_errors},
                {"clock_slips", w.clock_slips},
                {"eye_height", w.eye_valid ? number(w.eye_height) : Json(nullptr)},
                {"eye_width_ui", w.eye_valid ? number(w.eye_width) : Json(nullptr)},
                {"eye_width", w.eye_valid ? number(w.eye_width * run.bit_time) : Json(nullptr)},
                {"eye_open", w.eye_valid && w.eye_height > 0.0},
                {"getwave_calls", {{"tx", run.tx_calls}, {"rx", run.rx_calls}}}};
}

Json comparison_json(const RunRecord &run)
{
    if (!run.time_domain || !run.waveform.eye_valid || run.statistical.stages.empty())
        return nullptr;
    const WaveformResult &w = run.waveform;
    const double at_clock = run.statistical_eye_at_clock.value_or(NAN);
    const double linear = w.linear_eye_valid ? w.linear_eye_height : NAN;
    return Json{{"statistical_eye_height", number(run.statistical.stages.back().metrics.eye_height)},
                {"statistical_eye_at_clock", number(at_clock)},
                {"statistical_response_over_sent_bits", number(linear)},
                {"time_domain_eye_height", number(w.eye_height)},
                {"pattern_effect", number(linear - at_clock)},
                {"nonlinear_effect", number(w.eye_height - linear)},
                {"difference", number(w.eye_height - at_clock)}};
}

// The sample range that shows every stage's pulse response: from 4 bits
// before the first sample above 1/1000 of a stage's peak to 8 bits after the
// last one.
std::pair<size_t, size_t> response_window(const RunRecord &run)
{
    size_t first = SIZE_MAX, last = 0, size = 0;
    for (const StageResponse &s : run.statistical.stages) {
        size = s.pulse.size();
        double peak = 0.0;
        for (double v : s.pulse)
            peak = std::max(peak, std::fabs(v));
        for (size_t i = 0; i < s.pulse.size(); ++i) {
            if (std::fabs(s.pulse[i]) > 1e-3 * peak) {
                first = std::min(first, i);
                last = std::max(last, i);
            }
        }
    }
    if (first == SIZE_MAX)
        return {0, size};
    const size_t bit = static_cast<size_t>(run.samples_per_bit);
    return {first > 4 * bit ? first - 4 * bit : 0, std::min(size, last + 8 * bit)};
}

Json waveforms_json(const RunRecord &run)
{
    const auto [from, to] = response_window(run);
    Json responses = Json::array();
    for (const StageResponse &s : run.statistical.stages) {
        responses.push_back({{"name", s.name},
                             {"cursor_index", s.metrics.cursor_index},
                             {"impulse", std::vector<double>(s.impulse.begin() + static_cast<long>(from),
                                                             s.impulse.begin() + static_cast<long>(to))},
                             {"pulse", std::vector<double>(s.pulse.begin() + static_cast<long>(from),
                                                           s.pulse.begin() + static_cast<long>(to))}});
    }
    Json out{{"sample_interval", run.sample_interval},
             {"bit_time", run.bit_time},
             {"first_sample", from},
             {"responses", responses},
             {"eye", nullptr},
             {"clock", nullptr}};
    if (!run.time_domain)
        return out;
    const WaveformResult &w = run.waveform;
    if (w.eye_valid) {
        out["eye"] = {{"offset_ui", w.offset},
                      {"lowest_one", w.lowest_one},
                      {"highest_zero", w.highest_zero},
                      {"height", number(w.eye_height)},
                      {"width_ui", number(w.eye_width)},
                      {"left_ui", number(w.eye_left)},
                      {"right_ui", number(w.eye_right)},
                      {"bits", w.bits_counted},
                      {"density",
                       {{"times", w.density_times},
                        {"levels", w.density_levels},
                        {"low", w.density_low},
                        {"high", w.density_high},
                        {"counts", w.density}}}};
    }
    // At most 5000 points of the clock phase.
    const size_t stride = std::max<size_t>(1, (w.phase.size() + 4999) / 5000);
    std::vector<double> time, phase;
    for (size_t k = 0; k < w.phase.size(); k += stride) {
        time.push_back(w.clock_time[k]);
        phase.push_back(w.phase[k]);
    }
    out["clock"] = {{"time", time},
                    {"phase_ui", phase},
                    {"settled", w.settled},
                    {"settle_time", w.settled ? number(w.settle_time) : Json(nullptr)},
                    {"final_phase_ui", number(w.final_phase)},
                    {"tolerance_ui", run.settle_tolerance},
                    {"from_model", run.clock_from_model}};
    return out;
}

void write_json(const Json &json, const std::string &path)
{
    std::ofstream out(path);
    if (!out)
        throw Error("cannot write '" + path + "'");
    out << json.dump(1) << '\n';
    if (!out)
        throw Error("cannot write '" + path + "'");
}

std::string format(const char *pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string volts(double v) { return std::isfinite(v) ? format("%.4g V", v) : "n/a"; }

void print_messages(std::ostream &out, const std::string &who, const std::string &message)
{
    size_t start = 0;
    while (start < message.size()) {
        size_t end = message.find('\n', start);
        if (end == std::string::npos)
            end = message.size();
        if (end > start)
            out << "  " << who << ": " << message.substr(start, end - start) << '\n';
        start = end + 1;
    }
}

} // namespace

void write_report(const RunRecord &run, const std::string &dir)
{
    Json report{{"host", {{"program", "ami_host"}, {"bits", run.host_bits}}},
                {"settings",
                 {{"bit_rate", 1.0 / run.bit_time},
                  {"bit_time", run.bit_time},
                  {"samples_per_bit", run.samples_per_bit},
                  {"sample_interval", run.sample_interval},
                  {"prbs", run.prbs},
                  {"bits", run.bits},
                  {"block_size", run.block_size},
                  {"settle_tolerance_ui", run.settle_tolerance}}},
                {"channel",
                 {{"source", run.channel_source},
                  {"description", run.channel_description},
                  {"samples", run.channel_samples},
                  {"delay_removed", run.channel_delay_removed},
                  {"loss_at_nyquist_db", number(run.channel_loss_nyquist_db)}}},
                {"models", {{"tx", model_json(run.tx)}, {"rx", model_json(run.rx)}}},
                {"statistical", statistical_json(run)},
                {"time_domain", time_domain_json(run)},
                {"comparison", comparison_json(run)},
                {"timing", {{"seconds", run.seconds}}}};
    write_json(report, dir + "/report.json");
    write_json(waveforms_json(run), dir + "/waveforms.json");
}

void print_summary(const RunRecord &run, std::ostream &out)
{
    auto name = [](const ModelRecord &m) { return m.present ? m.root : std::string("none"); };
    out << "ami_host (" << run.host_bits << "-bit): Tx " << name(run.tx) << ", Rx " << name(run.rx) << ", "
        << format("%g Gb/s", 1e-9 / run.bit_time) << ", " << run.samples_per_bit << " samples per bit\n";
    out << "  channel: " << run.channel_description << '\n';
    out << "  channel loss at " << format("%g GHz", 0.5e-9 / run.bit_time) << " (half the bit rate): "
        << format("%.1f dB", -run.channel_loss_nyquist_db) << '\n';
    for (const ModelRecord *m : {&run.tx, &run.rx}) {
        if (!m->present)
            continue;
        out << "  " << m->side << " parameters: " << m->parameters.text << '\n';
        print_messages(out, m->side + " AMI_Init", m->init.message);
    }

    out << "Statistical flow: pulse response and worst-case eye (data of -0.5/+0.5 V)\n";
    char line[160];
    std::snprintf(line, sizeof line, "  %-10s %12s %12s %12s %10s\n", "stage", "main cursor", "ISI", "eye height",
                  "eye width");
    out << line;
    for (const StageResponse &s : run.statistical.stages) {
        const PulseMetrics &m = s.metrics;
        std::snprintf(line, sizeof line, "  %-10s %12s %12s %12s %7.3f UI  %s\n", s.name.c_str(),
                      volts(m.main_cursor).c_str(), volts(m.isi).c_str(), volts(m.eye_height).c_str(),
                      m.eye_width / run.bit_time, m.eye_height > 0.0 ? "open" : "closed");
        out << line;
    }

    if (!run.time_domain)
        return;
    const WaveformResult &w = run.waveform;
    out << "Time-domain flow: PRBS" << run.prbs << ", " << run.bits << " bits, AMI_GetWave blocks of "
        << run.block_size << " samples\n";
    if (!run.clock_from_model) {
        out << "  clock: ideal, at the statistical main cursor (the Rx gave no clock times)\n";
    } else if (w.settled) {
        out << "  recovered clock settled after " << format("%.0f bits", w.settle_time / run.bit_time) << " ("
            << format("%.4g ns", w.settle_time * 1e9) << "); sampling phase " << format("%.3f UI", w.final_phase)
            << ", then within " << format("%.3f UI", w.phase_spread) << " peak to peak\n";
    } else {
        out << "  recovered clock did not settle within " << format("%.3f UI", run.settle_tolerance)
            << " of its final phase\n";
    }
    if (w.latency_found) {
        out << "  latency " << w.latency << " bits; " << w.bits_counted << " bits compared, " << w.bit_errors
            << " bit errors, " << w.clock_slips << " clock slips\n";
    } else {
        out << "  no bits could be compared: the run ends within the first " << run.ignore_bits
            << " bits, which the models' Ignore_Bits leaves out, or before the clock settled\n";
    }
    if (w.eye_valid) {
        out << "  eye at the " << (run.clock_from_model ? "recovered " : "") << "clock: height " << volts(w.eye_height)
            << ", width "
            << format("%.3f UI", w.eye_width) << (w.eye_height > 0.0 ? " (open)" : " (closed)") << '\n';
    }
    if (run.statistical_eye_at_clock && w.eye_valid) {
        const double worst = *run.statistical_eye_at_clock;
        out << "Statistical vs time-domain eye height, at the clock's sampling instants:\n"
            << "  statistical worst case " << volts(worst);
        if (w.linear_eye_valid)
            out << "; statistical response over the bits sent " << volts(w.linear_eye_height);
        out << "; time domain " << volts(w.eye_height) << '\n';
        if (w.linear_eye_valid) {
            out << "  " << volts(w.linear_eye_height - worst) << " from the pattern (worst case vs the bits sent), "
                << volts(w.eye_height - w.linear_eye_height)
                << " from the models' nonlinearity (the time domain vs their linearised response)\n";
        }
    }
}

} // namespace ami_host
