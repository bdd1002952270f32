// Rounding of a double to an int, halves away from zero, saturating.
#include "ami_complex.h"

#include <climits>
#include <cmath>

extern "C" int d2i(double x)
{
    if (x >= -0.5 && x < 0.5)
        return 0;
    // Converting NaN to int is undefined; it rounds to 0 here.
    if (std::isnan(x))
        return 0;
    const int sign = x > 0.0 ? 1 : -1;
    const double a = std::fabs(x) + 0.5;
    // floor(a) is at least INT_MAX from INT_MAX + 0.5 on; the test keeps the
    // conversion below in range (infinity included).
    if (a >= static_cast<double>(INT_MAX))
        return sign * INT_MAX;
    return sign * static_cast<int>(std::floor(a));
}
