// FIR filter with time-spaced taps read by linear interpolation between samples.
#include "ami_complex.h"
#include "ami_fir.h"
#include "copy_samples.h"
#include "linear_history.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <emmintrin.h>

namespace {

// All-zero record: it passes samples through. Set-up returns it instead of a
// half-built filter when its arguments are out of range or an allocation
// fails, since the model runs in the simulator's process and must neither
// crash it nor read outside a history.
FIR pass_through()
{
    return FIR{};
}

bool is_pass_through(const FIR &fir)
{
    return fir.history_length < 1 || fir.history == nullptr || fir.position == nullptr ||
           fir.set_count < 1 || fir.tap_sets == nullptr;
}

// Builds the record; coefficient(i, j) is the gain-scaled tap j of set i and
// is called only when the arguments are in range.
template <typename Coefficient>
FIR setup(int tap_count, int set_count, double tap_spacing, double sample_interval, Coefficient coefficient)
{
    if (tap_count < 0 || set_count < 1)
        return pass_through();
    if (!std::isfinite(sample_interval) || !(sample_interval > 0.0))
        return pass_through();
    if (!std::isfinite(tap_spacing) || !(tap_spacing >= 0.0))
        return pass_through();
    // The farthest tap reads floor(N*r) + 1 samples back, so the history
    // holds floor(N*r) + 2. Each tap's floor(j*r) is at most floor(N*r)
    // (rounded products and quotients are monotonic), so bounding this one
    // bounds every delay. The length must stay a representable int.
    const double span = std::floor(static_cast<double>(tap_count) * tap_spacing / sample_interval);
    if (!std::isfinite(span) || span + 2.0 > static_cast<double>(INT_MAX - 2))
        return pass_through();

    FIR fir{};
    fir.tap_count = tap_count;
    fir.set_count = set_count;
    // At least one element each, so that a null result always means failure.
    const size_t taps = static_cast<size_t>(std::max(tap_count, 1));
    fir.tap_sets = static_cast<double **>(std::calloc(static_cast<size_t>(set_count), sizeof(double *)));
    bool allocated = fir.tap_sets != nullptr;
    for (int i = 0; allocated && i < set_count; ++i) {
        fir.tap_sets[i] = static_cast<double *>(std::malloc(sizeof(double) * taps));
        allocated = fir.tap_sets[i] != nullptr;
    }
    fir.weights = static_cast<double *>(std::malloc(sizeof(double) * taps));
    fir.delays = static_cast<int *>(std::malloc(sizeof(int) * taps));
    fir.history_length = d2i(span) + 2;
    fir.position = static_cast<int *>(std::malloc(sizeof(int)));
    fir.history = static_cast<double *>(std::calloc(static_cast<size_t>(fir.history_length), sizeof(double)));
    if (!allocated || !fir.weights || !fir.delays || !fir.position || !fir.history) {
        DeleteFIR(fir);
        return pass_through();
    }

    for (int i = 0; i < set_count; ++i)
        for (int j = 0; j < tap_count; ++j)
            fir.tap_sets[i][j] = coefficient(i, j);
    for (int j = 0; j < tap_count; ++j) {
        const double y = static_cast<double>(j) * tap_spacing / sample_interval;
        fir.weights[j] = 1.0 - std::fmod(y, 1.0);
        fir.delays[j] = d2i(std::floor(y));
    }
    *fir.position = 0;
    return fir;
}

// The filter over a ring history, for histories too long for the stack.
void filter_ring(const double *in, int count, const FIR &fir, const double *q, double *out)
{
    const int length = fir.history_length;
    double *const history = fir.history;
    int p = *fir.position;
    for (int n = 0; n < count; ++n) {
        // Store the sample before writing out[n], so in and out may be one array.
        history[p] = in[n];
        double acc = 0.0;
        for (int j = 0; j < fir.tap_count; ++j) {
            const double w = fir.weights[j];
            // delays[j] <= length - 2, so one wrap brings each index into
            // range without forming p + length, which could overflow.
            int ia = p - fir.delays[j];
            if (ia < 0)
                ia += length;
            const int ib = ia == 0 ? length - 1 : ia - 1;
            const double a = history[ia];
            const double b = history[ib];
            acc = acc + (w * a + (1.0 - w) * b) * q[j];
        }
        out[n] = acc;
        p = p + 1 == length ? 0 : p + 1;
    }
    *fir.position = p;
}

// Output i of a chunk whose inputs start at x (the history before them at
// x[-1], x[-2], ...): the taps' sum in tap order.
double one_output(const double *x, int i, const FIR &fir, const double *q)
{
    double acc = 0.0;
    for (int j = 0; j < fir.tap_count; ++j) {
        const double w = fir.weights[j];
        const double *const a = x + i - fir.delays[j];
        acc = acc + (w * a[0] + (1.0 - w) * a[-1]) * q[j];
    }
    return acc;
}

// Outputs i to i + 3 side by side in two SSE2 registers, each lane with the
// operations of one_output in the same order.
void four_outputs(const double *x, int i, const FIR &fir, const double *q, double *out)
{
    const __m128d one = _mm_set1_pd(1.0);
    __m128d low = _mm_setzero_pd();
    __m128d high = _mm_setzero_pd();
    for (int j = 0; j < fir.tap_count; ++j) {
        const __m128d w = _mm_set1_pd(fir.weights[j]);
        const __m128d rest = _mm_sub_pd(one, w);
        const __m128d c = _mm_set1_pd(q[j]);
        const double *const a = x + i - fir.delays[j];
        const __m128d t_low = _mm_add_pd(_mm_mul_pd(w, _mm_loadu_pd(a)), _mm_mul_pd(rest, _mm_loadu_pd(a - 1)));
        const __m128d t_high = _mm_add_pd(_mm_mul_pd(w, _mm_loadu_pd(a + 2)), _mm_mul_pd(rest, _mm_loadu_pd(a + 1)));
        low = _mm_add_pd(low, _mm_mul_pd(t_low, c));
        high = _mm_add_pd(high, _mm_mul_pd(t_high, c));
    }
    _mm_storeu_pd(out + i, low);
    _mm_storeu_pd(out + i + 2, high);
}

// The filter over a straight copy of the history (see linear_history.h).
void filter_linear(const double *in, int count, const FIR &fir, const double *q, double *out)
{
    ami::run_on_line(in, count, fir.history, fir.position, fir.history_length, out,
                     [&](const double *x, int chunk, double *y) {
                         int i = 0;
                         for (; i + 4 <= chunk; i += 4)
                             four_outputs(x, i, fir, q, y);
                         for (; i < chunk; ++i)
                             y[i] = one_output(x, i, fir, q);
                     });
}

} // namespace

