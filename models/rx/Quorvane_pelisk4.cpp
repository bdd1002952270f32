// The receiver model's IBIS-AMI entry points: settings, CTLE, limiting
// amplifier, edge-rate filter and clock recovery, run over impulse responses
// and waveform blocks.
#include "Quorvane_pelisk4.h"

#include "lim_amp_curves.h"
#include "ami_patterns.h"
#include "bind_parameters.h"
#include "new_instance.h"
#include "rx_pipeline.h"
#include "samples_per_bit.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace {

using ami::Messages;

// Positions of the entries in the input tree and its clock_recovery branch.
enum InputEntry { kClockRecovery, kRxProcess, kEqConfig, kCouplingConfig, kInputEntries };
enum ClockEntry { kPhase, kStep, kCount, kClockEntries };

// Arguments of the clock recovery that no setting changes.
constexpr double kCdrFreqOffset = 0.0;
constexpr int kCdrHistoryLength = 1;
constexpr int kCdrLatency = 98;   // data ticks before a phase decision counts
constexpr int kCdrVote = 1;       // decisions per vote
constexpr double kCdrFeedback = 0.05;
constexpr double kCdrFlipTime = -1.0; // no decision is inverted

// Edge-rate filter rise time by RX_Process -1, 0, 1, seconds.
constexpr double kRiseTime[3] = {4e-11, 3e-11, 2e-11};

// Length over which the limiting amplifier acts on an impulse response: one
// PRBS7 period, and never fewer than 6 samples.
long prbs7_length(int samples_per_bit)
{
    const long period = 127L * samples_per_bit;
    return period < 6 ? 6 : period;
}

bool is_step(double step)
{
    return step == 0.0078125 || step == 0.015625 || step == 0.03125 || step == 0.0625 || step == 0.125;
}

bool is_count(int count)
{
    return count == 8 || count == 16 || count == 32;
}

// Declares a tree named `name` with `count` entries; the entries are filled
// by the caller.
bool declare(AmiTree &tree, const char *name, int count)
{
    auto *entries = static_cast<AmiEntry *>(std::calloc(static_cast<size_t>(count), sizeof(AmiEntry)));
    tree = {name, entries ? count : 0, entries};
    return entries != nullptr;
}

// A "clock_recovery" branch record, held by the entry that names it.
AmiTree *new_branch(AmiEntry &entry, int count)
{
    auto *branch = static_cast<AmiTree *>(std::calloc(1, sizeof(AmiTree)));
    entry = {"clock_recovery", AMI_TREE, {}};
    entry.value.tree = branch;
    if (branch != nullptr && !declare(*branch, "clock_recovery", count))
        return nullptr;
    return branch;
}

void set_entry(AmiEntry &entry, const char *name, double value)
{
    entry = {name, AMI_DOUBLE, {}};
    entry.value.d = value;
}

void set_entry(AmiEntry &entry, const char *name, int value)
{
    entry = {name, AMI_INT, {}};
    entry.value.i = value;
}

// The input tree with its defaults and the output tree with phase 0.
bool declare_trees(RxInstance *rx)
{
    if (!declare(rx->input_tree, "Quorvane_pelisk4", kInputEntries) ||
        !declare(rx->output_tree, "Quorvane_pelisk4", 1))
        return false;
    AmiEntry *in = rx->input_tree.entries;
    AmiTree *clock = new_branch(in[kClockRecovery], kClockEntries);
    AmiTree *out_clock = new_branch(rx->output_tree.entries[0], 1);
    if (clock == nullptr || out_clock == nullptr)
        return false;
    set_entry(clock->entries[kPhase], "phase", 0.0);
    set_entry(clock->entries[kStep], "step", 0.03125);
    set_entry(clock->entries[kCount], "count", 16);
    set_entry(in[kRxProcess], "RX_Process", 0);
    set_entry(in[kEqConfig], "EQ_Config", 0);
    set_entry(in[kCouplingConfig], "Coupling_Config", 0);
    set_entry(out_clock->entries[kPhase], "phase", 0.0);
    return true;
}

AmiEntry *clock_entries(const AmiTree &tree)
{
    return tree.entries[kClockRecovery].value.tree->entries;
}

// Replaces an invalid value by its default with a warning.
template <typename T>
void check(T &value, bool valid, T fallback, const char *warning, Messages &messages)
{
    if (valid)
        return;
    value = fallback;
    WarnPrt(messages.buffer, AMI_MESSAGE_CAPACITY, warning);
    messages.flush();
}

