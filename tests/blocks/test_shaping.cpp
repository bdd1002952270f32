// Tests of the shaping blocks.
#include "Nerova_AMI_Model.h"
#include "test_signals.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using Samples = std::vector<double>;

Samples Step(int count)
{
    return Samples(count, 1.0);
}

template <class Record>
using ApplyFn = void (*)(const double *, int, Record, int, double *);

template <class Record>
Samples Filter(ApplyFn<Record> apply, Record rec, const Samples &in, int reset = 1)
{
    Samples out(in.size());
    apply(in.data(), static_cast<int>(in.size()), rec, reset, out.data());
    return out;
}

void ExpectNear(const Samples &got, const Samples &want, double tolerance)
{
    ASSERT_GE(got.size(), want.size());
    for (size_t n = 0; n < want.size(); ++n)
        EXPECT_NEAR(got[n], want[n], tolerance) << "sample " << n;
}

TEST(RiseFall, StepRisesMonotonicallyThroughTenAndNinetyPercent)
{
    RiseFall rf = SetRiseFall(1e-12, 3e-11);
    const Samples y = Filter(ApplyRiseFall, rf, Step(400));
    const double q = std::exp(-1.0 / 30.0);
    EXPECT_NEAR(y[0], (1.0 - q) * (1.0 - q), 1e-15);
    int first10 = -1, first90 = -1;
    for (int n = 0; n < 400; ++n) {
        if (first10 < 0 && y[n] >= 0.1)
            first10 = n;
        if (first90 < 0 && y[n] >= 0.9)
            first90 = n;
        if (n > 0) {
            EXPECT_GE(y[n], y[n - 1]) << n;
        }
        EXPECT_LE(y[n], 1.0) << n;
    }
    EXPECT_EQ(first10, 8);
    EXPECT_EQ(first90, 58);
    EXPECT_NEAR(y[399], 1.0, 1e-9);
    DeleteRiseFall(rf);
}

TEST(Delay, RatiosRoundToWholeSamplesHalvesDownAndNoLinePassesThrough)
{
    const Samples in = {1, 2, 3, 4, 5, 6};
    const struct {
        double ratio;
        Samples out;
    } cases[] = {{2.0, {0, 0, 1, 2, 3, 4}}, {2.5, {0, 0, 1, 2, 3, 4}}, {2.6, {0, 0, 0, 1, 2, 3}},
                 {0.2, in},                 {-0.5, in},                 {-3.0, in}};
    for (const auto &c : cases) {
        Delay d = SetupDelay(c.ratio * 1e-12, 1e-12);
        EXPECT_EQ(d.length == 0, c.ratio <= -0.5);
        Samples x = in;
        ApplyDelay(x.data(), 6, d, 1, x.data());
        EXPECT_EQ(x, c.out) << c.ratio;
        DeleteDelay(d);
    }
}

TEST(Slope, StepBecomesARampOverTheRampTime)
{
    Slope s = SetupSlope(3.0, 1.0);
    ExpectNear(Filter(ApplySlope, s, Step(6)), {1.0 / 3, 2.0 / 3, 1, 1, 1, 1}, 1e-15);
    DeleteSlope(s);
    s = SetupSlope(2.5, 1.0);
    ExpectNear(Filter(ApplySlope, s, Step(5)), {0.4, 0.8, 1, 1, 1}, 1e-15);
    DeleteSlope(s);

    // Up to one sample, and with no ramp time at all, samples pass unchanged.
    const Samples x = noise(20, 7);
    for (double ramp : {0.5, 0.0, -2.0}) {
        s = SetupSlope(ramp, 1.0);
        ExpectNear(Filter(ApplySlope, s, x), x, 1e-15);
        DeleteSlope(s);
    }
}

