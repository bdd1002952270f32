// Tests of the lookup table and of the nonlinearities applied through PRBS7.
#include "Nerova_AMI_Model.h"
#include "heap_calls.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST(Table, InterpolatesAndHoldsTheEnds)
{
    const double x[2] = {0.0, 1.0}, y[2] = {0.0, 2.0};
    Table table = SetTable(2, x, y);
    ASSERT_EQ(table.npts, 2);
    std::vector<double> v = {-1.0, 0.0, 0.25, 1.0, 5.0, kNaN};
    const long calls = heap_calls();
    ApplyTable(v.data(), 6, table, v.data());
    EXPECT_EQ(heap_calls(), calls);
    const double expected[5] = {0.0, 0.0, 0.5, 2.0, 2.0};
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(v[i], expected[i]) << i;
    EXPECT_TRUE(std::isnan(v[5]));
    DeleteTable(table);

    // Interior points give their own y; the caller's arrays are copied.
    double xs[4] = {-1.0, -0.3, 0.2, 0.9}, ys[4] = {3.0, -1.0, 0.7, 4.0};
    table = SetTable(4, xs, ys);
    xs[1] = 99.0;
    double in[3] = {-0.3, 0.2, 0.55}, out[3];
    ApplyTable(in, 3, table, out);
    EXPECT_NEAR(out[0], -1.0, 1e-15);
    EXPECT_NEAR(out[1], 0.7, 1e-15);
    EXPECT_NEAR(out[2], 2.35, 1e-15);
    DeleteTable(table);

    // A table without points passes samples through.
    EXPECT_EQ(SetTable(2, x, nullptr).npts, 0);
    ApplyTable(in, 3, Table{}, out);
    EXPECT_EQ(out[2], 0.55);
}

TEST(TableDeathTest, InvalidPointsStopTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const double x[3] = {0.0, 1.0, 1.0}, y[3] = {};
    EXPECT_DEATH(SetTable(1, x, y), "npts > 1 && npts < 0xffffff");
    EXPECT_DEATH(SetTable(0xffffff, x, y), "npts > 1 && npts < 0xffffff");
    EXPECT_DEATH(SetTable(3, x, y), "x\\[indx\\] > x\\[indx-1\\]");
    const double with_nan[2] = {0.0, kNaN};
    EXPECT_DEATH(SetTable(2, with_nan, y), "x\\[indx\\] > x\\[indx-1\\]");

    // Only a hand-made one-point record meeting a NaN leaves an empty search.
    double px[1] = {0.0}, py[1] = {1.0};
    const Table one{1, px, py};
    double v[2] = {-3.0, 3.0};
    ApplyTable(v, 2, one, v);
    EXPECT_EQ(v[0] + v[1], 2.0);
    v[0] = kNaN;
    EXPECT_DEATH(ApplyTable(v, 1, one, v), "hi != lo");
}

// A smooth impulse response of n samples.
std::vector<double> Channel(int n)
{
    std::vector<double> h(n);
    for (int i = 0; i < n; ++i)
        h[i] = 0.08 * std::exp(-0.5 * std::pow((i - 40) / 9.0, 2));
    return h;
}

TEST(TablePRBS, NonlinearitiesThroughOnePeriod)
{
    const int n = 1024, S = 8;
    const double dt = 0.125;
    const std::vector<double> h = Channel(n);
    std::vector<double> period(127 * S), plain(n);
    I2PRBS(period.data(), h.data(), n, S, dt);
    PRBS2I(plain.data(), period.data(), n, S, dt);

    // An identity table returns the plain round trip, in place too.
    const double ends_x[2] = {-10.0, 10.0};
    Table identity = SetTable(2, ends_x, ends_x);
    std::vector<double> y = h;
    ApplyTablePRBS(y.data(), n, S, dt, identity, y.data());
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(y[i], plain[i], 1e-12) << i;

    // Pulse responses likewise through P2PRBS and PRBS2P.
    std::vector<double> pulse(n), pulse_plain(n);
    I2P(pulse.data(), h.data(), n, S, dt);
    P2PRBS(period.data(), pulse.data(), n, S, dt);
    PRBS2P(pulse_plain.data(), period.data(), n, S, dt);
    PulseTablePRBS(pulse.data(), n, S, dt, identity, pulse.data());
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(pulse[i], pulse_plain[i], 1e-12) << i;
    DeleteTable(identity);

    // tanh: nearly linear for a large limit, compressed for a small one.
    std::vector<double> wide(n), narrow(n);
    Apply_tanh(h.data(), n, S, dt, 1e3, wide.data());
    Apply_tanh(h.data(), n, S, dt, 0.1, narrow.data());
    for (int i = 0; i < n; ++i)
        EXPECT_NEAR(wide[i], plain[i], 1e-6 * std::fabs(plain[40])) << i;
    EXPECT_LT(narrow[40], 0.9 * plain[40]);
    EXPECT_GT(narrow[40], 0.0);
}

TEST(TablePRBS, ResponsesTooShortPassUnchanged)
{
    const double ends_x[2] = {-1.0, 1.0}, zeros[2] = {0.0, 0.0};
    Table flat = SetTable(2, ends_x, zeros);
    const std::vector<double> h = Channel(200);
    for (int S : {2, 0, -1}) {
        std::vector<double> a(200), b(200), c(200);
        ApplyTablePRBS(h.data(), 200, S, 1e-12, flat, a.data());
        PulseTablePRBS(h.data(), 200, S, 1e-12, flat, b.data());
        Apply_tanh(h.data(), 200, S, 1e-12, 1e-3, c.data());
        EXPECT_EQ(a, h) << S;
        EXPECT_EQ(b, h) << S;
        EXPECT_EQ(c, h) << S;
    }
    std::vector<double> a(5);
    ApplyTablePRBS(h.data(), 5, 0, 1e-12, flat, a.data());
    EXPECT_EQ(a, std::vector<double>(h.begin(), h.begin() + 5));
    DeleteTable(flat);
}

} // namespace
