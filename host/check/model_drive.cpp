// The checks' model driver and stimuli.
#include "check/model_drive.h"

#include "statistical/worst_case_eye.h"
#include "model/parameter_string.h"
#include "time_domain/prbs.h"

#include <sys/mman.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

namespace ami_host::check {

namespace {

// What the clock_times slots hold before each call: a value no model writes.
constexpr double kUntouched = -7.25e300;
// Slots after the wave_size + 1, watched for writes: enough that a model
// overrunning by a block of clock times lands in them rather than in the
// host's heap.
constexpr long kGuardSlots = 4096;

bool untouched(double value) { return std::memcmp(&value, &kUntouched, sizeof value) == 0; }

// The shared record of entry_point_in_call: a name of at most 15 characters.
char *entry_point_record()
{
    static char *const record = [] {
        void *page = mmap(nullptr, 16, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
        if (page == MAP_FAILED)
            throw std::runtime_error("cannot map memory to share with the checks' child processes");
        return static_cast<char *>(page);
    }();
    return record;
}

// Records the entry point for the length of one call.
class InCall {
public:
    explicit InCall(const char *entry_point) { std::strncpy(entry_point_record(), entry_point, 15); }
    ~InCall() { clear_entry_point_in_call(); }
    InCall(const InCall &) = delete;
    InCall &operator=(const InCall &) = delete;
};

} // namespace

std::string entry_point_in_call() { return entry_point_record(); }

void clear_entry_point_in_call() { entry_point_record()[0] = '\0'; }

std::vector<double> WaveRun::clock_times() const
{
    std::vector<double> all;
    for (const ClockCall &call : calls)
        all.insert(all.end(), call.times.begin(), call.times.end());
    return all;
}

DrivenInstance::~DrivenInstance()
{
    if (memory_ != nullptr) {
        const InCall in_call("AMI_Close");
        library_.close()(memory_);
    }
}

InitCall DrivenInstance::init(std::vector<double> impulse, const Timing &timing, const std::string *parameters)
{
    char *parameters_in = nullptr;
    if (parameters != nullptr) {
        parameters_.assign(parameters->begin(), parameters->end());
        parameters_.push_back('\0');
        parameters_in = parameters_.data();
    }
    char *parameters_out = nullptr;
    char *message = nullptr;
    InitCall call;
    const InCall in_call("AMI_Init");
    call.status = library_.init()(impulse.data(), static_cast<long>(impulse.size()), 0, timing.sample_interval(),
                                  timing.bit_time, parameters_in, &parameters_out, &memory_, &message);
    call.impulse = std::move(impulse);
    if (message != nullptr)
        call.message = message;
    call.has_parameters_out = parameters_out != nullptr;
    if (parameters_out != nullptr)
        call.parameters_out = parameters_out;
    return call;
}

ClockCall DrivenInstance::get_wave(double *wave, long size, std::string &parameters_out_problem)
{
    std::vector<double> slots(static_cast<size_t>(size + 1 + kGuardSlots), kUntouched);
    char *parameters_out = nullptr;
    {
        const InCall in_call("AMI_GetWave");
        if (library_.get_wave()(wave, size, slots.data(), &parameters_out, memory_) == 0)
            throw std::runtime_error("AMI_GetWave returned 0");
    }
    if (parameters_out != nullptr && parameters_out_problem.empty()) {
        try {
            const AmiNode root = parse_ami_syntax(parameters_out, "AMI_GetWave's output parameters");
            if (root.name != ami_.root)
                parameters_out_problem = "AMI_GetWave's output parameters open with '" + root.name + "', not '" +
                                         ami_.root + "'";
        } catch (const std::exception &e) {
            parameters_out_problem = e.what();
        }
    }
    ClockCall call;
    call.touched = !untouched(slots[0]);
    for (long i = 0; i <= size; ++i) {
        if (slots[static_cast<size_t>(i)] == -1.0) {
            call.terminated = true;
            break;
        }
        if (untouched(slots[static_cast<size_t>(i)]))
            break;
        call.times.push_back(slots[static_cast<size_t>(i)]);
    }
    const auto last_written =
        std::find_if(slots.rbegin(), slots.rend() - size - 1, [](double v) { return !untouched(v); });
    call.past_end = slots.rend() - size - 1 - last_written;
    return call;
}

WaveRun DrivenInstance::run(const std::vector<double> &input, long block_size)
{
    WaveRun run;
    run.output = input;
    const long total = static_cast<long>(input.size());
    for (long start = 0; start < total; start += block_size) {
        const long size = std::min(block_size, total - start);
        run.calls.push_back(get_wave(run.output.data() + start, size, run.parameters_out_problem));
    }
    return run;
}

std::string parameter_text(const AmiFile &ami, const std::vector<std::pair<std::string, std::string>> &values)
{
    std::vector<std::string> chosen;
    for (const AmiParameter &p : ami.model_specific) {
        chosen.push_back(p.default_value);
        for (const auto &[name, given] : values)
            if (name == p.dotted_name())
                chosen.back() = given;
    }
    return write_parameter_string(ami, chosen);
}

std::vector<double> channel_impulse(const Timing &timing, long samples)
{
    const double dt = timing.sample_interval();
    const double sigma = timing.bit_time / 3.0;
    std::vector<double> impulse(static_cast<size_t>(samples));
    double area = 0.0;
    for (long i = 0; i < samples; ++i) {
        const double x = (static_cast<double>(i) * dt - timing.bit_time) / sigma;
        impulse[static_cast<size_t>(i)] = std::exp(-0.5 * x * x);
        area += impulse[static_cast<size_t>(i)] * dt;
    }
    for (double &v : impulse)
        v /= area;
    return impulse;
}

std::vector<double> pulse_of(const std::vector<double> &impulse, const Timing &timing)
{
    return pulse_response(impulse, timing.samples_per_bit, timing.sample_interval());
}

std::vector<double> data_wave(const Timing &timing, long bits)
{
    const long spb = timing.samples_per_bit;
    const std::vector<double> channel = channel_impulse(timing, 4 * spb);
    std::vector<double> nrz(static_cast<size_t>(bits * spb));
    PrbsSource prbs(7);
    for (long b = 0; b < bits; ++b)
        std::fill_n(nrz.begin() + b * spb, spb, prbs.next() ? 0.5 : -0.5);
    // The line rests at -0.5 V before the first bit.
    std::vector<double> wave(nrz.size());
    for (size_t n = 0; n < nrz.size(); ++n) {
        double sum = 0.0;
        for (size_t k = 0; k < channel.size(); ++k)
            sum += channel[k] * (n >= k ? nrz[n - k] : -0.5);
        wave[n] = sum * timing.sample_interval();
    }
    return wave;
}

double relative_difference(const std::vector<double> &a, const std::vector<double> &b)
{
    if (a.size() != b.size())
        return INFINITY;
    double largest = 0.0, difference = 0.0;
    for (size_t i = 0; i < a.size(); ++i) {
        if (!std::isfinite(a[i]) || !std::isfinite(b[i]))
            return INFINITY;
        largest = std::max(largest, std::fabs(b[i]));
        difference = std::max(difference, std::fabs(a[i] - b[i]));
    }
    return largest > 0.0 ? difference / largest : difference;
}

} // namespace ami_host::check
