// The checks of AMI_GetWave: a data run with its clock times, block sizes,
// AMI_Init against AMI_GetWave, instances side by side and odd timing.
#include "check/check_probes.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace ami_host::check {

namespace {

WaveRun data_run(const Context &c, const ModelLibrary &library, long block_size)
{
    DrivenInstance instance(library, c.ami);
    init_or_throw(instance, c.timing, c.impulse(), parameter_text(c.ami));
    return instance.run(data_wave(c.timing, c.options.bits), block_size);
}

// getwave: whether the data run's output is finite and its output
// parameters parse.
bool finite(const std::vector<double> &values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

CheckResult getwave_verdict(const WaveRun &run)
{
    if (!finite(run.output))
        return result("getwave", CheckStatus::Fail, "AMI_GetWave wrote values that are not finite");
    if (!run.parameters_out_problem.empty())
        return result("getwave", CheckStatus::Fail, run.parameters_out_problem);
    return result("getwave", CheckStatus::Pass,
                  std::to_string(run.calls.size()) + " calls of 1000 samples, finite output");
}

// How the calls of a run wrote their clock times.
struct ClockWrites {
    long calls = 0;
    long unterminated = 0; // calls that wrote clock times with no -1 within the wave_size + 1 slots
    long overruns = 0;     // calls that wrote past those slots
    long farthest = 0;     // slots past them the farthest write reached
};

ClockWrites clock_writes(const WaveRun &run)
{
    ClockWrites writes;
    writes.calls = static_cast<long>(run.calls.size());
    for (const ClockCall &call : run.calls) {
        writes.unterminated += call.touched && !call.terminated;
        writes.overruns += call.past_end > 0;
        writes.farthest = std::max(writes.farthest, call.past_end);
    }
    return writes;
}

// clock_increasing and clock_rate, on clock times that end.
std::vector<CheckResult> clock_order_checks(const Context &c, const std::vector<double> &times)
{
    long out_of_order = 0;
    for (size_t i = 1; i < times.size(); ++i)
        out_of_order += !(times[i] > times[i - 1]);
    const double rate = static_cast<double>(times.size()) / static_cast<double>(c.options.bits);
    return {measured("clock_increasing", out_of_order ? CheckStatus::Fail : CheckStatus::Pass,
                     static_cast<double>(out_of_order), "pairs",
                     std::to_string(out_of_order) + " of " + std::to_string(times.size()) +
                         " clock times from AMI_GetWave do not follow the one before"),
            measured("clock_rate", std::fabs(rate - 1.0) <= kClockRateTolerance ? CheckStatus::Pass
                                                                                : CheckStatus::Warn,
                     rate, "clocks/UI",
                     std::to_string(times.size()) + " clock times over " + std::to_string(c.options.bits) +
                         " bits")};
}

CheckResult clock_bounds(const ClockWrites &w)
{
    std::string detail = std::to_string(w.overruns) + " of " + std::to_string(w.calls) +
                         " AMI_GetWave calls wrote past the wave_size + 1 slots of clock_times";
    if (w.overruns)
        detail += ", as far as " + std::to_string(w.farthest) + " slots past";
    return measured("clock_bounds", w.overruns ? CheckStatus::Fail : CheckStatus::Pass,
                    static_cast<double>(w.overruns), "calls", detail);
}

// The clock checks of kGetWaveRunChecks (all but getwave), on the data run.
// A model that writes no clock time (nothing, or the terminator alone) leaves
// the clock to the host, as a transmitter and a receiver without clock
// recovery do: only where the clock times go is judged then.
std::vector<CheckResult> clock_checks(const Context &c, const WaveRun &run)
{
    const ClockWrites w = clock_writes(run);
    const std::vector<double> times = run.clock_times();
    std::vector<CheckResult> results;
    results.push_back(measured("clock_terminated", w.unterminated ? CheckStatus::Fail : CheckStatus::Pass,
                               static_cast<double>(w.unterminated), "calls",
                               std::to_string(w.unterminated) + " of " + std::to_string(w.calls) +
                                   " AMI_GetWave calls left the clock times without a -1 within wave_size + 1 "
                                   "slots"));
    results.push_back(clock_bounds(w));
    if (w.unterminated == 0 && times.empty()) {
        for (const char *name : {"clock_increasing", "clock_rate"})
            results.push_back(result(name, CheckStatus::Pass, "the model writes no clock times"));
        return results;
    }
    if (w.unterminated) {
        results.push_back(result("clock_increasing", CheckStatus::Skip, "not measured: the clock times have no end"));
        results.push_back(result("clock_rate", CheckStatus::Skip, "not measured: the clock times have no end"));
        return results;
    }
    for (CheckResult &r : clock_order_checks(c, times))
        results.push_back(std::move(r));
    return results;
}

// The pulse response through AMI_GetWave: the output for data, then the line
// resting at the low level (-0.5 V) and one bit at the high level, less the
// output without that bit. Resting at a data level rather than at 0 V keeps a
// limiting amplifier where data drives it. Receivers see `preamble` samples of
// data first (their Ignore_Bits), so that their clock has settled.
std::vector<double> getwave_pulse(const Context &c, const ModelLibrary &library, long preamble)
{
    const long spb = c.timing.samples_per_bit;
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
    std::vector<double> pulse(static_cast<size_t>(c.row_size));
    for (size_t i = 0; i < pulse.size(); ++i)
        pulse[i] = a[static_cast<size_t>(preamble + quiet) + i] - b[static_cast<size_t>(preamble + quiet) + i];
    return pulse;
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

// The block size of instance_independence's runs.
constexpr long kInstanceBlock = 1000;

// Two instances, one with each parameter string, run side by side on
// `input`: each AMI_GetWave call of one followed by the same block's of the
// other.
std::pair<WaveRun, WaveRun> interleaved(const Context &c, const ModelLibrary &library,
                                        const std::vector<double> &input, const std::string &text_a,
                                        const std::string &text_b)
{
    DrivenInstance a(library, c.ami), b(library, c.ami);
    init_or_throw(a, c.timing, c.impulse(), text_a);
    init_or_throw(b, c.timing, c.impulse(), text_b);
    WaveRun a_run, b_run;
    a_run.output = b_run.output = input;
    for (size_t start = 0; start < input.size(); start += kInstanceBlock) {
        const long size = static_cast<long>(std::min<size_t>(kInstanceBlock, input.size() - start));
        for (auto [instance, run] : {std::pair{&a, &a_run}, std::pair{&b, &b_run}})
            run->calls.push_back(instance->get_wave(run->output.data() + start, size, run->parameters_out_problem));
    }
    return {std::move(a_run), std::move(b_run)};
}

bool same_run(const WaveRun &a, const WaveRun &b)
{
    return identical(a.output, b.output) && identical(a.clock_times(), b.clock_times());
}

// The first of two instances run alone on `input` after the second's AMI_Init.
WaveRun after_other_init(const Context &c, const ModelLibrary &library, const std::vector<double> &input,
                         const std::string &text_a, const std::string &text_b)
{
    DrivenInstance a(library, c.ami), b(library, c.ami);
    init_or_throw(a, c.timing, c.impulse(), text_a);
    init_or_throw(b, c.timing, c.impulse(), text_b);
    return a.run(input, kInstanceBlock);
}

} // namespace

std::vector<CheckResult> check_getwave_run(Context &c, const ModelLibrary &library)
{
    const WaveRun run = data_run(c, library, 1000);
    c.found.getwave_output = finite(run.output);
    std::vector<CheckResult> results = {getwave_verdict(run)};
    for (CheckResult &r : clock_checks(c, run))
        results.push_back(std::move(r));
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
                     "AMI_GetWave in blocks of " + differing + " samples changes the output or the clock times")};
}

