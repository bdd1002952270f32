// The receiver's CTLE tables, limiting-amplifier curves and their look-ups.
#include "Nerova_AMI_Model.h"
#include "Quorvane_pelisk4.h"
#include "lim_amp_curves.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

TEST(RxLookUps, SettingsMapToRowsAndCurves)
{
    EXPECT_EQ(RxCTLEGetIndex(-1, 0), 0);
    EXPECT_EQ(RxCTLEGetIndex(0, 0), 5);
    EXPECT_EQ(RxCTLEGetIndex(1, 4), 14);
    EXPECT_EQ(RxCTLEGetIndex(2, 0), -1);
    EXPECT_EQ(RxCTLEGetIndex(0, 5), -1);
    EXPECT_EQ(RxCTLEGetIndex(-1, -1), -1);
    for (int process = -1; process <= 1; ++process)
        for (int eq = 0; eq <= 4; ++eq)
            EXPECT_EQ(RxCTLEGetIndex(process, eq), (process + 1) * 5 + eq);
    EXPECT_EQ(lim_ampGetIndex(-1), 0);
    EXPECT_EQ(lim_ampGetIndex(0), 1);
    EXPECT_EQ(lim_ampGetIndex(1), 2);
    EXPECT_EQ(lim_ampGetIndex(2), -1);
    EXPECT_EQ(lim_ampGetIndex(-2), -1);
}

// Used slots per row: the rest hold the filler pole with a zero residue.
constexpr int kUsedSlots[RX_CTLE_CONFIGS] = {4, 2, 3, 4, 6, 4, 3, 3, 5, 4, 2, 4, 3, 4, 3};

TEST(RxCTLETables, FillerSlotsEndEachRowAndValuesAreExact)
{
    for (int row = 0; row < RX_CTLE_CONFIGS; ++row) {
        EXPECT_EQ(RxCTLE_gain[row], 1.0);
        for (int slot = 0; slot < RX_CTLE_ORDER; ++slot) {
            const bool used = slot < kUsedSlots[row];
            const double *pole = &RxCTLE_poles[row][2 * slot];
            const double *residue = &RxCTLE_pfract[row][2 * slot];
            EXPECT_EQ(residue[0] == 0.0 && residue[1] == 0.0, !used) << row << ' ' << slot;
            if (!used) {
                EXPECT_EQ(pole[0], -154415957414.096);
                EXPECT_EQ(pole[1], 0.0);
            }
        }
    }
    // Spot checks against the fitted values, digit for digit.
    EXPECT_EQ(RxCTLE_poles[4][10], std::strtod("-27569917.0654088", nullptr));
    EXPECT_EQ(RxCTLE_pfract[4][11], std::strtod("-1.77517825367676e-15", nullptr));
    EXPECT_EQ(RxCTLE_poles[9][4], std::strtod("-13785999470.7787", nullptr));
    EXPECT_EQ(RxCTLE_poles[9][6], std::strtod("-13785999470.7786", nullptr));
    EXPECT_EQ(RxCTLE_pfract[12][1], std::strtod("4.52112305926455e-17", nullptr));
    EXPECT_EQ(RxCTLE_pfract[5][3], std::strtod("74.0475758057698", nullptr));
    EXPECT_EQ(RxCTLE_pfract[14][5], std::strtod("8.63143436660765", nullptr));
}

// A configuration's gain at DC, sum(b) / (1 - sum(f)), is the sum of the
// real parts of its residues; sections past the used ones leave their
// coefficients at zero. The sum of the feedback coefficients nears 1 as the
// sample interval shrinks (row 4's slowest pole is 2.8e7 rad/s), so the
// check is made at 1e-11 s, where rounding stays far below its tolerance.
TEST(RxCTLEFilter, DCGainOfEveryConfigurationIsTheSumOfItsResidues)
{
    PeakingFilter ctle = RxCTLEGetFilter(1e-11, nullptr, 0);
    ASSERT_EQ(ctle.config_count, RX_CTLE_CONFIGS);
    ASSERT_EQ(ctle.tap_count, RX_CTLE_ORDER + 1);
    for (int row = 0; row < RX_CTLE_CONFIGS; ++row) {
        double forward = 0.0, feedback = 0.0, residues = 0.0;
        for (int j = 0; j <= RX_CTLE_ORDER; ++j)
            forward += ctle.forward_coefs[row][j];
        for (int j = 0; j < RX_CTLE_ORDER; ++j)
            feedback += ctle.feedback_coefs[row][j];
        for (int slot = 0; slot < RX_CTLE_ORDER; ++slot)
            residues += RxCTLE_pfract[row][2 * slot];
        EXPECT_NEAR(forward / (1.0 - feedback), residues, 1e-8 * std::fabs(residues)) << row;
        for (int j = kUsedSlots[row] + 1; j <= RX_CTLE_ORDER; ++j) {
            EXPECT_EQ(ctle.forward_coefs[row][j], 0.0) << row << ' ' << j;
            EXPECT_EQ(ctle.feedback_coefs[row][j - 1], 0.0) << row << ' ' << j;
        }
    }
    DeletePeakingFilter(ctle);
}

TEST(LimAmpCurves, BuiltFromSaturationMeasurementAndSymmetry)
{
    const quorvane::LimAmpCurves &c = quorvane::lim_amp_curves();
    for (int k = 0; k < RX_LIM_AMP_POINTS; ++k) {
        // The two-decimal value -1 + k/100, read as a decimal number.
        char text[16];
        const int hundredths = k - 100;
        std::snprintf(text, sizeof text, "%s%d.%02d", hundredths < 0 ? "-" : "", std::abs(hundredths) / 100,
                      std::abs(hundredths) % 100);
        EXPECT_EQ(c.in[k], std::strtod(text, nullptr)) << k;
        if (k > 0) {
            EXPECT_GT(c.in[k], c.in[k - 1]);
        }
        for (int row = 0; row < 3; ++row)
            EXPECT_EQ(c.out[row][200 - k], -c.out[row][k]) << row << ' ' << k;
    }
    EXPECT_EQ(c.out[0][69], -0.500114);
    EXPECT_EQ(c.out[0][70], -0.5);
    EXPECT_EQ(c.out[1][51], -0.517836);
    EXPECT_EQ(c.out[1][52], -0.517787);
    EXPECT_EQ(c.out[2][38], -0.537687);
    EXPECT_EQ(c.out[2][39], -0.54);
    EXPECT_EQ(c.out[1][100], 0.0);
    EXPECT_EQ(c.out[1][200], 0.517836);
    EXPECT_EQ(c.out[2][161], 0.54);
    EXPECT_EQ(c.out[0][99], -0.06);
}

TEST(LimAmpCurves, TableInterpolatesAndSaturates)
{
    const quorvane::LimAmpCurves &c = quorvane::lim_amp_curves();
    Table table = SetTable(RX_LIM_AMP_POINTS, c.in, c.out[0]);
    double v[4] = {0.005, 1.5, -7.0, 0.0};
    ApplyTable(v, 4, table, v);
    EXPECT_NEAR(v[0], 0.03, 1e-12);
    EXPECT_EQ(v[1], 0.500114);
    EXPECT_EQ(v[2], -0.500114);
    EXPECT_EQ(v[3], 0.0);
    DeleteTable(table);
}

} // namespace
