// Crosstalk in both flows: the aggressors' peak distortion at the victim's
// sampling instant, and in the time domain each aggressor's own pattern
// through its own Tx and crosstalk channel, summed at the Rx input.
#pragma once

#include "model/model_loader.h"
#include "statistical/init_flow.h"
#include "time_domain/time_domain_run.h"

#include <memory>
#include <string>
#include <vector>

namespace ami_host {

struct CrosstalkFigures {
    std::vector<double> peak_distortion; // per aggressor, volts: the most its pulse adds at the victim's cursor phase
    double total = 0.0;                  // their sum
    double eye_without = 0.0;            // the victim's worst-case eye height
    double eye_with = 0.0;               // that less the total (data of -0.5/+0.5 V)
};

// The aggressors' contributions after the last model of the statistical flow.
CrosstalkFigures crosstalk_figures(const StatisticalResult &result, int samples_per_bit, double sample_interval);

// What the report says of the crosstalk.
struct CrosstalkRecord {
    std::vector<std::string> aggressors;         // one line each
    std::vector<std::vector<std::string>> notes; // per aggressor: assumptions and warnings
    CrosstalkFigures figures;
    bool time_domain = false;  // both time-domain runs made
    EyeResult eye_without;     // the time-domain eye of the run without crosstalk
};

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
