// The linear reference: the stimulus through the whole link's statistical
// response, for the eye a linear receiver with that response would show.
#pragma once

#include "time_domain/convolver.h"
#include "time_domain/nrz_convolver.h"
#include "time_domain/stages.h"
#include "time_domain/time_domain_link.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ami_host {

// On the sample grid the stimulus is NRZ, and the bit-rate convolution gives
// the same samples (to rounding) for less than half the work; jittered
// transitions need the convolution sample by sample.
class ReferenceStage {
public:
    ReferenceStage(const std::vector<double> &kernel, const TimeDomainSettings &settings, Stage &next);
    // The next piece of the stimulus: its bits and their samples.
    void send(const std::vector<uint8_t> &bits, const std::vector<double> &samples);
    void finish();

private:
    Stage &next_;
    Convolver::Sink hand_on_;
    std::unique_ptr<Convolver> samples_;
    std::unique_ptr<NrzConvolver> bits_;
    std::vector<double> levels_;
};

} // namespace ami_host
