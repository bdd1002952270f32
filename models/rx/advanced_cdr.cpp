// Receiver clock recovery: bang-bang loop with latency line, vote and ramping threshold.
#include "advanced_cdr_loop.h"
#include "cdr_core.h"
#include "IBIS_AMI_tree.h"
#include "ami_advanced_cdr.h"

#include <cstdlib>

namespace {

// The loop's own warnings go to a buffer of 256 characters; a caller that
// declares a smaller one is never written past.
constexpr int kWarningBufferSize = 256;

} // namespace

extern "C" AdvancedNerovaCDR SetupAdvancedNerovaCDR(const char *mode_text, double step, int count_limit,
                                                    double freq_offset, int history_length, int latency,
                                                    int vote, int samples_per_bit, double feedback,
                                                    double flip_time, char *message, int message_size)
{
    using namespace ami::cdr;
    const int warning_size = message_size < kWarningBufferSize ? message_size : kWarningBufferSize;
    AdvancedNerovaCDR r{};
    r.mode = GetControlMode(mode_text, message, message_size);
    r.step = step;
    r.freq_offset = freq_offset;
    r.feedback = feedback;
    r.flip_time = flip_time > 0.0 ? flip_time : 0.0;
    r.count_limit = count_limit;
    r.reference_enabled = 0;

    if (latency < 1) {
        WarnPrt(message, warning_size,
                "CDR: Latency must be greater than or equal to 1. Setting Latency equal to 1.\n\n");
        latency = 1;
    }
    if (vote < 1) {
        WarnPrt(message, warning_size, "CDR: Vote must be greater than or equal to 1. Setting Vote equal to 1.\n\n");
        vote = 1;
    }
    if (vote > latency) {
        WarnPrt(message, warning_size,
                "CDR: Vote must be less than or equal to Latency. Setting Vote equal to Latency.\n\n");
        vote = latency;
    }
    r.latency = latency;
    r.vote = vote;
    r.history_length = at_least_one(history_length, kHistoryLengthWarning, message, warning_size);
    r.samples_per_bit = at_least_one(samples_per_bit, kSamplesPerBitWarning, message, warning_size);

    const bool cells = allocate_cells(r);
    r.pd_history = static_cast<int *>(std::calloc(static_cast<size_t>(latency), sizeof(int)));
    r.vote_counter = cell(1);
    if (!cells || !r.pd_history || !r.vote_counter) {
        DeleteAdvancedNerovaCDR(r);
        null_cells(r);
        r.pd_history = nullptr;
        r.vote_counter = nullptr;
    }
    return r;
}

extern "C" int ApplyAdvancedNerovaCDR(const double *wave, int wave_size, AdvancedNerovaCDR cdr,
                                      double sample_interval, int clock_index, double *clock_times)
{
    if (wave_size <= 0 || !wave || !quorvane::cdr_runs(cdr, clock_index, clock_times))
        return clock_index;
    quorvane::LatencyLine line(cdr);
    quorvane::DataTick on_data_tick(cdr, line);
    const int k = ami::cdr::run(wave, wave_size, cdr, sample_interval, clock_index, clock_times, on_data_tick);
    line.store();
    return k;
}

extern "C" void DeleteAdvancedNerovaCDR(AdvancedNerovaCDR cdr)
{
    ami::cdr::free_cells(cdr);
    std::free(cdr.pd_history);
    std::free(cdr.vote_counter);
}

extern "C" void EnableAdvancedNerovaReferenceClk(AdvancedNerovaCDR *cdr, int enable)
{
    if (cdr)
        cdr->reference_enabled = enable;
}
