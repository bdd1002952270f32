// Piecewise-linear lookup of one value in a table whose points are (nearly)
// evenly spaced: the interval is guessed from the spacing and then corrected
// to the one interval x[lo] < v <= x[lo + 1] that bisection finds, so the
// result is the same for any table.
#pragma once

#include "ami_table.h"

#include <cassert>

namespace ami {

class TableLookup {
public:
    // table holds npts >= 1 points and both arrays.
    explicit TableLookup(const Table &table)
        : x_(table.x), y_(table.y), last_(table.npts - 1), first_x_(table.x[0]), last_x_(table.x[table.npts - 1]),
          scale_(last_ > 0 ? static_cast<double>(last_) / (last_x_ - first_x_) : 0.0)
    {
    }

    [[gnu::always_inline]] double operator()(double v) const
    {
        if (v <= first_x_)
            return y_[0];
        if (v > last_x_)
            return y_[last_];
        const int lo = interval(v);
        const int hi = lo + 1 <= last_ ? lo + 1 : lo;
        assert(hi != lo);
        return ((v - x_[lo]) * y_[hi] + (x_[hi] - v) * y_[lo]) / (x_[hi] - x_[lo]);
    }

private:
    // lo with x[lo] < v <= x[lo + 1], for x[0] < v <= x[last]; 0 for NaN
    // (where bisection also ends).
    int interval(double v) const
    {
        if (v != v || last_ < 1)
            return 0;
        const double guess = (v - first_x_) * scale_;
        int lo = guess < static_cast<double>(last_ - 1) ? static_cast<int>(guess) : last_ - 1;
        if (x_[lo] < v && v <= x_[lo + 1])
            return lo;
        if (lo > 0 && x_[lo - 1] < v && v <= x_[lo])
            return lo - 1;
        if (lo + 2 <= last_ && x_[lo + 1] < v && v <= x_[lo + 2])
            return lo + 1;
        return bisect(v);
    }

    int bisect(double v) const
    {
        int lo = 0;
        int hi = last_;
        while (lo + 1 < hi) {
            const int mid = lo + (hi - lo) / 2;
            if (x_[mid] < v)
                lo = mid;
            else
                hi = mid;
        }
        return lo;
    }

    const double *x_;
    const double *y_;
    int last_;
    double first_x_;
    double last_x_;
    double scale_;
};

} // namespace ami
