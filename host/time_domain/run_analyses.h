// The analyses at the end of the pipeline: the host's ideal clock's, and with
// an Rx the recovered clock's. The ideal clock's stops at the Rx's first
// clock time and is reported only when the Rx gives none.
#pragma once

#include "time_domain/stages.h"
#include "time_domain/waveform_analysis.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace ami_host {

// The receiver's output (or the linear reference) into the analyses that
// are still running.
class AnalysisInput : public Stage {
public:
    AnalysisInput(const std::vector<WaveformAnalyser *> &analysers, bool reference)
        : analysers_(analysers), reference_(reference)
    {
    }
    void push(const double *samples, size_t count) override;
    void finish() override {}

private:
    const std::vector<WaveformAnalyser *> &analysers_;
    bool reference_;
};

class RunAnalyses {
public:
    // `analysis`: the settings of both, less the clock's.
    RunAnalyses(const AnalysisSettings &analysis, bool recovered_clock);
    RunAnalyses(const RunAnalyses &) = delete;
    RunAnalyses &operator=(const RunAnalyses &) = delete;

    // The bits sent, ahead of the output they explain.
    void sent(const std::vector<uint8_t> &bits);
    // The Rx's clock times, after the output they fall in.
    void clock_times(const double *times, size_t count);
    Stage &output() { return output_; }
    Stage &reference() { return reference_; }

    // Ends the analysis reported and gives its result.
    WaveformResult finish();
    // Whether the analysis reported is the recovered clock's.
    bool clock_from_model() const;

private:
    WaveformAnalyser ideal_;
    std::unique_ptr<WaveformAnalyser> recovered_;
    std::vector<WaveformAnalyser *> running_;
    AnalysisInput output_{running_, false}, reference_{running_, true};
};

} // namespace ami_host
