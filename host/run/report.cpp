// The JSON report, the waveform data for the plotting script, and the
// summary printed on standard output.
#include "run/report.h"

#include "base/file_digest.h"
#include "base/host_error.h"

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
    Json values = Json::object(), sources = Json::object();
    for (size_t i = 0; i < m.parameters.values.size(); ++i) {
        const auto &[name, value] = m.parameters.values[i];
        values[name] = value;
        sources[name] = m.parameters.sources[i];
    }
    return Json{{"library", m.library},
                {"library_digest", digest_text(file_digest(m.library))},
                {"ami_file", m.ami_file},
                {"ami_digest", digest_text(file_digest(m.ami_file))},
                {"root", m.root},
                {"ami_version", m.ami_version},
                {"parameters_in", m.parameters.text},
                {"values", values},
                {"value_sources", sources},
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

Json clock_json(const RunRecord &run)
{
    const ClockResult &c = run.waveform.clock;
    return Json{{"source", run.clock_from_model ? "model" : "ideal"},
                {"clocks", c.clocks},
                {"settled", c.settled},
                {"lock_window_bits", c.lock_window},
                {"lock_losses", c.lock_losses},
                {"locked_at_end", c.locked_at_end},
                {"settle_time", c.settled ? number(c.settle_time) : Json(nullptr)},
                {"settle_bits", c.settled ? number(c.settle_time / run.bit_time) : Json(nullptr)},
                {"final_phase_ui", number(c.final_phase)},
                {"phase_spread_ui", number(c.phase_spread)}};
}

Json time_domain_json(const RunRecord &run)
{
    if (!run.time_domain)
        return nullptr;
    const DataResult &d = run.waveform.data;
    const EyeResult &e = run.waveform.eye;
    return Json{{"clock", clock_json(run)},
                {"latency_bits", d.latency_found ? Json(d.latency) : Json(nullptr)},
                {"latency_match", number(d.latency_match)},
                {"ignore_bits", run.ignore_bits},
                {"first_counted_time", number(d.first_counted_time)},
                {"bits_counted", d.bits_counted},
                {"bit_errors", d.bit_errors},
                {"clock_slips", d.clock_slips},
                {"eye_height", e.valid ? number(e.height) : Json(nullptr)},
                {"eye_top", e.valid ? number(e.top) : Json(nullptr)},
                {"eye_bottom", e.valid ? number(e.bottom) : Json(nullptr)},
                {"decision_threshold", 0.0},
                {"eye_width_ui", e.valid ? number(e.width) : Json(nullptr)},
                {"eye_width", e.valid ? number(e.width * run.bit_time) : Json(nullptr)},
                {"eye_open", e.valid && e.open},
                {"getwave_calls", {{"tx", run.tx_calls}, {"rx", run.rx_calls}}},
                {"fft_size", run.fft_size}};
}

Json comparison_json(const RunRecord &run)
{
    const EyeResult &e = run.waveform.eye;
    if (!run.time_domain || !e.valid || run.statistical.stages.empty())
        return nullptr;
    const double at_clock = run.statistical_eye_at_clock.value_or(NAN);
    const double linear = e.linear_valid ? e.linear_height : NAN;
    return Json{{"statistical_eye_height", number(run.statistical.stages.back().metrics.eye_height)},
                {"statistical_eye_at_clock", number(at_clock)},
                {"statistical_response_over_sent_bits", number(linear)},
                {"time_domain_eye_height", number(e.height)},
                {"pattern_effect", number(linear - at_clock)},
                {"nonlinear_effect", number(e.height - linear)},
                {"difference", number(e.height - at_clock)}};
}

Json crosstalk_json(const RunRecord &run)
{
    if (!run.crosstalk)
        return nullptr;
    const CrosstalkRecord &x = *run.crosstalk;
    Json aggressors = Json::array();
    for (size_t k = 0; k < x.aggressors.size(); ++k)
        aggressors.push_back({{"description", x.aggressors[k]},
                              {"notes", x.notes[k]},
                              {"peak_distortion", number(x.figures.peak_distortion[k])}});
    Json out{{"aggressors", aggressors},
             {"peak_distortion", number(x.figures.total)},
             {"statistical_eye_height_without", number(x.figures.eye_without)},
             {"statistical_eye_height_with", number(x.figures.eye_with)},
             {"time_domain_eye_height_without", nullptr},
             {"time_domain_eye_height_with", nullptr}};
    if (x.time_domain) {
        out["time_domain_eye_height_without"] = x.eye_without.valid ? number(x.eye_without.height) : Json(nullptr);
        out["time_domain_eye_height_with"] = run.waveform.eye.valid ? number(run.waveform.eye.height) : Json(nullptr);
    }
    return out;
}

// The magnitudes of a stage's pulse at whole bits from its main cursor
// (the terms of its ISI), with the sample of each.
std::vector<std::pair<size_t, double>> isi_terms(const StageResponse &s, size_t bit)
{
    std::vector<std::pair<size_t, double>> terms;
    const size_t cursor = s.metrics.cursor_index;
    for (size_t i = cursor % bit; i < s.pulse.size(); i += bit)
        if (i != cursor)
            terms.emplace_back(i, std::fabs(s.pulse[i]));
    return terms;
}

// The sample range of the pictures of the responses: for every stage, the
// bits around its main cursor that hold all but 1/1000 of its ISI (half of
// that before, half after), with two bits to spare on either side.
std::pair<size_t, size_t> response_window(const RunRecord &run)
{
    const size_t bit = static_cast<size_t>(run.samples_per_bit);
    size_t first = SIZE_MAX, last = 0, size = 0;
    for (const StageResponse &s : run.statistical.stages) {
        size = s.pulse.size();
        const auto terms = isi_terms(s, bit);
        double total = 0.0;
        for (const auto &term : terms)
            total += term.second;
        const double allowance = 0.0005 * total;
        size_t lo = s.metrics.cursor_index, hi = s.metrics.cursor_index;
        double before = 0.0, after = 0.0;
        for (const auto &[at, magnitude] : terms) // from the start: the precursors left out
            if (at < s.metrics.cursor_index && (before += magnitude) > allowance)
                lo = std::min(lo, at);
        for (auto t = terms.rbegin(); t != terms.rend(); ++t) // from the end: the tail left out
            if (t->first > s.metrics.cursor_index && (after += t->second) > allowance)
                hi = std::max(hi, t->first);
        first = std::min(first, lo > 2 * bit ? lo - 2 * bit : 0);
        last = std::max(last, hi + 2 * bit);
    }
    if (first == SIZE_MAX)
        return {0, size};
    return {first, std::min(size, last + 1)};
}

// The ISI of a stage that falls outside [from, to).
double isi_outside(const StageResponse &s, size_t bit, size_t from, size_t to)
{
    double outside = 0.0;
    for (const auto &[at, magnitude] : isi_terms(s, bit))
        if (at < from || at >= to)
            outside += magnitude;
    return outside;
}

// A time-domain eye with its traces' density, for the pictures.
Json eye_json(const EyeResult &e, const DensityResult &d, long bits)
{
    return {{"offset_ui", e.offset},
            {"lowest_one", e.lowest_one},
            {"highest_zero", e.highest_zero},
            {"height", number(e.height)},
            {"top", number(e.top)},
            {"bottom", number(e.bottom)},
            {"open", e.open},
            {"width_ui", number(e.width)},
            {"left_ui", number(e.left)},
            {"right_ui", number(e.right)},
            {"bits", bits},
            {"density",
             {{"times", d.times},
              {"levels", d.levels},
              {"low", d.low},
              {"high", d.high},
              {"clipped", d.clipped},
              {"counts", d.counts}}}};
}

Json waveforms_json(const RunRecord &run)
{
    const auto [from, to] = response_window(run);
    Json responses = Json::array();
    for (const StageResponse &s : run.statistical.stages) {
        responses.push_back({{"name", s.name},
                             {"cursor_index", s.metrics.cursor_index},
                             {"isi", number(s.metrics.isi)},
                             {"isi_outside", isi_outside(s, static_cast<size_t>(run.samples_per_bit), from, to)},
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
    if (run.waveform.eye.valid)
        out["eye"] = eye_json(run.waveform.eye, run.waveform.density, run.waveform.data.bits_counted);
    if (run.crosstalk && run.crosstalk->time_domain && run.crosstalk->eye_without.valid)
        out["eye_without_crosstalk"] =
            eye_json(run.crosstalk->eye_without, run.crosstalk->density_without, run.crosstalk->bits_without);
    const ClockResult &c = run.waveform.clock;
    out["clock"] = {{"time", c.trace.first_time},
                    {"phase_ui", c.trace.first_phase},
                    {"envelope",
                     {{"time", c.trace.bucket_time},
                      {"low_ui", c.trace.bucket_low},
                      {"high_ui", c.trace.bucket_high},
                      {"clocks_per_point", c.trace.clocks_per_bucket}}},
                    {"settled", c.settled},
                    {"settle_time", c.settled ? number(c.settle_time) : Json(nullptr)},
                    {"final_phase_ui", number(c.final_phase)},
                    {"tolerance_ui", run.settle_tolerance},
                    {"from_model", run.clock_from_model}};
    return out;
}

// Written under a temporary name and renamed, so that `path` is either
// complete or absent, never the start of a run that died while writing.
void write_json(const Json &json, const std::string &path)
{
    const std::string partial = path + ".partial";
    std::ofstream out(partial);
    out << json.dump(1) << '\n';
    out.close();
    if (!out || std::rename(partial.c_str(), path.c_str()) != 0) {
        std::remove(partial.c_str());
        throw Error("cannot write '" + path + "'");
    }
}

std::string format(const char *pattern, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string volts(double v) { return std::isfinite(v) ? format("%.4g V", v) : "n/a"; }

// Whether the loss at half the bit rate lies above the channel's data.
bool loss_extrapolated(const RunRecord &run)
{
    return run.channel_data_top > 0.0 && run.channel_data_top < 0.5 / run.bit_time;
}

// Characters the summary shows of a parameter string or a model's message;
// report.json keeps them whole.
constexpr size_t kSummaryCharacters = 200;

// Whether `byte` begins a UTF-8 character (rather than continuing one).
bool begins_character(char byte) { return (static_cast<unsigned char>(byte) & 0xC0) != 0x80; }

// `text` as the summary shows it: its first kSummaryCharacters characters,
// then how many more report.json holds.
std::string shortened(const std::string &text)
{
    size_t cut = 0;
    for (size_t characters = 0; cut < text.size(); ++cut)
        if (begins_character(text[cut]) && characters++ == kSummaryCharacters)
            break;
    if (cut == text.size())
        return text;
    const auto left_out = std::count_if(text.begin() + static_cast<long>(cut), text.end(), begins_character);
    return text.substr(0, cut) + " ... (" + std::to_string(left_out) + " more characters in report.json)";
}

void print_messages(std::ostream &out, const std::string &who, const std::string &whole_message)
{
    const std::string message = shortened(whole_message);
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

void print_clock(const RunRecord &run, std::ostream &out)
{
    const ClockResult &c = run.waveform.clock;
    if (!run.clock_from_model) {
        out << "  clock: ideal, at the middle of the statistical eye (the Rx gave no clock times)\n";
    } else if (c.settled) {
        out << "  recovered clock settled after " << format("%.0f bits", c.settle_time / run.bit_time) << " ("
            << format("%.4g ns", c.settle_time * 1e9) << "; its phase then stayed within "
            << format("%.3f UI", run.settle_tolerance) << " for " << c.lock_window
            << " bits without drifting through it); sampling phase "
            << format("%.3f UI", c.final_phase) << ", then within " << format("%.3f UI", c.phase_spread)
            << " peak to peak\n";
        if (c.lock_losses > 0)
            out << "  it lost lock " << c.lock_losses << (c.lock_losses == 1 ? " time" : " times")
                << " later (a phase more than " << format("%.3f UI", run.settle_tolerance)
                << " from the middle of its settled band) and settled again"
                << (c.locked_at_end ? "" : ", but not before the run ended") << "; bits are counted while settled\n";
        if (c.lock_losses > 0 && c.phase_spread > run.settle_tolerance) {
            // The loop's own wander rather than lost lock: say what tolerance takes it in.
            out << "  (once settled its phase wanders over " << format("%.3f UI", c.phase_spread) << ", wider than "
                << format("%.3f UI", run.settle_tolerance);
            const double enough = std::ceil(c.phase_spread * 100.0) / 100.0;
            if (enough <= 0.5)
                out << ": --settle-tolerance " << format("%.2f", enough) << " takes that as one settled stretch)\n";
            else
                out << ", and wider than any --settle-tolerance)\n";
        }
    } else {
        out << "  recovered clock did not settle in the run's " << run.bits << " bits: its phase never stayed within "
            << format("%.3f UI", run.settle_tolerance) << " for " << c.lock_window
            << " bits in a row without drifting through it\n";
    }
}

void print_data(const RunRecord &run, std::ostream &out)
{
    const DataResult &d = run.waveform.data;
    if (d.latency_found) {
        out << "  latency " << d.latency << " bits; " << d.bits_counted << " bits measured from "
            << format("%.0f bits", d.first_counted_time / run.bit_time) << " on, " << d.bit_errors << " bit errors, "
            << d.clock_slips << " clock slips\n";
    } else if (!run.waveform.clock.settled) {
        out << "  no bits measured: they are counted once the clock has settled\n";
    } else {
        out << "  no bits measured: the run ends within the first " << run.ignore_bits
            << " bits, which the models' Ignore_Bits leaves out, or just after the clock settled\n";
    }
}

void print_eye(const RunRecord &run, std::ostream &out)
{
    const EyeResult &e = run.waveform.eye;
    if (!e.valid)
        return;
    out << "  eye at the " << (run.clock_from_model ? "recovered " : "") << "clock: height " << volts(e.height);
    if (e.open) {
        out << ", width " << format("%.3f UI", e.width) << " (open about the 0 V threshold, from "
            << volts(e.bottom) << " to " << volts(e.top) << ")\n";
    } else if (e.height > 0.0) {
        out << " (closed: the opening from " << volts(e.bottom) << " to " << volts(e.top)
            << " does not hold the 0 V decision threshold)\n";
    } else {
        out << " (closed)\n";
    }
}

void print_crosstalk(const RunRecord &run, std::ostream &out)
{
    if (!run.crosstalk)
        return;
    const CrosstalkRecord &x = *run.crosstalk;
    out << "Crosstalk: " << x.aggressors.size()
        << (x.aggressors.size() == 1 ? " aggressor with its own pattern\n" : " aggressors, each with its own pattern\n");
    for (size_t k = 0; k < x.aggressors.size(); ++k) {
        out << "  " << x.aggressors[k] << ": peak distortion " << volts(x.figures.peak_distortion[k]) << '\n';
        for (const std::string &note : x.notes[k])
            out << "    " << note << '\n';
    }
    out << "  statistical eye height without crosstalk " << volts(x.figures.eye_without) << ", with "
        << volts(x.figures.eye_with) << '\n';
    if (!x.time_domain)
        return;
    out << "  time-domain eye height without crosstalk " << (x.eye_without.valid ? volts(x.eye_without.height) : "n/a")
        << ", with " << (run.waveform.eye.valid ? volts(run.waveform.eye.height) : "n/a") << '\n';
    // A limiting receiver squeezes the victim's swing but passes crosstalk
    // near the threshold, so the eye it draws can shrink far less than the
    // crosstalk costs.
    const double statistical_loss = x.figures.eye_without - x.figures.eye_with;
    if (x.eye_without.valid && run.waveform.eye.valid &&
        x.eye_without.height - run.waveform.eye.height < 0.5 * statistical_loss)
        out << "  the time-domain eye loses less than half of what the statistical eye loses to crosstalk ("
            << volts(statistical_loss) << "): a limiting receiver hides it there; judge crosstalk by the "
            << "statistical eye\n";
}

void print_comparison(const RunRecord &run, std::ostream &out)
{
    const EyeResult &e = run.waveform.eye;
    if (!run.statistical_eye_at_clock || !e.valid)
        return;
    const double worst = *run.statistical_eye_at_clock;
    out << "Statistical vs time-domain eye height, at the clock's sampling instants:\n"
        << "  statistical worst case " << volts(worst);
    if (e.linear_valid)
        out << "; statistical response over the bits sent " << volts(e.linear_height);
    out << "; time domain " << volts(e.height) << '\n';
    if (e.linear_valid) {
        out << "  " << volts(e.linear_height - worst) << " from the pattern (worst case vs the bits sent), "
            << volts(e.height - e.linear_height)
            << " from the models' nonlinearity (the time domain vs their linearised response)\n";
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
                  {"fft_size", run.fft_size},
                  {"settle_tolerance_ui", run.settle_tolerance}}},
                {"channel",
                 {{"source", run.channel_source},
                  {"description", run.channel_description},
                  {"samples", run.channel_samples},
                  {"delay_removed", run.channel_delay_removed},
                  {"insertion_loss_at_nyquist_db", number(run.channel_loss_nyquist_db)},
                  {"insertion_loss", {{"frequency", run.channel_loss_frequency}, {"loss_db", run.channel_loss_db}}},
                  {"insertion_loss_at_nyquist_extrapolated", loss_extrapolated(run)},
                  {"notes", run.channel_notes}}},
                {"crosstalk", crosstalk_json(run)},
                {"models", {{"tx", model_json(run.tx)}, {"rx", model_json(run.rx)}}},
                {"statistical", statistical_json(run)},
                {"time_domain", time_domain_json(run)},
                {"comparison", comparison_json(run)},
                {"timing", {{"seconds", run.seconds}}}};
    if (run.ber)
        add_ber_json(report, *run.ber, run.bit_time);
    write_json(report, dir + "/report.json");
    write_json(waveforms_json(run), dir + "/waveforms.json");
}

void remove_report(const std::string &dir)
{
    for (const char *name : {"report.json", "waveforms.json"})
        std::remove((dir + "/" + name).c_str());
}

void print_summary(const RunRecord &run, std::ostream &out)
{
    auto name = [](const ModelRecord &m) { return m.present ? m.root : std::string("none"); };
    out << "ami_host (" << run.host_bits << "-bit): Tx " << name(run.tx) << ", Rx " << name(run.rx) << ", "
        << format("%g Gb/s", 1e-9 / run.bit_time) << ", " << run.samples_per_bit << " samples per bit\n";
    out << "  channel: " << run.channel_description << '\n';
    out << "  channel loss at " << format("%g GHz", 0.5e-9 / run.bit_time) << " (half the bit rate): "
        << format("%.1f dB", std::fabs(run.channel_loss_nyquist_db) < 0.05 ? 0.0 : run.channel_loss_nyquist_db)
        << (loss_extrapolated(run) ? format(" (extrapolated: the data end at %g GHz)", run.channel_data_top / 1e9) : "")
        << '\n';
    for (const std::string &note : run.channel_notes)
        out << "  channel: " << note << '\n';
    for (const ModelRecord *m : {&run.tx, &run.rx}) {
        if (!m->present)
            continue;
        out << "  " << m->side << " parameters: " << shortened(m->parameters.text) << '\n';
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
    if (run.ber)
        print_ber(*run.ber, run.bit_time, out);

    if (!run.time_domain) {
        print_crosstalk(run, out);
        return;
    }
    out << "Time-domain flow: PRBS" << run.prbs << ", " << run.bits << " bits, AMI_GetWave blocks of "
        << run.block_size << " samples\n";
    print_clock(run, out);
    print_data(run, out);
    print_eye(run, out);
    print_comparison(run, out);
    print_crosstalk(run, out);
}

} // namespace ami_host
