// The receiver's limiting-amplifier curves and the look-up of a curve by
// process corner.
#include "lim_amp_curves.h"

namespace {

constexpr int kCentre = 100;        // index of input 0.0
constexpr int kFirstMeasured = 39;  // first index held in kMeasured (input -0.61)
constexpr int kMeasuredPoints = kCentre - kFirstMeasured + 1;

// Measured output levels of each curve for inputs -0.61 to 0.0 in steps of
// 0.01 (indices 39 to 100), rows RX_Process -1, 0, 1. The measurement is kept
// as taken: it is not monotonic everywhere.
constexpr double kMeasured[3][kMeasuredPoints] = {
    {-0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114,
     -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114,
     -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114,
     -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.500114, -0.5,
     -0.499879, -0.499732, -0.499542, -0.5, -0.5, -0.5, -0.5, -0.49,
     -0.49, -0.48, -0.48, -0.49, -0.49, -0.48, -0.48, -0.47,
     -0.46, -0.45, -0.44, -0.43, -0.41, -0.39, -0.36, -0.32,
     -0.27, -0.23, -0.19, -0.11, -0.06, 0.0},
    {-0.517836, -0.517836, -0.517836, -0.517836, -0.517836, -0.517836, -0.517836, -0.517836,
     -0.517836, -0.517836, -0.517836, -0.517836, -0.517836, -0.517787, -0.517713, -0.517684,
     -0.517652, -0.517618, -0.517614, -0.517595, -0.517569, -0.517503, -0.52, -0.52,
     -0.52, -0.52, -0.52, -0.52, -0.52, -0.512799, -0.51, -0.52,
     -0.52, -0.52, -0.52, -0.52, -0.52, -0.52, -0.52, -0.51,
     -0.51, -0.51, -0.51, -0.51, -0.51, -0.51, -0.51, -0.51,
     -0.51, -0.49, -0.48, -0.48, -0.47, -0.45, -0.43, -0.41,
     -0.38, -0.3, -0.225, -0.15, -0.075, 0.0},
    {-0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54,
     -0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54,
     -0.54, -0.54, -0.54, -0.54, -0.54, -0.53, -0.53, -0.54,
     -0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54,
     -0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54, -0.54,
     -0.54, -0.54, -0.54, -0.54, -0.53, -0.53, -0.53, -0.53,
     -0.53, -0.53, -0.53, -0.53, -0.53, -0.52, -0.52, -0.47,
     -0.47, -0.42, -0.315, -0.21, -0.105, 0.0},
};

// Output below index 39: the negative saturation level of each curve.
constexpr double kSaturation[3] = {-0.500114, -0.517836, -0.537687};

// Saturation below the measured range, the measured values, and odd symmetry
// about input 0 above it. Input k is the double nearest -1 + k/100.
constexpr quorvane::LimAmpCurves build_curves()
{
    quorvane::LimAmpCurves curves{};
    for (int k = 0; k < RX_LIM_AMP_POINTS; ++k)
        curves.in[k] = static_cast<double>(k - kCentre) / 100.0;
    for (int row = 0; row < 3; ++row) {
        for (int k = 0; k <= kCentre; ++k)
            curves.out[row][k] = k < kFirstMeasured ? kSaturation[row] : kMeasured[row][k - kFirstMeasured];
        for (int k = kCentre + 1; k < RX_LIM_AMP_POINTS; ++k)
            curves.out[row][k] = -curves.out[row][2 * kCentre - k];
    }
    return curves;
}

constexpr quorvane::LimAmpCurves kCurves = build_curves();

} // namespace

const quorvane::LimAmpCurves &quorvane::lim_amp_curves()
{
    return kCurves;
}

int lim_ampGetIndex(int rx_process)
{
    return rx_process >= -1 && rx_process <= 1 ? rx_process + 1 : -1;
}
