// One configuration of a peaking filter of order N run sample by sample with
// its coefficients and histories held in locals, so that they stay in
// registers instead of going through memory that the output may alias.
#pragma once

#include "ami_peaking_filter.h"

namespace ami {

// Orders up to this one run with histories in locals; higher ones in place.
inline constexpr int kLocalPeakingOrder = 8;

template <int N>
struct PeakingRun {
    double b[N + 1];
    double f[N > 0 ? N : 1];
    double x_hist[N + 1]; // element j: input j samples before the newest
    double y_hist[N + 1]; // element j: output j samples before the newest

    // Takes the coefficients of configuration s and the record's histories.
    PeakingRun(const PeakingFilter &filt, int s)
    {
#pragma GCC unroll 16
        for (int j = 0; j <= N; ++j) {
            b[j] = filt.forward_coefs[s][j];
            x_hist[j] = filt.peak_in[j];
            y_hist[j] = filt.peak_out[j];
        }
#pragma GCC unroll 16
        for (int j = 0; j < N; ++j)
            f[j] = filt.feedback_coefs[s][j];
    }

    // y[n] = b0*x + sum over j = N..1 of (b[j]*x[n-j] + f[j-1]*y[n-j]),
    // added in that order.
    // The loops are unrolled so that the histories become registers.
    [[gnu::always_inline]] double step(double x)
    {
        double acc = b[0] * x;
#pragma GCC unroll 16
        for (int j = N; j >= 1; --j)
            acc = acc + (b[j] * x_hist[j - 1] + f[j - 1] * y_hist[j - 1]);
#pragma GCC unroll 16
        for (int j = N; j >= 1; --j) {
            x_hist[j] = x_hist[j - 1];
            y_hist[j] = y_hist[j - 1];
        }
        x_hist[0] = x;
        y_hist[0] = acc;
        return acc;
    }

    // Lays the histories back out in the record.
    void store(const PeakingFilter &filt) const
    {
#pragma GCC unroll 16
        for (int j = 0; j <= N; ++j) {
            filt.peak_in[j] = x_hist[j];
            filt.peak_out[j] = y_hist[j];
        }
    }
};

} // namespace ami
