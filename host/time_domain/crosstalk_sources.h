// Crosstalk in the time domain: each aggressor's own pattern through its own
// Tx and crosstalk channel, summed with the victim's at the Rx input.
#pragma once

#include "time_domain/stages.h"
#include "time_domain/time_domain_link.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ami_host {

// Sums streams of equal length sample by sample: input 0 (the victim) and
// one per aggressor; hands the sums on as soon as every input has them.
class SummingStage {
public:
    SummingStage(size_t inputs, Stage &next);
    Stage &input(size_t k);

private:
    class Input;
    void flush();
    void finished();
    std::vector<std::unique_ptr<Input>> inputs_;
    Stage &next_;
    size_t finished_ = 0;
    std::vector<double> sum_;
};

// The aggressors' side of the pipeline: patterns, Tx stages and crosstalk
// convolutions into a SummingStage whose input 0 takes the victim's channel.
class CrosstalkSources {
public:
    CrosstalkSources(const std::vector<AggressorLink> &aggressors, const TimeDomainSettings &settings, Stage &next);
    ~CrosstalkSources();
    Stage &victim_input();
    // Sends the next `bits` of every aggressor's pattern.
    void send(size_t bits);
    void finish();

private:
    struct Chain;
    SummingStage sum_;
    std::vector<std::unique_ptr<Chain>> chains_;
    size_t samples_per_bit_;
    std::vector<uint8_t> pattern_; // one aggressor's bits of the piece being sent
    std::vector<double> stimulus_; // and their samples
};

} // namespace ami_host
