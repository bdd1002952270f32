// The receiver's waveform path: CTLE, limiting amplifier, edge-rate filter
// and clock recovery over one block of samples.
#pragma once

#include "Quorvane_pelisk4.h"

namespace quorvane {

// `rx` must hold all four blocks (AMI_Init keeps all or none). Filters
// count (>= 1) samples in place through the CTLE configuration
// `config`, the limiting amplifier and the edge-rate filter, and runs the
// clock recovery over the result when clock_times is not null. Returns the
// clock-times index after the last time written (clock_index when none was
// written or there is no clock recovery). Each sample is taken through all
// four stages before the next one.
int run_receiver(RxInstance *rx, int config, double *samples, int count, int clock_index, double *clock_times);

} // namespace quorvane
