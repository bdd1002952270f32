// The time-domain analysis, fed as the run streams: the receiver's output,
// the clock it recovers and the bits sent go in piece by piece, and the
// clock, the bit errors and the eye come out in memory that does not grow
// with the run.
#pragma once

#include "time_domain/analysis_records.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

namespace ami_host {

class WaveformAnalyser {
public:
    explicit WaveformAnalyser(const AnalysisSettings &settings);
    ~WaveformAnalyser();
    WaveformAnalyser(const WaveformAnalyser &) = delete;
    WaveformAnalyser &operator=(const WaveformAnalyser &) = delete;

    // Each input continues where its previous piece ended; the bits sent and
    // the reference must run ahead of the output they explain.
    void sent(const uint8_t *bits, size_t count);
    void reference(const double *samples, size_t count);
    void output(const double *samples, size_t count);
    // Clock times handed out by the receiver (edge times, seconds; the data
    // are sampled half a bit later), after the output they fall in.
    void clock_times(const double *edges, size_t count);
    // The run has ended: analyses what is left.
    void finish();

    bool any_clock() const;
    WaveformResult result() const;

private:
    struct State;
    std::unique_ptr<State> s_;
};

// The whole waveform at once (for tests and short runs): `edges` are the
// clock times (ignored with the ideal clock).
WaveformResult analyse_waveform(const AnalysisSettings &settings, const std::vector<double> &wave,
                                const std::vector<double> &edges, const std::vector<uint8_t> &bits,
                                const std::vector<double> *reference = nullptr);

} // namespace ami_host
