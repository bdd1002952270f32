// The stages of the streaming pipeline: each takes samples in order and
// hands its own on to the next, so nothing holds more than a block of the run.
#pragma once

#include "model/model_loader.h"

#include <cstdint>
#include <functional>
#include <memory>
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
// takes the rest). The model gets a clock_times array of a clock per sample
// plus the terminator, filled with -1 before the first call (and, where the
// times are read, refilled after each) and followed by
// kClockGuardSlots guard slots; with `on_clocks` the times up to the first -1
// go to `on_clocks` before the block's samples go to `next`. A block that
// comes back with NaN or infinity, or with a guard slot written, ends the
// run with an Error.
constexpr size_t kClockGuardSlots = 64;

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
    void take_clocks();

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

} // namespace ami_host
