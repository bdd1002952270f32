// Lookup table: piecewise-linear transfer curve held at its end values.
#include "ami_table.h"
#include "copy_samples.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

extern "C" Table SetTable(int npts, const double *x, const double *y)
{
    assert(npts > 1 && npts < 0xffffff);
    if (x == nullptr || y == nullptr)
        return Table{};
    for (int indx = 1; indx < npts; ++indx)
        assert(x[indx] > x[indx-1]);

    const size_t bytes = sizeof(double) * static_cast<size_t>(npts);
    Table table{npts, static_cast<double *>(std::malloc(bytes)), static_cast<double *>(std::malloc(bytes))};
    if (table.x == nullptr || table.y == nullptr) {
        DeleteTable(table);
        return Table{};
    }
    std::memcpy(table.x, x, bytes);
    std::memcpy(table.y, y, bytes);
    return table;
}

extern "C" void ApplyTable(const double *in, int count, Table table, double *out)
{
    if (table.npts < 1 || table.x == nullptr || table.y == nullptr) {
        ami::copy_samples(in, count, out);
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
            // Ends with x[lo] < v <= x[hi] and hi = lo + 1.
            int lo = 0;
            int hi = last;
            while (lo + 1 < hi) {
                const int mid = lo + (hi - lo) / 2;
                if (x[mid] < v)
                    lo = mid;
                else
                    hi = mid;
            }
            assert(hi != lo);
            result = ((v - x[lo]) * y[hi] + (x[hi] - v) * y[lo]) / (x[hi] - x[lo]);
        }
        out[n] = result;
    }
}

extern "C" void DeleteTable(Table table)
{
    std::free(table.x);
    std::free(table.y);
}
