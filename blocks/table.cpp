// Lookup table: piecewise-linear transfer curve held at its end values.
#include "ami_table.h"
#include "copy_samples.h"
#include "table_lookup.h"

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
    const ami::TableLookup lookup(table);
    for (int n = 0; n < count; ++n)
        out[n] = lookup(in[n]);
}

extern "C" void DeleteTable(Table table)
{
    std::free(table.x);
    std::free(table.y);
}
