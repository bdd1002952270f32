// Complex numbers: construction, the four operations, magnitude and exponential.
#include "ami_complex.h"

#include <cassert>
#include <cmath>

extern "C" Complex cmplx(double re, double im)
{
    return Complex{re, im};
}

extern "C" Complex array2Cpx(const double *pair)
{
    return Complex{pair[0], pair[1]};
}

extern "C" Complex imadd(Complex a, Complex b)
{
    return Complex{a.re + b.re, a.im + b.im};
}

extern "C" Complex imsub(Complex a, Complex b)
{
    return Complex{a.re - b.re, a.im - b.im};
}

extern "C" Complex improduct(Complex a, Complex b)
{
    return Complex{a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

extern "C" Complex imdiv(Complex a, Complex b)
{
    const double b_mag = b.re * b.re + b.im * b.im;
    // No caller divides by zero; reaching it is an internal error that stops
    // the process (assertions are on in every build).
    assert(b_mag);
    return Complex{(a.re * b.re + a.im * b.im) / b_mag, (a.im * b.re - a.re * b.im) / b_mag};
}

extern "C" double imabs(Complex a)
{
    return std::sqrt(a.re * a.re + a.im * a.im);
}

extern "C" Complex imexp(Complex a)
{
    const double magnitude = std::exp(a.re);
    return Complex{magnitude * std::cos(a.im), magnitude * std::sin(a.im)};
}