void validate_settings(RxInstance *rx, Messages &messages)
{
    AmiEntry *clock = clock_entries(rx->input_tree);
    AmiEntry *in = rx->input_tree.entries;
    double &phase = clock[kPhase].value.d;
    double &step = clock[kStep].value.d;
    int &count = clock[kCount].value.i;
    int &rx_process = in[kRxProcess].value.i;
    int &eq_config = in[kEqConfig].value.i;
    int &coupling = in[kCouplingConfig].value.i;
    check(phase, phase >= 0.0 && phase <= 1.0, 0.0, "Invalid clock_recovery_phase\n\n", messages);
    check(step, is_step(step), 0.03125, "Invalid clock_recovery_step\n\n", messages);
    check(count, is_count(count), 16, "Invalid clock_recovery_count\n\n", messages);
    check(rx_process, rx_process >= -1 && rx_process <= 1, 0, "Invalid RX_Process\n\n", messages);
    check(eq_config, eq_config >= 0 && eq_config <= 4, 0, "Invalid EQ_Config\n\n", messages);
    check(coupling, coupling == 0 || coupling == 1, 0, "Invalid Coupling_Config\n\n", messages);
    rx->rx_process = rx_process;
    rx->eq_config = eq_config;
    rx->coupling_config = coupling;
}

// Releases the blocks (each delete accepts a zero-filled record) and leaves
// them zero-filled.
void delete_blocks(RxInstance *rx)
{
    DeletePeakingFilter(rx->ctle);
    DeleteTable(rx->lim_amp);
    DeleteRiseFall(rx->rise_fall);
    DeleteAdvancedNerovaCDR(rx->cdr);
    rx->ctle = PeakingFilter{};
    rx->lim_amp = Table{};
    rx->rise_fall = RiseFall{};
    rx->cdr = AdvancedNerovaCDR{};
}

bool clock_recovery_built(const AdvancedNerovaCDR &cdr)
{
    return cdr.pd_history != nullptr; // every array of the loop is null when one failed
}

// Builds the four blocks. When any of them cannot be allocated, none is kept
// and an "**Error**" message says so.
bool build_blocks(RxInstance *rx, int samples_per_bit, Messages &messages)
{
    const AmiEntry *clock = clock_entries(rx->input_tree);
    rx->ctle = RxCTLEGetFilter(rx->sample_interval, messages.buffer, AMI_MESSAGE_CAPACITY);
    messages.flush();
    const quorvane::LimAmpCurves &curves = quorvane::lim_amp_curves();
    const int curve = lim_ampGetIndex(rx->rx_process);
    rx->lim_amp = SetTable(RX_LIM_AMP_POINTS, curves.in, curves.out[curve]);
    rx->rise_fall = SetRiseFall(rx->sample_interval, kRiseTime[rx->rx_process + 1]);
    rx->cdr = SetupAdvancedNerovaCDR("auto", clock[kStep].value.d, clock[kCount].value.i, kCdrFreqOffset,
                                     kCdrHistoryLength, kCdrLatency, kCdrVote, samples_per_bit, kCdrFeedback,
                                     kCdrFlipTime, messages.buffer, AMI_MESSAGE_CAPACITY);
    messages.flush();
    if (rx->ctle.config_count > 0 && rx->lim_amp.npts > 0 && rx->rise_fall.x_hist != nullptr &&
        clock_recovery_built(rx->cdr))
        return true;
    delete_blocks(rx);
    messages.add("**Error** Out of memory: the receiver's filters could not be built.\n");
    return false;
}

bool all_finite(const double *values, int count)
{
    for (int i = 0; i < count; ++i)
        if (!std::isfinite(values[i]))
            return false;
    return true;
}

// A sample interval far beyond the filters' time constants (or far below
// them) can leave coefficients that are not finite numbers, and then every
// output would be too: such timing is refused.
bool filters_finite(const RxInstance *rx, Messages &messages)
{
    const PeakingFilter &ctle = rx->ctle;
    bool finite = true;
    for (int c = 0; c < ctle.config_count && finite; ++c)
        finite = all_finite(ctle.forward_coefs[c], ctle.tap_count) &&
                 all_finite(ctle.feedback_coefs[c], ctle.tap_count - 1);
    const RiseFall &edge = rx->rise_fall;
    const double edge_coefficients[] = {edge.b0, edge.b1, edge.b2, edge.a1, edge.a2};
    finite = finite && all_finite(edge_coefficients, 5);
    if (!finite) {
        messages.add("**Error** Sample interval %lg out of range: the filters cannot be built with it.\n",
                      rx->sample_interval);
    }
    return finite;
}

