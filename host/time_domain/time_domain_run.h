// The time-domain flow as a streaming pipeline: a PRBS stimulus through the
// Tx AMI_GetWave, the channel and the Rx AMI_GetWave, block by block, into
// the waveform analysis; nothing holds more than a block of the run.
#pragma once

#include "model/model_loader.h"
#include "base/progress.h"
#include "time_domain/edge_jitter.h"
#include "time_domain/waveform_analysis.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace ami_host {

// A stage of the pipeline: takes samples in order and hands its own on.
class Stage {
public:
    virtual ~Stage() = default;
    virtual void push(const double *samples, size_t count) = 0;
    // The stream has ended: hand on whatever is still held.
    virtual void finish() = 0;
};

// Convolution with a discrete response (impulse response x sample interval).
class ConvolutionStage : public Stage {
public:
    ConvolutionStage(const std::vector<double> &kernel, size_t fft_size, Stage &next);
    ~ConvolutionStage() override;
    void push(const double *samples, size_t count) override;
    void finish() override;
    size_t fft_size() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    Stage &next_;
};

// AMI_GetWave of a model on blocks of `block_size` samples (the last block
// takes the rest). With `on_clocks` the model gets a clock_times array of a
// clock per sample plus the terminator, filled with -1 before every call,
// and the times up to the first -1 go to `on_clocks` before the block's
// samples go to `next`. A block that comes back with NaN or infinity ends
// the run with an Error.
class GetWaveStage : public Stage {
public:
    using ClockSink = std::function<void(const double *times, size_t count)>;
    GetWaveStage(ModelInstance &model, long block_size, Stage &next, ClockSink on_clocks = {});
    void push(const double *samples, size_t count) override;
    void finish() override;

    long calls() const { return calls_; }
    const std::string &parameters_out() const { return parameters_out_; }

private:
    void call();
    void refuse_non_finite() const;
    void hand_on_clocks();

    ModelInstance &model_;
    size_t block_size_;
    Stage &next_;
    ClockSink on_clocks_;
    std::vector<double> block_;
    std::vector<double> clock_times_;
    long calls_ = 0;
    long long samples_before_ = 0; // samples of the earlier calls
    std::string parameters_out_;
};

// The stimulus's level for a bit: -0.5 or +0.5 V.
double level_of(uint8_t bit);
// `samples` = the levels of `bits`, samples_per_bit samples each.
void nrz_samples(const std::vector<uint8_t> &bits, size_t samples_per_bit, std::vector<double> &samples);

struct TimeDomainSettings {
    int prbs_order = 15;
    long long bits = 0;
    int samples_per_bit = 0;
    long block_size = 0; // samples per AMI_GetWave call
    size_t fft_size = 0; // samples per FFT segment of the convolutions; 0: from the kernel
    // The transmitter's jitter, which moves the stimulus's transitions
    // (absent: transitions on the sample grid).
    std::optional<EdgeJitter> tx_jitter;
};

// What runs in the pipeline: the models (null: no AMI_GetWave on that
// side), the channel's discrete response between them, and the discrete
// statistical response of the whole link for the linear reference (empty:
// none).
struct AggressorLink {
    ModelInstance *tx = nullptr; // its own Tx instance; null: no Tx AMI_GetWave
    std::vector<double> channel; // discrete crosstalk response
};

struct TimeDomainLink {
    ModelInstance *tx = nullptr;
    std::vector<double> channel;
    ModelInstance *rx = nullptr;
    std::vector<double> reference;
    std::vector<AggressorLink> aggressors; // crosstalk summed ahead of the Rx, each with its own pattern
};

struct TimeDomainRun {
    WaveformResult waveform;
    bool clock_from_model = false; // false: the Rx gave no clock times, the ideal clock was used
    std::string rx_parameters_out; // the Rx model's last output parameter string
    long tx_calls = 0;
    long rx_calls = 0;
    size_t fft_size = 0;
};

// Runs the flow: bits of levels -0.5 and +0.5 V, samples_per_bit samples
// each, through the link into an analysis with `analysis` (its clock
// settings are chosen here: the Rx's clock times, or the ideal clock when
// it gives none). Throws Error when a model's AMI_GetWave fails, writes
// past the clock_times array or returns NaN or infinity.
TimeDomainRun run_time_domain(const TimeDomainSettings &settings, const TimeDomainLink &link,
                              const AnalysisSettings &analysis, Progress &progress);

} // namespace ami_host
