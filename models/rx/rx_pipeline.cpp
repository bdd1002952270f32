// The receiver's blocks fused per sample: every state cell lives in a local
// for the length of the block, and each sample goes through all the blocks
// while it is in a register. The arithmetic of each block is its library
// function's, operation for operation.
#include "rx_pipeline.h"

#include "advanced_cdr_loop.h"
#include "cdr_core.h"
#include "peaking_run.h"
#include "rise_fall_run.h"
#include "table_lookup.h"

namespace quorvane {

namespace {

struct Filters {
    ami::PeakingRun<RX_CTLE_ORDER> ctle;
    ami::TableLookup lim_amp;
    ami::RiseFallRun rise_fall;

    [[gnu::always_inline]] double step(double x) { return rise_fall.step(lim_amp(ctle.step(x))); }
};

} // namespace

int run_receiver(RxInstance *rx, int config, double *samples, int count, int clock_index, double *clock_times)
{
    const int s = config >= 0 && config < rx->ctle.config_count ? config : 0;
    Filters filters{{rx->ctle, s}, ami::TableLookup(rx->lim_amp), ami::RiseFallRun(rx->rise_fall)};
    int k = clock_index;
    if (cdr_runs(rx->cdr, clock_index, clock_times)) {
        LatencyLine line(rx->cdr);
        DataTick on_data_tick(rx->cdr, line);
        ami::cdr::Loop<AdvancedNerovaCDR> cdr(rx->cdr, rx->sample_interval, clock_index, clock_times);
        for (int n = 0; n < count; ++n) {
            const double y = filters.step(samples[n]);
            samples[n] = y;
            cdr.step(y, on_data_tick);
        }
        k = cdr.finish();
        line.store();
    } else {
        for (int n = 0; n < count; ++n)
            samples[n] = filters.step(samples[n]);
    }
    filters.ctle.store(rx->ctle);
    filters.rise_fall.store(rx->rise_fall);
    return k;
}

} // namespace quorvane