extern "C" FIR SetupFIR(int tap_count, int set_count, double tap_spacing, double sample_interval,
                        const double *gains, const double *const *coefficients)
{
    // The arrays are read only when there are taps to fill.
    if (tap_count > 0 && set_count > 0) {
        if (gains == nullptr || coefficients == nullptr)
            return pass_through();
        for (int j = 0; j < tap_count; ++j)
            if (coefficients[j] == nullptr)
                return pass_through();
    }
    return setup(tap_count, set_count, tap_spacing, sample_interval,
                 [&](int i, int j) { return gains[i] * coefficients[j][i]; });
}

extern "C" FIR SetupSimpleFIR(int tap_count, double tap_spacing, double sample_interval,
                              const double *gain, const double *coefficients)
{
    if (tap_count > 0 && (gain == nullptr || coefficients == nullptr))
        return pass_through();
    return setup(tap_count, 1, tap_spacing, sample_interval,
                 [&](int, int j) { return *gain * coefficients[j]; });
}

extern "C" void ApplyFIR(const double *in, int count, FIR fir, int set, int reset, double *out)
{
    if (is_pass_through(fir)) {
        ami::copy_samples(in, count, out);
        return;
    }

    int s = set;
    if (s >= fir.set_count)
        s = fir.set_count - 1;
    if (s < 0)
        s = 0;
    const double *const q = fir.tap_sets[s];
    if (count > 0) {
        if (ami::fits_line(fir.history_length))
            filter_linear(in, count, fir, q, out);
        else
            filter_ring(in, count, fir, q, out);
    }
    if (reset) {
        *fir.position = 0;
        std::fill_n(fir.history, fir.history_length, 0.0);
    }
}

extern "C" void DeleteFIR(FIR fir)
{
    if (fir.tap_sets != nullptr)
        for (int i = 0; i < fir.set_count; ++i)
            std::free(fir.tap_sets[i]);
    std::free(fir.tap_sets);
    std::free(fir.weights);
    std::free(fir.delays);
    std::free(fir.position);
    std::free(fir.history);
}