// AMI_Init keeps the blocks only when all four were built; the table then
// holds its points.
bool blocks_built(const RxInstance *rx)
{
    return rx->lim_amp.npts > 0;
}

int ctle_config(const RxInstance *rx)
{
    return RxCTLEGetIndex(rx->rx_process, rx->eq_config);
}

bool all_zero(const double *samples, long count)
{
    for (long i = 0; i < count; ++i)
        if (samples[i] != 0.0)
            return false;
    return true;
}

// The limiting amplifier on a response of `length` samples (at least one
// PRBS7 period), in place: the response becomes one PRBS7 period, the curve
// acts on every sample, and the period goes back to a response. The
// conversions report a failed allocation only by an all-zero result, which a
// response that is not all zeros never gives otherwise. Returns false when
// memory ran out on the way.
bool limit_through_period(RxInstance *rx, double *response, int length, int samples_per_bit)
{
    const long period_length = 127L * samples_per_bit;
    auto *period = static_cast<double *>(std::malloc(sizeof(double) * static_cast<size_t>(period_length)));
    if (period == nullptr)
        return false;
    I2PRBS(period, response, length, samples_per_bit, rx->sample_interval);
    bool converted = all_zero(response, length) || !all_zero(period, period_length);
    ApplyTable(period, static_cast<int>(period_length), rx->lim_amp, period);
    PRBS2I(response, period, length, samples_per_bit, rx->sample_interval);
    converted = converted && (all_zero(period, period_length) || !all_zero(response, length));
    std::free(period);
    return converted;
}

// Equalizes one response of `length` samples in place: CTLE, then (through
// channel only) the limiting amplifier, then the edge-rate filter, leaving
// every filter empty. Returns false when the limiting amplifier's scratch
// period cannot be allocated.
bool equalize_response(RxInstance *rx, double *response, int length, bool through, int samples_per_bit)
{
    ApplyPeakingFilter(response, length, rx->ctle, ctle_config(rx), 1, response);
    const bool limited = !through || limit_through_period(rx, response, length, samples_per_bit);
    ApplyRiseFall(response, length, rx->rise_fall, 1, response);
    return limited;
}

// Equalizes one impulse-response column in place. A through column shorter
// than one PRBS7 period is zero-extended to it in a scratch copy before the
// CTLE, so that the CTLE's tail beyond the column reaches the limiting
// amplifier and a response that has died out within the column gets the same
// treatment, short or long; its first `row_size` samples are handed back.
// Returns false when memory ran out.
bool equalize_column(RxInstance *rx, double *column, int row_size, bool through, int samples_per_bit)
{
    const long period = prbs7_length(samples_per_bit);
    if (!through || row_size >= period)
        return equalize_response(rx, column, row_size, through, samples_per_bit);
    auto *extended = static_cast<double *>(std::calloc(static_cast<size_t>(period), sizeof(double)));
    if (extended == nullptr)
        return false;
    std::memcpy(extended, column, sizeof(double) * static_cast<size_t>(row_size));
    const bool limited = equalize_response(rx, extended, static_cast<int>(period), through, samples_per_bit);
    std::memcpy(column, extended, sizeof(double) * static_cast<size_t>(row_size));
    std::free(extended);
    return limited;
}

void warn_short_response(long row_size, int samples_per_bit, Messages &messages)
{
    char text[AMI_MESSAGE_CAPACITY + 1];
    std::snprintf(text, sizeof text,
                  "Impulse response of %ld samples is shorter than %ld samples (one PRBS7 period); "
                  "the limiting amplifier sees it followed by zeros.\n",
                  row_size, prbs7_length(samples_per_bit));
    WarnPrt(messages.buffer, AMI_MESSAGE_CAPACITY, text);
    messages.flush();
}

