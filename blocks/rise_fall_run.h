// The rise/fall filter run sample by sample with its histories in locals.
#pragma once

#include "ami_shaping.h"

namespace ami {

struct RiseFallRun {
    double b0, b1, b2, a1, a2;
    double x0, x1, x2; // last inputs, newest first
    double y0, y1;     // last outputs, newest first

    explicit RiseFallRun(const RiseFall &rec)
        : b0(rec.b0), b1(rec.b1), b2(rec.b2), a1(rec.a1), a2(rec.a2), x0(rec.x_hist[0]), x1(rec.x_hist[1]),
          x2(rec.x_hist[2]), y0(rec.y_hist[0]), y1(rec.y_hist[1])
    {
    }

    [[gnu::always_inline]] double step(double in)
    {
        x2 = x1;
        x1 = x0;
        x0 = in;
        const double s = b0 * x0 + b1 * x1 + b2 * x2;
        const double v = a2 * y1 + (s + a1 * y0);
        y1 = y0;
        y0 = v;
        return v;
    }

    void store(const RiseFall &rec) const
    {
        rec.x_hist[0] = x0;
        rec.x_hist[1] = x1;
        rec.x_hist[2] = x2;
        rec.y_hist[0] = y0;
        rec.y_hist[1] = y1;
    }
};

} // namespace ami
