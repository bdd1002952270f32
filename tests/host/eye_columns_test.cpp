// The eye's inner loops against the plain loops they replaced, bit for bit.
#include "time_domain/eye_columns.h"

#include "../reference/same_bits.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace {

using namespace ami_host;

void plain_interpolate(const std::vector<double> &d, double base, double x, double step, size_t count, double *out)
{
    const int last = static_cast<int>(d.size()) - 1;
    for (size_t j = 0; j < count; ++j) {
        const double at = (x + static_cast<double>(j) * step) - base;
        const int i = std::min(static_cast<int>(at), last - 1);
        const double f = at - i;
        out[j] = d[i] + f * (d[i + 1] - d[i]);
    }
}

long long plain_density(const std::vector<double> &values, int levels, double low, double scale,
                        std::vector<uint32_t> &counts)
{
    const size_t times = values.size();
    const double top = levels - 1.0;
    long long clipped = 0;
    for (size_t j = 0; j < times; ++j) {
        const double level = (values[j] - low) * scale;
        const double row = std::min(std::max(level, 0.0), top);
        clipped += !(level >= 0.0 && level < levels);
        ++counts[static_cast<size_t>(row) * times + j];
    }
    return clipped;
}

TEST(EyeColumns, InterpolationMatchesThePlainLoopBitForBit)
{
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-2.0, 2.0), unit(0.0, 1.0);
    for (int trial = 0; trial < 2000; ++trial) {
        const int per_bit = 1 + trial % 64;
        const double step = per_bit / 64.0;
        const size_t count = 129 - trial % 2;
        const double span = step * static_cast<double>(count - 1);
        std::vector<double> d(static_cast<size_t>(span) + 2 + trial % 50);
        for (double &v : d)
            v = value(random);
        const double base = std::floor(unit(random) * 1e7);
        // Up to the last sample exactly, where the index is capped.
        const double room = static_cast<double>(d.size() - 1) - span;
        const double x = base + (trial % 10 == 0 ? room : unit(random) * room);
        std::vector<double> fast(count), plain(count);
        interpolate_columns(d.data(), d.size(), base, x, step, count, fast.data());
        plain_interpolate(d, base, x, step, count, plain.data());
        ASSERT_TRUE(SameBits(fast.data(), plain.data(), count)) << "trial " << trial;
    }
}

TEST(EyeColumns, DensityMatchesThePlainLoopAndCountsNaNAsClipped)
{
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> value(-1.5, 1.5);
    const int levels = 128;
    for (size_t times : {128u, 129u, 1u}) {
        std::vector<uint32_t> fast(times * levels), plain(times * levels);
        long long fast_clipped = 0, plain_clipped = 0;
        std::vector<double> values(times);
        for (int trial = 0; trial < 500; ++trial) {
            for (double &v : values)
                v = value(random);
            values[trial % times] = trial % 3 == 0 ? INFINITY : trial % 3 == 1 ? -INFINITY : -1.0;
            fast_clipped += add_density_columns(values.data(), times, levels, -1.0, levels / 2.0, fast.data());
            plain_clipped += plain_density(values, levels, -1.0, levels / 2.0, plain);
        }
        EXPECT_EQ(fast, plain);
        EXPECT_EQ(fast_clipped, plain_clipped);
    }
    std::vector<double> values(2, NAN);
    std::vector<uint32_t> counts(2 * levels);
    EXPECT_EQ(add_density_columns(values.data(), 2, levels, -1.0, 64.0, counts.data()), 2);
    EXPECT_EQ(counts[0] + counts[1], 2u);
}

} // namespace
