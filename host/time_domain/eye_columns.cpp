// SSE2 (part of both target widths' instruction sets here): two columns per
// step, each with its scalar counterpart's operations in its order.
#include "time_domain/eye_columns.h"

#include <emmintrin.h>

#include <algorithm>

namespace ami_host {

namespace {

double interpolate_one(const double *d, double last_index, double base, double x, double step, size_t j)
{
    const double at = (x + static_cast<double>(j) * step) - base;
    // For a position >= 0, capping before truncating equals capping after.
    const int i = static_cast<int>(std::min(at, last_index));
    const double f = at - i;
    return d[i] + f * (d[i + 1] - d[i]);
}

size_t density_row(double value, double low, double scale, double top, long long &clipped, int levels)
{
    const double level = (value - low) * scale;
    clipped += !(level >= 0.0 && level < levels);
    if (!(level > 0.0)) // below the rows, or NaN
        return 0;
    return static_cast<size_t>(std::min(level, top));
}

} // namespace

void interpolate_columns(const double *samples, size_t size, double base, double x, double step, size_t count,
                         double *out)
{
    const double last_index = static_cast<double>(size - 2);
    const __m128d vx = _mm_set1_pd(x), vstep = _mm_set1_pd(step), vbase = _mm_set1_pd(base);
    const __m128d vlast = _mm_set1_pd(last_index), two = _mm_set1_pd(2.0);
    __m128d vj = _mm_set_pd(1.0, 0.0);
    size_t j = 0;
    for (; j + 2 <= count; j += 2, vj = _mm_add_pd(vj, two)) {
        const __m128d at = _mm_sub_pd(_mm_add_pd(vx, _mm_mul_pd(vj, vstep)), vbase);
        const __m128i i = _mm_cvttpd_epi32(_mm_min_pd(at, vlast));
        const __m128d f = _mm_sub_pd(at, _mm_cvtepi32_pd(i));
        const __m128d pair0 = _mm_loadu_pd(samples + _mm_cvtsi128_si32(i));
        const __m128d pair1 = _mm_loadu_pd(samples + _mm_cvtsi128_si32(_mm_srli_si128(i, 4)));
        const __m128d here = _mm_unpacklo_pd(pair0, pair1), next = _mm_unpackhi_pd(pair0, pair1);
        _mm_storeu_pd(out + j, _mm_add_pd(here, _mm_mul_pd(f, _mm_sub_pd(next, here))));
    }
    for (; j < count; ++j)
        out[j] = interpolate_one(samples, last_index, base, x, step, j);
}

long long add_density_columns(const double *values, size_t times, int levels, double low, double scale,
                              uint32_t *counts)
{
    const double top = levels - 1.0;
    const __m128d vlow = _mm_set1_pd(low), vscale = _mm_set1_pd(scale), vtop = _mm_set1_pd(top);
    const __m128d vlevels = _mm_set1_pd(levels), zero = _mm_setzero_pd();
    long long clipped = 0;
    size_t j = 0;
    for (; j + 2 <= times; j += 2) {
        const __m128d level = _mm_mul_pd(_mm_sub_pd(_mm_loadu_pd(values + j), vlow), vscale);
        const __m128d inside = _mm_and_pd(_mm_cmpge_pd(level, zero), _mm_cmplt_pd(level, vlevels));
        const int inside_mask = _mm_movemask_pd(inside);
        clipped += 2 - (inside_mask & 1) - (inside_mask >> 1);
        // maxpd returns its second operand for NaN: 0. Truncating the capped
        // level gives the row.
        const __m128i row = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(level, zero), vtop));
        ++counts[static_cast<size_t>(_mm_cvtsi128_si32(row)) * times + j];
        ++counts[static_cast<size_t>(_mm_cvtsi128_si32(_mm_srli_si128(row, 4))) * times + j + 1];
    }
    for (; j < times; ++j)
        ++counts[density_row(values[j], low, scale, top, clipped, levels) * times + j];
    return clipped;
}

} // namespace ami_host
