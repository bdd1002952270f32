// The statistical eye of a run and how it is reported.
#include "statistical/ber_analysis.h"

#include "statistical/worst_case_eye.h"
#include "statistical/ber_eye_json.h"

#include <chrono>
#include <cstdio>
#include <ostream>

namespace ami_host {

BerAnalysis analyse_ber(const StageResponse &after_rx, const std::vector<std::vector<double>> &aggressors,
                        const Impairments &impairments, double bit_time, double sample_interval, int samples_per_bit,
                        double target_ber, const std::function<void(double)> &progress)
{
    StatEyeInput input;
    input.pulse = after_rx.pulse;
    for (const std::vector<double> &impulse : aggressors)
        input.crosstalk.push_back(pulse_response(impulse, samples_per_bit, sample_interval));
    input.samples_per_bit = samples_per_bit;
    input.sample_interval = sample_interval;
    // Phase 0 where the host's own clock samples: the worst-case eye's middle.
    input.phase_origin = after_rx.metrics.sampling_position;
    apply_impairments(input, impairments, bit_time);
    input.target_ber = target_ber;
    input.progress = progress;
    const auto started = std::chrono::steady_clock::now();
    BerAnalysis analysis{impairments, analyse_stat_eye(input)};
    analysis.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return analysis;
}

void add_ber_json(nlohmann::ordered_json &report, const BerAnalysis &analysis, double bit_time)
{
    report["statistical_eye"] = stat_eye_json(analysis.eye);
    report["timing"]["statistical_eye_seconds"] = analysis.seconds;
    report["impairments"] = impairments_json(analysis.impairments, bit_time);
}

namespace {

std::string impairment_text(const ImpairmentValue &v, double bit_time)
{
    char text[96];
    if (v.is_time)
        std::snprintf(text, sizeof text, "%s %.4g UI (%.4g s)", v.name.c_str(), v.time.ui(bit_time),
                      v.time.seconds(bit_time));
    else
        std::snprintf(text, sizeof text, "%s %.4g %s", v.name.c_str(), v.number,
                      v.name.ends_with("_Frequency") ? "Hz" : "V");
    return text;
}

} // namespace

void print_ber(const BerAnalysis &analysis, double bit_time, std::ostream &out)
{
    const StatEyeResult &r = analysis.eye;
    char line[200];
    std::snprintf(line, sizeof line, "Statistical eye at BER %g (after Rx, with jitter and noise):\n", r.target_ber);
    out << line << "  impairments:";
    const std::vector<ImpairmentValue> values = nonzero_impairments(analysis.impairments);
    if (values.empty())
        out << " none";
    for (size_t i = 0; i < values.size(); ++i)
        out << (i == 0 ? " " : ", ") << impairment_text(values[i], bit_time);
    out << '\n';
    if (r.open)
        std::snprintf(line, sizeof line, "  eye height %.4g V, width %.3f UI (from %.3f to %.3f UI)\n", r.eye_height,
                      r.eye_width, r.eye_left, r.eye_right);
    else
        std::snprintf(line, sizeof line, "  eye closed at this ratio\n");
    out << line;
    std::snprintf(line, sizeof line, "  BER at the sampling point (%+.3f UI from the ideal clock's): %.3g\n",
                  r.sampling_phase, r.ber_at_sampling_point);
    out << line;
    if (r.folded_cursors > 0) {
        std::snprintf(line, sizeof line,
                      "  %zu smallest cursors folded into a Gaussian: they move no level by more than %.3g V\n",
                      r.folded_cursors, r.fold_bound);
        out << line;
    }
}

} // namespace ami_host