TEST(TriangleAndRayleigh, StepGivesADecayOrOneHumpAndNoDC)
{
    Triangle t = SetTriangle(1.0, 1.0, 4.0);
    ExpectNear(Filter(ApplyTriangle, t, Step(4)), {0.8825, 0.6873, 0.5353, 0.4169}, 1e-4);
    DeleteTriangle(t);

    Rayleigh r = SetRayleigh(1.0, 1.0, 10.0);
    const Samples h = Filter(ApplyRayleigh, r, unit_impulse(600));
    ExpectNear(h, {0.1326, 0.1957, 0.1090, 0.0498}, 1e-4);
    double sum = 0.0;
    for (double v : h)
        sum += v;
    EXPECT_NEAR(sum, 0.0, 1e-12);

    const Samples y = Filter(ApplyRayleigh, r, Step(600));
    int peak = 0;
    for (int n = 0; n < 600; ++n)
        if (y[n] > y[peak])
            peak = n;
    EXPECT_EQ(peak, 4);
    EXPECT_NEAR(y[peak], 0.497, 1e-3);
    EXPECT_NEAR(y[599], 0.0, 1e-12);
    DeleteRayleigh(r);
}

TEST(Sawtooth, StepGivesOneToothAndNoDurationGivesNothing)
{
    Sawtooth s = SetSawtooth(1.0, 1.0, 3.0);
    ExpectNear(Filter(ApplySawtooth, s, unit_impulse(7)), {1.0 / 3, 1.0 / 3, 1.0 / 3, -1, 0, 0, 0}, 1e-15);
    ExpectNear(Filter(ApplySawtooth, s, Step(6)), {1.0 / 3, 2.0 / 3, 1, 0, 0, 0}, 1e-15);
    DeleteSawtooth(s);
    s = SetSawtooth(1.0, 1.0, 2.5);
    ExpectNear(Filter(ApplySawtooth, s, Step(5)), {0.4, 0.8, 1, 0, 0}, 1e-15);
    DeleteSawtooth(s);

    for (double duration : {0.0, -1.0}) {
        s = SetSawtooth(1.0, 2.0, duration);
        EXPECT_EQ(s.length, 1);
        EXPECT_EQ(Filter(ApplySawtooth, s, noise(5, 3)), Samples(5, 0.0));
        DeleteSawtooth(s);
    }
}

// One call over a signal equals uneven in-place calls over its pieces; a
// reset at the end of a call leaves the record as fresh; an empty call
// changes nothing.
template <class Record, class Setup, class Delete>
void ExpectStreaming(Setup setup, ApplyFn<Record> apply, Delete destroy)
{
    const Samples x = noise(97, 11);
    Record whole = setup();
    const Samples expected = Filter(apply, whole, x, 0);

    Record pieces = setup();
    Samples y = x;
    int done = 0;
    for (int chunk : {1, 0, 30, 2, 64}) {
        apply(y.data() + done, chunk, pieces, 0, y.data() + done);
        done += chunk;
    }
    EXPECT_EQ(y, expected);

    apply(x.data(), -1, pieces, 0, nullptr);
    apply(nullptr, 5, pieces, 0, nullptr);
    EXPECT_EQ(Filter(apply, whole, x, 1), Filter(apply, pieces, x, 1)) << "a continuation of the stream";
    EXPECT_EQ(Filter(apply, pieces, x, 0), expected) << "from rest after a reset";
    destroy(whole);
    destroy(pieces);
}

TEST(Shaping, StreamingEqualsOneCallAndResetClearsAfterTheCall)
{
    ExpectStreaming<RiseFall>([] { return SetRiseFall(1.0, 3.0); }, ApplyRiseFall, DeleteRiseFall);
    ExpectStreaming<Delay>([] { return SetupDelay(4.0, 1.0); }, ApplyDelay, DeleteDelay);
    ExpectStreaming<Slope>([] { return SetupSlope(6.5, 1.0); }, ApplySlope, DeleteSlope);
    ExpectStreaming<Triangle>([] { return SetTriangle(1.0, 0.7, 5.0); }, ApplyTriangle, DeleteTriangle);
    ExpectStreaming<Rayleigh>([] { return SetRayleigh(1.0, 1.3, 8.0); }, ApplyRayleigh, DeleteRayleigh);
    ExpectStreaming<Sawtooth>([] { return SetSawtooth(1.0, 0.9, 4.5); }, ApplySawtooth, DeleteSawtooth);
}

} // namespace
