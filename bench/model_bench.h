// The two measurements that every model benchmark makes, on the model whose
// entry points the benchmark program is linked with.
#pragma once

#include "ibis_ami_model.h"
#include "test_signals.h"

#include <benchmark/benchmark.h>

#include <string>
#include <vector>

// Times AMI_GetWave on one block: every pass starts again from `source`, so
// the waveform stays bounded. Reports samples per second and checks the
// output. `clock_times` is null for a model without clock recovery, else it
// has source.size() + 1 slots.
inline void time_get_wave(benchmark::State &state, void *instance, const std::vector<double> &source,
                          double *clock_times)
{
    const long block = static_cast<long>(source.size());
    std::vector<double> wave = source;
    char *parameters = nullptr;
    for (auto _ : state) {
        state.PauseTiming();
        wave = source;
        state.ResumeTiming();
        AMI_GetWave(wave.data(), block, clock_times, &parameters, instance);
        benchmark::DoNotOptimize(wave.data());
    }
    if (!all_finite(wave))
        state.SkipWithError("output is not finite");
    state.SetItemsProcessed(state.iterations() * block);
}

// Times AMI_Init (with AMI_Close) on `matrix`: `aggressors` + 1 columns of
// `rows` samples, restored before every pass. Reports samples per second and
// checks the output.
inline void time_init(benchmark::State &state, const std::vector<double> &matrix, long rows, long aggressors,
                      double sample_interval, double bit_time, const char *settings)
{
    std::vector<double> columns;
    for (auto _ : state) {
        state.PauseTiming();
        columns = matrix;
        std::string text = settings ? settings : "";
        state.ResumeTiming();
        char *parameters = nullptr;
        char *message = nullptr;
        void *instance = nullptr;
        if (AMI_Init(columns.data(), rows, aggressors, sample_interval, bit_time, settings ? text.data() : nullptr,
                     &parameters, &instance, &message) != 1)
            state.SkipWithError("AMI_Init failed");
        AMI_Close(instance);
    }
    if (!all_finite(columns))
        state.SkipWithError("output is not finite");
    state.SetItemsProcessed(state.iterations() * (aggressors + 1) * rows);
}
