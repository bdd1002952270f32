// The transmitter model's IBIS-AMI entry points: settings, FFE and FIR set-up,
// and in-place filtering of impulse responses and waveform blocks.
#include "dorvex8_tx.h"

#include "bind_parameters.h"
#include "new_instance.h"
#include "samples_per_bit.h"
#include "tx_coefficients.h"

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using ami::Messages;

constexpr double kFirTapSpacing = 2e-11; // seconds between shaping-FIR taps
constexpr int kFfeMode = -1;             // tag kept in the FFE record

enum Setting { kCorner, kDeemph, kVswing, kSettings };

// Name, default (also the replacement for an invalid value), valid range and
// warning of each setting, in the order they are declared and validated.
struct SettingRule {
    const char *name;
    int fallback;
    int low;
    int high;
    const char *warning;
};

constexpr SettingRule kRules[kSettings] = {
    {"TX_Corner", 0, -1, 1, "Invalid TX_Corner\n\n"},
    {"TX_Deemph", 0, 0, 7, "Invalid TX_Deemph\n\n"},
    {"TX_Vswing", 7, 0, 7, "Invalid TX_Vswing\n\n"},
};

bool declare_tree(TxInstance *tx)
{
    auto *entries = static_cast<AmiEntry *>(std::calloc(kSettings, sizeof(AmiEntry)));
    if (entries == nullptr)
        return false;
    for (int i = 0; i < kSettings; ++i) {
        entries[i].name = kRules[i].name;
        entries[i].type = AMI_INT;
        entries[i].value.i = kRules[i].fallback;
    }
    tx->tree = {"dorvex8_tx", kSettings, entries};
    return true;
}

// Replaces each out-of-range setting by its default, with a warning.
void validate_settings(TxInstance *tx, Messages &messages)
{
    for (int i = 0; i < kSettings; ++i) {
        int &value = tx->tree.entries[i].value.i;
        if (value < kRules[i].low || value > kRules[i].high) {
            value = kRules[i].fallback;
            WarnPrt(messages.buffer, AMI_MESSAGE_CAPACITY, kRules[i].warning);
            messages.flush();
        }
    }
}

bool build_filters(TxInstance *tx, int samples_per_bit, double sample_interval, Messages &messages)
{
    const dorvex8::TxTaps taps = dorvex8::compute_tx_taps(
        tx->tree.entries[kCorner].value.i, tx->tree.entries[kDeemph].value.i, tx->tree.entries[kVswing].value.i);
    const double gain = 1.0;
    tx->ffe = SetupTxFFE(samples_per_bit, dorvex8::kFfeTaps, kFfeMode, taps.ffe);
    tx->fir = SetupSimpleFIR(dorvex8::kFirTaps, kFirTapSpacing, sample_interval, &gain, taps.fir);
    if (tx->ffe.history_length >= 1 && tx->fir.history_length >= 1)
        return true;
    // Without both filters the instance passes waveforms through unchanged.
    DeleteTxFFE(tx->ffe);
    DeleteFIR(tx->fir);
    tx->ffe = TxFFE{};
    tx->fir = FIR{};
    messages.add("**Error** Could not build the FFE and FIR for sample interval %lg.\n", sample_interval);
    return false;
}

// Runs the FFE and then the FIR over `count` (> 0) samples in place. A count
// beyond an int is taken in int-sized pieces, each carrying the history into
// the next; `reset` empties both filters after the last piece.
void apply_filters(TxInstance *tx, double *samples, long count, int reset)
{
    while (count > 0) {
        const int piece = count > INT_MAX ? INT_MAX : static_cast<int>(count);
        const int piece_reset = piece == count ? reset : 0;
        ApplyTxFFE(samples, piece, tx->ffe, piece_reset, samples);
        ApplyFIR(samples, piece, tx->fir, 0, piece_reset, samples);
        samples += piece;
        count -= piece;
    }
}

} // namespace

extern "C" long AMI_Init(double *impulse_matrix, long row_size, long aggressors, double sample_interval,
                         double bit_time, char *AMI_parameters_in, char **AMI_parameters_out,
                         void **AMI_memory_handle, char **msg)
{
    auto *tx = ami::new_instance<TxInstance>(AMI_memory_handle, AMI_parameters_out, msg);
    if (tx == nullptr)
        return 0;
    if (!declare_tree(tx))
        return ami::abandon_instance(tx, AMI_Close, AMI_memory_handle, msg);

    Messages messages{&tx->message};
    ami::bind_parameters(AMI_parameters_in, tx->tree, messages);
    validate_settings(tx, messages);

    const int samples_per_bit = ami::checked_samples_per_bit(sample_interval, bit_time, messages);
    const bool built = samples_per_bit > 0 && build_filters(tx, samples_per_bit, sample_interval, messages);
    if (msg != nullptr)
        *msg = tx->message;
    if (!built)
        return 0;

    if (impulse_matrix != nullptr && row_size > 0) {
        for (long column = 0; column <= aggressors; ++column)
            apply_filters(tx, impulse_matrix + column * row_size, row_size, 1);
    }
    tx->parameters_out = GrowTree(tx->tree);
    if (AMI_parameters_out != nullptr)
        *AMI_parameters_out = tx->parameters_out;
    return 1;
}

extern "C" long AMI_GetWave(double *wave, long wave_size, double * /*clock_times: no clock recovery*/,
                            char **AMI_parameters_out, void *AMI_memory)
{
    auto *tx = static_cast<TxInstance *>(AMI_memory);
    if (tx == nullptr)
        return 1;
    if (wave != nullptr && wave_size > 0)
        apply_filters(tx, wave, wave_size, 0);
    if (AMI_parameters_out != nullptr)
        *AMI_parameters_out = nullptr;
    return 1;
}

extern "C" long AMI_Close(void *AMI_memory)
{
    auto *tx = static_cast<TxInstance *>(AMI_memory);
    if (tx == nullptr)
        return 1;
    DeleteTxFFE(tx->ffe);
    DeleteFIR(tx->fir);
    FreeTree(tx->tree);
    std::free(tx->tree.entries);
    std::free(tx->parameters_out);
    std::free(tx->message);
    std::free(tx);
    return 1;
}
