// The checks of AMI_GetWave: a data run with its clock times, block sizes,
// AMI_Init against AMI_GetWave, instances side by side and odd timing.
#include "check/check_probes.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace ami_host::check {

namespace {

WaveRun data_run(const Context &c, const ModelLibrary &library, long block_size)
{
    DrivenInstance instance(library, c.ami);
    init_or_throw(instance, c.timing, c.impulse(), parameter_text(c.ami));
    return instance.run(data_wave(c.timing, c.options.bits), block_size);
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

} // namespace

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
        worst = std::max(worst, relative_difference(run.output, whole.output));
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
        const std::vector<double> data = data_wave(c.timing, preamble / spb);
        std::copy(data.begin(), data.end(), without.begin());
    }
    std::vector<double> with = without;
    const std::vector<double> channel_pulse = pulse_of(channel, c.timing);
    for (size_t i = 0; i < channel_pulse.size(); ++i)
        with[static_cast<size_t>(preamble + quiet) + i] += channel_pulse[i];
    auto output = [&](const std::vector<double> &input) {
        DrivenInstance instance(library, c.ami);
        init_or_throw(instance, c.timing, channel, parameter_text(c.ami));
        return instance.run(input, 1000).output;
    };
    const std::vector<double> a = output(with), b = output(without);
    std::vector<double> from_getwave(static_cast<size_t>(c.row_size));
    for (size_t i = 0; i < from_getwave.size(); ++i)
        from_getwave[i] = a[static_cast<size_t>(preamble + quiet) + i] - b[static_cast<size_t>(preamble + quiet) + i];
    const std::vector<double> from_init = pulse_of(init_impulse(c, library, c.timing, channel), c.timing);
    const double difference = relative_difference(from_getwave, from_init);
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

std::vector<CheckResult> check_instances(const Context &c, const ModelLibrary &library)
{
    const std::vector<double> input = data_wave(c.timing, c.options.bits);
    const auto settings = other_setting(c.ami);
    const std::string text_a = parameter_text(c.ami), text_b = parameter_text(c.ami, settings);
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
                     std::max(relative_difference(a_out, a_alone.output),
                              relative_difference(b_out, b_alone.output)),
                     "relative", which + " interleaved differ from each alone: the instances share state")};
}

std::vector<CheckResult> check_odd_timing(const Context &c, const ModelLibrary &library)
{
    Timing timing;
    timing.bit_time = 123.4e-12;
    timing.samples_per_bit = 7;
    DrivenInstance instance(library, c.ami);
    const InitCall call = init_or_throw(instance, timing, channel_impulse(timing, 7 * 100 + 3),
                                        parameter_text(c.ami));
    const WaveRun run = instance.run(data_wave(timing, 200), 333);
    const auto all_finite = [](const std::vector<double> &values) {
        return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
    };
    const bool finite = all_finite(run.output) && all_finite(call.impulse);
    return {result("odd_timing", finite ? CheckStatus::Pass : CheckStatus::Fail,
                   std::string("7 samples per bit of 123.4 ps, a column of 703 samples, blocks of 333: ") +
                       (finite ? "finite output" : "output that is not finite"))};
}

} // namespace ami_host::check