std::vector<CheckResult> check_init_vs_getwave(const Context &c, const ModelLibrary &library)
{
    const long spb = c.timing.samples_per_bit;
    const long preamble = std::min(c.ami.ignore_bits(), 4000L) * spb;
    const std::vector<double> from_getwave = getwave_pulse(c, library, preamble);
    const std::vector<double> from_init = pulse_of(init_impulse(c, library, c.timing, c.impulse()), c.timing);
    const double difference = relative_difference(from_getwave, from_init);
    // A nonlinear model's response to an isolated bit depends on the levels
    // around it, so a difference is only a warning there.
    const bool nonlinear = c.found.init_nonlinear;
    const CheckStatus status = difference <= kInitGetWaveLimit                 ? CheckStatus::Pass
                               : difference <= kInitGetWaveWarn || nonlinear ? CheckStatus::Warn
                                                                             : CheckStatus::Fail;
    CheckResult r = measured("init_vs_getwave", status, difference, "relative",
                             "pulse response of AMI_GetWave (an isolated bit after " + std::to_string(preamble / spb) +
                                 " bits of data) against AMI_Init's" +
                                 (nonlinear && status == CheckStatus::Warn ? "; AMI_Init is nonlinear" : ""));
    r.curves = {curve("AMI_Init", c.timing, from_init), curve("AMI_GetWave", c.timing, from_getwave)};
    return {r};
}

std::vector<CheckResult> check_instances(const Context &c, const ModelLibrary &library)
{
    const std::vector<double> input = data_wave(c.timing, c.options.bits);
    const auto settings = other_setting(c.ami);
    const std::string text_a = parameter_text(c.ami), text_b = parameter_text(c.ami, settings);
    auto alone = [&](const std::string &text) {
        DrivenInstance instance(library, c.ami);
        init_or_throw(instance, c.timing, c.impulse(), text);
        return instance.run(input, kInstanceBlock);
    };
    const WaveRun a_alone = alone(text_a), b_alone = alone(text_b);
    const auto [a, b] = interleaved(c, library, input, text_a, text_b);
    const std::string which = settings.empty() ? "two default instances"
                                               : "a default instance and one with " + settings[0].first + "=" +
                                                     settings[0].second;
    if (same_run(a, a_alone) && same_run(b, b_alone))
        return {result("instance_independence", CheckStatus::Pass,
                       which + " interleaved give what each gives alone")};
    const std::string how = same_run(after_other_init(c, library, input, text_a, text_b), a_alone)
                                ? " interleaved: one's AMI_GetWave calls change the other's output"
                                : ": the second's AMI_Init changes the first's AMI_GetWave output";
    return {measured("instance_independence", CheckStatus::Fail,
                     std::max(relative_difference(a.output, a_alone.output),
                              relative_difference(b.output, b_alone.output)),
                     "relative", which + how + "; the instances share state")};
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
    const std::string what = "7 samples per bit of 123.4 ps, a column of 703 samples, blocks of 333: ";
    if (!finite(call.impulse))
        return {result("odd_timing", CheckStatus::Fail, what + "AMI_Init returns values that are not finite")};
    if (!finite(run.output))
        return {result("odd_timing", CheckStatus::Fail, what + "AMI_GetWave writes values that are not finite")};
    return {result("odd_timing", CheckStatus::Pass, what + "finite output")};
}

} // namespace ami_host::check
