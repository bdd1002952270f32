// Tests of the complex, polynomial and rounding helpers.
#include "Nerova_AMI_Model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

void ExpectComplex(Complex actual, double re, double im)
{
    EXPECT_DOUBLE_EQ(actual.re, re);
    EXPECT_DOUBLE_EQ(actual.im, im);
}

std::vector<double> Flatten(const Complex *c, int count)
{
    std::vector<double> v;
    for (int i = 0; i < count; ++i)
        v.insert(v.end(), {c[i].re, c[i].im});
    return v;
}

TEST(ComplexArithmetic, OperationsFollowTheTextbookFormulas)
{
    const double pair[2] = {1.5, -2.0};
    ExpectComplex(array2Cpx(pair), 1.5, -2.0);
    ExpectComplex(imadd(cmplx(1, 2), cmplx(3, -5)), 4, -3);
    ExpectComplex(imsub(cmplx(1, 2), cmplx(3, -5)), -2, 7);
    ExpectComplex(improduct(cmplx(0, 1), cmplx(0, 1)), -1, 0);
    ExpectComplex(improduct(cmplx(1, 2), cmplx(3, 4)), -5, 10);
    ExpectComplex(imdiv(cmplx(1, 0), cmplx(0, 1)), 0, -1);
    ExpectComplex(imdiv(cmplx(-5, 10), cmplx(3, 4)), 1, 2);
    EXPECT_DOUBLE_EQ(imabs(cmplx(-3, 4)), 5.0);
    const Complex minus_one = imexp(cmplx(0, M_PI));
    EXPECT_DOUBLE_EQ(minus_one.re, -1.0);
    EXPECT_NEAR(minus_one.im, 1.2246e-16, 1e-19);
    ExpectComplex(imexp(cmplx(std::log(2.0), 0)), 2, 0);
}

TEST(ComplexArithmeticDeathTest, DivisionByZeroStopsTheProcess)
{
    EXPECT_DEATH(imdiv(cmplx(1, 1), cmplx(0, 0)), "b_mag");
    // The squared magnitude underflows to zero although the divisor does not.
    EXPECT_DEATH(imdiv(cmplx(1, 1), cmplx(1e-200, -1e-200)), "b_mag");
}

TEST(Polynomial, ProductsTruncateToTheDestinationLength)
{
    const double a = 0.5;
    Complex dst[3] = {cmplx(1, 0), cmplx(0, 0), cmplx(0, 0)};
    const Complex src[2] = {cmplx(1, 0), cmplx(-a, 0)};
    CPolyMult(dst, 3, src, 2);
    CPolyMult(dst, 3, src, 2);
    EXPECT_EQ(Flatten(dst, 3), (std::vector<double>{1, 0, -2 * a, 0, a * a, 0}));
    CPolyMult(dst, 3, src, 2); // the cubic term is dropped
    EXPECT_EQ(Flatten(dst, 3), (std::vector<double>{1, 0, -3 * a, 0, 3 * a * a, 0}));

    // (1 + i z)(i + z) = i + 0 z + i z^2
    Complex c[3] = {cmplx(1, 0), cmplx(0, 1), cmplx(0, 0)};
    const Complex d[2] = {cmplx(0, 1), cmplx(1, 0)};
    CPolyMult(c, 3, d, 2);
    EXPECT_EQ(Flatten(c, 3), (std::vector<double>{0, 1, 0, 0, 0, 1}));
}

TEST(Polynomial, ProductWithItselfIsTheSquare)
{
    double real[4] = {1, 2, 3, 0};
    PolyMult(real, 4, real, 4);
    EXPECT_EQ(std::vector<double>(real, real + 4), (std::vector<double>{1, 4, 10, 12}));

    // (1+i + 2i z)^2 = 2i + (-4 + 4i) z; the coefficient beyond dst_count stays.
    Complex cpx[3] = {cmplx(1, 1), cmplx(0, 2), cmplx(5, 5)};
    CPolyMult(cpx, 2, cpx, 2);
    EXPECT_EQ(Flatten(cpx, 3), (std::vector<double>{0, 2, -4, 4, 5, 5}));
}

TEST(Polynomial, EmptyOperandsAndPartialSums)
{
    double dst[3] = {1, 2, 3};
    const double one[1] = {7};
    PolyMult(dst, 0, one, 1);
    EXPECT_EQ(std::vector<double>(dst, dst + 3), (std::vector<double>{1, 2, 3}));
    PolyMult(dst, 3, one, 0);
    EXPECT_EQ(std::vector<double>(dst, dst + 3), (std::vector<double>{0, 0, 0}));
    Complex cdst[2] = {cmplx(1, 1), cmplx(2, 2)};
    CPolyMult(cdst, 2, nullptr, -3);
    EXPECT_EQ(Flatten(cdst, 2), (std::vector<double>{0, 0, 0, 0}));

    double sum[4] = {1, 1, 1, 1};
    const double src[6] = {1, 2, 3, 4, 5, 6};
    PolyAdd(sum, 4, src, 2);
    EXPECT_EQ(std::vector<double>(sum, sum + 4), (std::vector<double>{2, 3, 1, 1}));
    PolyAdd(sum, 4, src, 6);
    EXPECT_EQ(std::vector<double>(sum, sum + 4), (std::vector<double>{3, 5, 4, 5}));
    const Complex csrc[1] = {cmplx(0.5, -1)};
    CPolyAdd(cdst, 2, csrc, 1);
    EXPECT_EQ(Flatten(cdst, 2), (std::vector<double>{0.5, -1, 0, 0}));
}

TEST(Rounding, HalvesAwayFromZeroAndSaturates)
{
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        double x;
        int expected;
    } table[] = {
        {0.0, 0}, {0.4999, 0}, {-0.5, 0}, {0.5, 1}, {-0.5001, -1}, {1.5, 2}, {2.5, 3}, {-2.5, -3},
        {3.5, 4}, {-7.5, -8}, {2.4999, 2}, {-2.4999, -2}, {2147483646.4, 2147483646},
        {2147483647.0, 2147483647}, {2147483647.5, 2147483647}, {3e9, 2147483647},
        {-3e9, -2147483647}, {-2147483648.0, -2147483647}, {inf, 2147483647}, {-inf, -2147483647},
        {std::numeric_limits<double>::quiet_NaN(), 0},
    };
    for (const auto &row : table)
        EXPECT_EQ(d2i(row.x), row.expected) << "x = " << row.x;
}

} // namespace
