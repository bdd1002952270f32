// Sums and truncated products of polynomials held as coefficient arrays.
#include "ami_complex.h"

#include <algorithm>

namespace {

double plus(double a, double b) { return a + b; }
double times(double a, double b) { return a * b; }
Complex plus(Complex a, Complex b) { return imadd(a, b); }
Complex times(Complex a, Complex b) { return improduct(a, b); }

template <typename T> void poly_add(T *dst, int dst_count, const T *src, int src_count)
{
    for (int k = 0; k < dst_count && k < src_count; ++k)
        dst[k] = plus(dst[k], src[k]);
}

// dst = dst * src, keeping the dst_count lowest powers. Coefficient k is
// sum_i dst[i]*src[k-i], accumulated from zero in increasing order of i.
// Working from the highest power down, coefficient k reads only dst[0..k]
// and src[0..k], which are still the inputs, so the product is formed in
// place without a scratch array (nothing to allocate, nothing to fail), and
// src may be dst itself.
template <typename T> void poly_mult(T *dst, int dst_count, const T *src, int src_count)
{
    for (int k = dst_count - 1; k >= 0; --k) {
        T sum{};
        // Terms need j = k - i < src_count; with src_count <= 0 there are none.
        const long long lowest = static_cast<long long>(k) - src_count + 1;
        for (long long i = std::max(0LL, lowest); i <= k; ++i)
            sum = plus(sum, times(dst[i], src[k - i]));
        dst[k] = sum;
    }
}

} // namespace

extern "C" void CPolyAdd(Complex *dst, int dst_count, const Complex *src, int src_count)
{
    poly_add(dst, dst_count, src, src_count);
}

extern "C" void CPolyMult(Complex *dst, int dst_count, const Complex *src, int src_count)
{
    poly_mult(dst, dst_count, src, src_count);
}

extern "C" void PolyAdd(double *dst, int dst_count, const double *src, int src_count)
{
    poly_add(dst, dst_count, src, src_count);
}

extern "C" void PolyMult(double *dst, int dst_count, const double *src, int src_count)
{
    poly_mult(dst, dst_count, src, src_count);
}