// Equalizes the impulse matrix: column 0 is the through channel, the others
// crosstalk. Returns false after an "**Error**" message when the limiting
// amplifier could not be run.
bool equalize_matrix(RxInstance *rx, double *impulse_matrix, long row_size, long aggressors, int samples_per_bit,
                     Messages &messages)
{
    if (impulse_matrix == nullptr || row_size <= 0)
        return true;
    if (row_size < prbs7_length(samples_per_bit) && aggressors >= 0)
        warn_short_response(row_size, samples_per_bit, messages);
    for (long column = 0; column <= aggressors; ++column) {
        if (!equalize_column(rx, impulse_matrix + column * row_size, static_cast<int>(row_size), column == 0,
                             samples_per_bit)) {
            messages.add("**Error** Out of memory: the limiting amplifier could not be applied.\n");
            return false;
        }
    }
    return true;
}

// The output parameter string is replaced; the previous one is released.
void hand_out(RxInstance *rx, const AmiTree &tree, char **AMI_parameters_out)
{
    std::free(rx->parameters_out);
    rx->parameters_out = GrowTree(tree);
    if (AMI_parameters_out != nullptr)
        *AMI_parameters_out = rx->parameters_out;
}


// Hands the message text to the host: the instance's own text, or null when
// none could be allocated.
void hand_message(const RxInstance *rx, char **msg)
{
    if (msg != nullptr)
        *msg = rx->message;
}

} // namespace

extern "C" long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
                         double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
                         void **AMI_memory_handle, char **msg)
{
    auto *rx = ami::new_instance<RxInstance>(AMI_memory_handle, AMI_parameters_out, msg);
    if (rx == nullptr)
        return 0;
    if (!declare_trees(rx))
        return ami::abandon_instance(rx, AMI_Close, AMI_memory_handle, msg);

    Messages messages{&rx->message};
    ami::bind_parameters(AMI_parameters_in, rx->input_tree, messages);
    validate_settings(rx, messages);

    const int samples_per_bit = ami::checked_samples_per_bit(sample_interval, bit_time, messages);
    // A column is filtered in one call, so it must fit an int.
    const bool fits = row_size <= INT_MAX;
    if (!fits) {
        messages.add("**Error** Impulse response of %ld samples is too long.\n",
                      row_size);
    }
    rx->sample_interval = sample_interval;
    const bool ready = samples_per_bit >= 1 && fits && build_blocks(rx, samples_per_bit, messages) &&
                       filters_finite(rx, messages) &&
                       equalize_matrix(rx, impulse_matrix, row_size, aggressors, samples_per_bit, messages);
    if (!ready) {
        // The instance stays, without blocks: AMI_GetWave passes waves through.
        delete_blocks(rx);
        hand_message(rx, msg);
        return 0;
    }
    hand_out(rx, rx->input_tree, AMI_parameters_out);
    hand_message(rx, msg);
    return 1;
}

extern "C" long AMI_GetWave(double *wave, long wave_size, double *clock_times, char **AMI_parameters_out,
                            void *AMI_memory)
{
    auto *rx = static_cast<RxInstance *>(AMI_memory);
    if (rx == nullptr) {
        if (clock_times != nullptr)
            clock_times[0] = -1.0; // no instance, no clock times
        return 1;
    }
    int clock_index = 0;
    if (blocks_built(rx) && wave != nullptr && wave_size > 0) {
        // A block beyond an int is taken in int-sized pieces; every block
        // carries its history into the next, and the clock times of the
        // pieces follow one another.
        for (long done = 0; done < wave_size;) {
            const long left = wave_size - done;
            const int piece = left > INT_MAX ? INT_MAX : static_cast<int>(left);
            double *samples = wave + done;
            clock_index = quorvane::run_receiver(rx, ctle_config(rx), samples, piece, clock_index, clock_times);
            done += piece;
        }
    }
    // Hosts read clock times up to the terminator, also after a call that
    // found no clock edge.
    if (clock_times != nullptr)
        clock_times[clock_index] = -1.0;
    clock_entries(rx->output_tree)[kPhase].value.d = 0.0;
    hand_out(rx, rx->output_tree, AMI_parameters_out);
    return 1;
}

extern "C" long AMI_Close(void *AMI_memory)
{
    auto *rx = static_cast<RxInstance *>(AMI_memory);
    if (rx == nullptr)
        return 1;
    delete_blocks(rx);
    for (AmiTree *tree : {&rx->input_tree, &rx->output_tree}) {
        FreeTree(*tree);
        if (tree->entries != nullptr) {
            AmiTree *branch = tree->entries[kClockRecovery].value.tree;
            if (branch != nullptr)
                std::free(branch->entries);
            std::free(branch);
        }
        std::free(tree->entries);
    }
    std::free(rx->parameters_out);
    std::free(rx->message);
    std::free(rx);
    return 1;
}
