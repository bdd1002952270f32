// The statistical eye and the impairments behind it, for report.json.
#pragma once

#include "model/impairments.h"
#include "statistical/ber_eye.h"

#include <nlohmann/json.hpp>

namespace ami_host {

// Logarithms of ratios are written to a thousandth and no lower than this (a
// ratio of 0 included).
constexpr double kLog10BerFloor = -40.0;
// At most this many thresholds of the eye's grid are written.
constexpr size_t kWrittenThresholds = 512;

// Volts, seconds and ratios as they are; "_ui" keys in unit intervals;
// NaN (a closed contour) as null.
nlohmann::json stat_eye_json(const StatEyeResult &result);

// {"Tx_Rj": {"ui": ..., "seconds": ...}, "Rx_Noise": volts, ...}: those not zero.
nlohmann::json impairments_json(const Impairments &impairments, double bit_time);

} // namespace ami_host
