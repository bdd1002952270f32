// The two measurements that every model benchmark makes, on the model whose
// entry points the benchmark program is linked with.
#pragma once

#include "ibis_ami_model.h"
#include "test_signals.h"
#include "workloads.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

inline double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Times AMI_GetWave on one block: every pass starts again from `source`, so
// the waveform stays bounded. Reports samples per second, and the best pass's
// rate over that of a plain order-6 IIR and 12-tap FIR on the same samples in
// the same run (x_plain_iir, x_plain_fir), and checks the output.
// `clock_times` is null for a model without clock recovery, else it has
// source.size() + 1 slots.
inline void time_get_wave(benchmark::State &state, void *instance, const std::vector<double> &source,
                          double *clock_times)
{
    const long block = static_cast<long>(source.size());
    const double iir = workloads::plain_rate(workloads::plain_iir, source, 20);
    const double fir = workloads::plain_rate(workloads::plain_fir, source, 20);
    std::vector<double> wave = source;
    char *parameters = nullptr;
    double best = 1e300;
    for (auto _ : state) {
        state.PauseTiming();
        wave = source;
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        AMI_GetWave(wave.data(), block, clock_times, &parameters, instance);
        benchmark::DoNotOptimize(wave.data());
        best = std::min(best, seconds_since(start));
    }
    if (!all_finite(wave) || wave.size() != source.size())
        state.SkipWithError("output is not finite or not of the block's length");
    state.SetItemsProcessed(state.iterations() * block);
    state.counters["x_plain_iir"] = static_cast<double>(block) / best / iir;
    state.counters["x_plain_fir"] = static_cast<double>(block) / best / fir;
}

// Times AMI_Init (with AMI_Close) on `matrix`: `aggressors` + 1 columns of
// `rows` samples, restored before every pass. Reports samples per second and
// the best pass's time in passes of a plain order-6 IIR over the same samples
// (x_plain_iir), and checks the output.
inline void time_init(benchmark::State &state, const std::vector<double> &matrix, long rows, long aggressors,
                      double sample_interval, double bit_time, const char *settings)
{
    std::vector<double> columns;
    const double iir = workloads::plain_rate(workloads::plain_iir, matrix, 20);
    double best = 1e300;
    for (auto _ : state) {
        state.PauseTiming();
        columns = matrix;
        std::string text = settings ? settings : "";
        state.ResumeTiming();
        char *parameters = nullptr;
        char *message = nullptr;
        void *instance = nullptr;
        const auto start = std::chrono::steady_clock::now();
        if (AMI_Init(columns.data(), rows, aggressors, sample_interval, bit_time, settings ? text.data() : nullptr,
                     &parameters, &instance, &message) != 1)
            state.SkipWithError("AMI_Init failed");
        AMI_Close(instance);
        best = std::min(best, seconds_since(start));
    }
    if (!all_finite(columns) || columns.size() != matrix.size())
        state.SkipWithError("output is not finite or not of the matrix's length");
    state.SetItemsProcessed(state.iterations() * (aggressors + 1) * rows);
    state.counters["x_plain_iir"] = best * iir / static_cast<double>(matrix.size());
}
