// The link's jitter and noise as the time-domain flow applies them: the
// transmitter's on the stimulus's transitions, the receiver's at its
// decisions. Draws follow from one seed, so a run repeats exactly.
#pragma once

#include "model/impairments.h"
#include "time_domain/edge_jitter.h"
#include "time_domain/waveform_analysis.h"

#include <cstdint>
#include <optional>

namespace ami_host {

// The transmitter's edge jitter; absent when it moves no edge.
std::optional<EdgeJitter> stimulus_jitter(const Impairments &impairments, double bit_time, uint64_t seed);

// The receiver's sampling jitter (about either clock), noise and sensitivity.
DecisionImpairments decision_impairments(const Impairments &impairments, double bit_time, uint64_t seed);

} // namespace ami_host
