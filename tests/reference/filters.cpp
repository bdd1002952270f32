// Reference loops of the peaking filter, lookup table, rise/fall filter and FIR.
#include "reference.h"

#include <algorithm>
#include <cstring>

namespace reference {

void ApplyPeakingFilter(const double *in, int count, PeakingFilter filt, int select, int reset, double *out)
{
    if (filt.config_count <= 0) {
        std::memmove(out, in, sizeof(double) * static_cast<size_t>(std::max(count, 0)));
        return;
    }
    const int s = select >= 0 && select < filt.config_count ? select : 0;
    const double *const b = filt.forward_coefs[s];
    const double *const f = filt.feedback_coefs[s];
    const int N = filt.tap_count - 1;
    double *const peak_in = filt.peak_in;
    double *const peak_out = filt.peak_out;
    const size_t history_bytes = sizeof(double) * static_cast<size_t>(filt.tap_count);
    if (reset) {
        std::memset(peak_in, 0, history_bytes);
        std::memset(peak_out, 0, history_bytes);
    }
    for (int n = 0; n < count; ++n) {
        const double x = in[n];
        double acc;
        if (N > 0) {
            for (int j = N; j >= 1; --j)
                peak_out[j] = peak_out[j - 1];
            acc = b[0] * x;
            for (int j = N; j >= 1; --j) {
                acc = acc + (b[j] * peak_in[j - 1] + f[j - 1] * peak_out[j]);
                peak_in[j] = peak_in[j - 1];
            }
        } else {
            acc = b[0] * x;
        }
        peak_out[0] = acc;
        out[n] = acc;
        peak_in[0] = x;
    }
    if (reset) {
        std::memset(peak_in, 0, history_bytes);
        std::memset(peak_out, 0, history_bytes);
    }
}

void ApplyTable(const double *in, int count, Table table, double *out)
{
    if (table.npts < 1 || table.x == nullptr || table.y == nullptr) {
        std::memmove(out, in, sizeof(double) * static_cast<size_t>(std::max(count, 0)));
        return;
    }
    const double *const x = table.x;
    const double *const y = table.y;
    const int last = table.npts - 1;
    for (int n = 0; n < count; ++n) {
        const double v = in[n];
        double result;
        if (v <= x[0]) {
            result = y[0];
        } else if (v > x[last]) {
            result = y[last];
        } else {
            int lo = 0;
            int hi = last;
            while (lo + 1 < hi) {
                const int mid = lo + (hi - lo) / 2;
                if (x[mid] < v)
                    lo = mid;
                else
                    hi = mid;
            }
            result = ((v - x[lo]) * y[hi] + (x[hi] - v) * y[lo]) / (x[hi] - x[lo]);
        }
        out[n] = result;
    }
}

void ApplyRiseFall(const double *in, int count, RiseFall rec, int reset, double *out)
{
    double *const x = rec.x_hist;
    double *const y = rec.y_hist;
    if (count > 0 && in && out) {
        for (int n = 0; n < count; ++n) {
            x[2] = x[1];
            x[1] = x[0];
            x[0] = in[n];
            const double s = rec.b0 * x[0] + rec.b1 * x[1] + rec.b2 * x[2];
            const double v = rec.a2 * y[1] + (s + rec.a1 * y[0]);
            y[1] = y[0];
            y[0] = v;
            out[n] = v;
        }
    }
    if (reset) {
        x[0] = x[1] = x[2] = 0.0;
        y[0] = y[1] = 0.0;
    }
}

void ApplyTxFFE(const double *in, int count, TxFFE ffe, int reset, double *out)
{
    const int length = ffe.history_length;
    const int spacing = ffe.samples_per_bit;
    double *const history = ffe.history;
    int p = *ffe.position;
    if (count > 0) {
        for (int j = 0; j < count; ++j) {
            history[p] = in[j];
            double s = 0.0;
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
    if (reset) {
        *ffe.position = 0;
        std::fill_n(history, length, 0.0);
    }
}

void ApplyFIR(const double *in, int count, FIR fir, int set, int reset, double *out)
{
    const int s = std::clamp(set, 0, fir.set_count - 1);
    const double *const q = fir.tap_sets[s];
    const int length = fir.history_length;
    double *const history = fir.history;
    int p = *fir.position;
    for (int n = 0; n < count; ++n) {
        history[p] = in[n];
        double acc = 0.0;
        for (int j = 0; j < fir.tap_count; ++j) {
            const double w = fir.weights[j];
            int ia = p - fir.delays[j];
            if (ia < 0)
                ia += length;
            const int ib = ia == 0 ? length - 1 : ia - 1;
            acc = acc + (w * history[ia] + (1.0 - w) * history[ib]) * q[j];
        }
        out[n] = acc;
        p = p + 1 == length ? 0 : p + 1;
    }
    if (count > 0)
        *fir.position = p;
    if (reset) {
        *fir.position = 0;
        std::fill_n(history, length, 0.0);
    }
}

} // namespace reference
