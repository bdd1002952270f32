/* Complex numbers, polynomials held as coefficient arrays, and rounding of a
 * double to an int: the value-type arithmetic under the filter blocks. */
#ifndef AMI_COMPLEX_H
#define AMI_COMPLEX_H

#include "ami_export.h"

AMI_BEGIN_C

/* A complex number, passed and returned by value. */
typedef struct Complex {
    double re; /* real part      */
    double im; /* imaginary part */
} Complex;

/* ---- Complex numbers -------------------------------------------------------
 * Every operation takes its operands by value, returns a new value and
 * allocates nothing. No operation scales against overflow or underflow. */

/* Assembles the complex number {re, im}.
 *  re         : real part, any double
 *  im         : imaginary part, any double */
AMI_EXPORT Complex cmplx(double re, double im);

/* Reads a complex number from two consecutive doubles.
 *  pair       : [size: 2] element 0 is the real part, element 1 the imaginary
 *               part; only read, must not be null */
AMI_EXPORT Complex array2Cpx(const double *pair);

/* Returns a + b.
 *  a, b       : operands, any values */
AMI_EXPORT Complex imadd(Complex a, Complex b);

/* Returns a - b.
 *  a, b       : operands, any values */
AMI_EXPORT Complex imsub(Complex a, Complex b);

/* Returns a * b: re = a.re*b.re - a.im*b.im, im = a.re*b.im + a.im*b.re.
 *  a, b       : operands, any values */
AMI_EXPORT Complex improduct(Complex a, Complex b);

/* Returns a / b. A divisor whose squared magnitude b.re^2 + b.im^2 is
 * exactly 0.0 (also by underflow) is an internal error: the assertion
 * "b_mag" fails and the process stops.
 *  a          : dividend, any value
 *  b          : divisor, b.re^2 + b.im^2 != 0.0 */
AMI_EXPORT Complex imdiv(Complex a, Complex b);

/* Returns the magnitude sqrt(a.re^2 + a.im^2) of a.
 *  a          : operand, any value */
AMI_EXPORT double imabs(Complex a);

/* Returns e raised to a: (exp(a.re) cos(a.im), exp(a.re) sin(a.im)).
 *  a          : exponent, any value */
AMI_EXPORT Complex imexp(Complex a);

/* ---- Polynomials -----------------------------------------------------------
 * A polynomial is an array of coefficients, lowest power first: element k
 * multiplies the k-th power of the variable. No operation grows an array:
 * a sum touches the common length only, a product keeps the dst_count lowest
 * powers. A dst_count of 0 or less leaves dst unchanged. */

/* dst[k] = dst[k] + src[k] for every k below both counts.
 *  dst        : [size: dst_count] augend, overwritten with the sum
 *  dst_count  : number of coefficients of dst, any int
 *  src        : [size: src_count] addend, only read; may be dst itself
 *  src_count  : number of coefficients of src, any int */
AMI_EXPORT void CPolyAdd(Complex *dst, int dst_count, const Complex *src, int src_count);

/* dst = dst * src, truncated to the dst_count lowest powers. Each result
 * coefficient sums its terms in increasing order of the dst index. A
 * src_count of 0 or less multiplies by the empty polynomial: dst becomes 0.
 * Allocates nothing.
 *  dst        : [size: dst_count] multiplicand, overwritten with the product
 *  dst_count  : number of coefficients of dst, any int
 *  src        : [size: src_count] multiplier, only read; may be dst itself
 *               (the result is then its square)
 *  src_count  : number of coefficients of src, any int */
AMI_EXPORT void CPolyMult(Complex *dst, int dst_count, const Complex *src, int src_count);

/* Real-valued CPolyAdd; same arguments with double coefficients. */
AMI_EXPORT void PolyAdd(double *dst, int dst_count, const double *src, int src_count);

/* Real-valued CPolyMult; same arguments with double coefficients. */
AMI_EXPORT void PolyMult(double *dst, int dst_count, const double *src, int src_count);

/* ---- Rounding ---------------------------------------------------------------- */

/* Rounds x to the nearest int, halves away from zero, except that
 * -0.5 <= x < 0.5 gives 0 (so -0.5 gives 0 and 0.5 gives 1). Magnitudes of
 * 2147483647.5 or more, and infinities, saturate at +/-2147483647; NaN
 * gives 0.
 *  x          : value to round, any double */
AMI_EXPORT int d2i(double x);

AMI_END_C

#endif /* AMI_COMPLEX_H */
