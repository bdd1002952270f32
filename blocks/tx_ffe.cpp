// Tx FFE: symbol-spaced feed-forward equalizer with per-tap gain limits.
#include "IBIS_AMI_tree.h"
#include "ami_tx_ffe.h"
#include "copy_samples.h"
#include "linear_history.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <emmintrin.h>

namespace {

// A record that passes samples through: no taps, no history. Set-up returns
// it instead of a half-built filter when its arguments are out of range or an
// allocation fails, since the model runs in the simulator's process and must
// neither crash it nor index an empty history.
TxFFE pass_through(int samples_per_bit, int mode)
{
    TxFFE ffe{};
    ffe.samples_per_bit = samples_per_bit;
    ffe.mode = mode;
    return ffe;
}

bool is_pass_through(const TxFFE &ffe)
{
    return ffe.history_length < 1 || ffe.history == nullptr || ffe.position == nullptr || ffe.taps == nullptr;
}

// The filter over its ring history, for histories too long for the stack.
void filter_ring(const double *in, int count, const TxFFE &ffe, double *out)
{
    const int length = ffe.history_length;
    const int spacing = ffe.samples_per_bit;
    double *const history = ffe.history;
    int p = *ffe.position;
    for (int j = 0; j < count; ++j) {
        // Store the sample before writing out[j], so in and out may be one array.
        history[p] = in[j];
        double s = 0.0;
        // Tap k reads k*spacing samples back; that is never more than
        // length - spacing, so one wrap brings the index into range
        // without forming length + p, which could overflow.
        int index = p;
        for (int k = 0; k < ffe.tap_count; ++k) {
            s = s + ffe.taps[k] * history[index];
            index -= spacing;
            if (index < 0)
                index += length;
        }
        out[j] = s;
        p = p + 1 == length ? 0 : p + 1;
    }
    *ffe.position = p;
}

// Output i from the inputs x[i], x[i - S], ...: the taps' sum in tap order.
double one_output(const double *x, int i, const TxFFE &ffe)
{
    double s = 0.0;
    for (int k = 0; k < ffe.tap_count; ++k)
        s = s + ffe.taps[k] * x[i - k * ffe.samples_per_bit];
    return s;
}

// Outputs i to i + 3 side by side in SSE2 lanes, each with the operations of
// one_output in the same order.
void four_outputs(const double *x, int i, const TxFFE &ffe, double *out)
{
    __m128d low = _mm_setzero_pd();
    __m128d high = _mm_setzero_pd();
    for (int k = 0; k < ffe.tap_count; ++k) {
        const __m128d tap = _mm_set1_pd(ffe.taps[k]);
        const double *const a = x + i - k * ffe.samples_per_bit;
        low = _mm_add_pd(low, _mm_mul_pd(tap, _mm_loadu_pd(a)));
        high = _mm_add_pd(high, _mm_mul_pd(tap, _mm_loadu_pd(a + 2)));
    }
    _mm_storeu_pd(out + i, low);
    _mm_storeu_pd(out + i + 2, high);
}

// The filter over a straight copy of the history (see linear_history.h).
void filter_linear(const double *in, int count, const TxFFE &ffe, double *out)
{
    ami::run_on_line(in, count, ffe.history, ffe.position, ffe.history_length, out,
                     [&](const double *x, int chunk, double *y) {
                         int i = 0;
                         for (; i + 4 <= chunk; i += 4)
                             four_outputs(x, i, ffe, y);
                         for (; i < chunk; ++i)
                             y[i] = one_output(x, i, ffe);
                     });
}

} // namespace

extern "C" TxFFE SetupTxFFE(int samples_per_bit, int tap_count, int mode, const double *taps)
{
    if (samples_per_bit < 1 || tap_count < 1 || taps == nullptr)
        return pass_through(samples_per_bit, mode);
    // The history holds samples_per_bit*tap_count samples; its length is an
    // int, so a product beyond INT_MAX cannot be represented.
    const std::int64_t length = static_cast<std::int64_t>(samples_per_bit) * tap_count;
    if (length > INT_MAX)
        return pass_through(samples_per_bit, mode);

    TxFFE ffe{};
    ffe.samples_per_bit = samples_per_bit;
    ffe.tap_count = tap_count;
    ffe.mode = mode;
    ffe.taps = static_cast<double *>(std::malloc(sizeof(double) * tap_count));
    ffe.max_gain = static_cast<double *>(std::malloc(sizeof(double) * tap_count));
    ffe.min_gain = static_cast<double *>(std::malloc(sizeof(double) * tap_count));
    ffe.gain_step = static_cast<double *>(std::malloc(sizeof(double) * tap_count));
    ffe.position = static_cast<int *>(std::malloc(sizeof(int)));
    ffe.history_length = static_cast<int>(length);
    ffe.history = static_cast<double *>(std::calloc(static_cast<size_t>(length), sizeof(double)));
    if (!ffe.taps || !ffe.max_gain || !ffe.min_gain || !ffe.gain_step || !ffe.position || !ffe.history) {
        DeleteTxFFE(ffe);
        return pass_through(samples_per_bit, mode);
    }

    for (int i = 0; i < tap_count; ++i) {
        ffe.taps[i] = taps[i];
        ffe.max_gain[i] = 1.0;
        ffe.min_gain[i] = -1.0;
        ffe.gain_step[i] = 1e-06;
    }
    *ffe.position = 0;
    return ffe;
}

extern "C" void ApplyTxFFE(const double *in, int count, TxFFE ffe, int reset, double *out)
{
    if (is_pass_through(ffe)) {
        ami::copy_samples(in, count, out);
        return;
    }

    if (count > 0) {
        if (ami::fits_line(ffe.history_length))
            filter_linear(in, count, ffe, out);
        else
            filter_ring(in, count, ffe, out);
    }

    if (reset) {
        *ffe.position = 0;
        std::fill_n(ffe.history, ffe.history_length, 0.0);
    }
}

extern "C" void AdvancedTxFFE(TxFFE ffe, const double *max_gain, const double *min_gain,
                              const double *gain_step, char *message, int message_size)
{
    // Nothing to limit on a pass-through record, and nothing to read the
    // limits from without the arrays.
    if (is_pass_through(ffe) || !ffe.max_gain || !ffe.min_gain || !ffe.gain_step)
        return;
    if (!max_gain || !min_gain || !gain_step)
        return;

    for (int i = 0; i < ffe.tap_count; ++i) {
        const double hi = max_gain[i];
        const double lo = min_gain[i];
        const double st = gain_step[i];
        // Written so that any NaN makes the combination invalid.
        if (!(hi > lo && st > 0.0 && hi - lo > st)) {
            WarnPrt(message, message_size, "Invalid combination of max gain, min gain, and gain step in Tx FFE.\n");
            continue;
        }
        ffe.max_gain[i] = hi;
        ffe.min_gain[i] = lo;
        ffe.gain_step[i] = st;
        double t = std::min(hi, ffe.taps[i]);
        t = std::max(lo, t);
        ffe.taps[i] = st * std::floor((t + 0.5 * st) / st);
    }
}

extern "C" void DeleteTxFFE(TxFFE ffe)
{
    std::free(ffe.taps);
    std::free(ffe.max_gain);
    std::free(ffe.min_gain);
    std::free(ffe.gain_step);
    std::free(ffe.position);
    std::free(ffe.history);
}
