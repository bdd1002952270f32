// Bang-bang clock and data recovery block.
#include "ami_cdr.h"
#include "cdr_core.h"

extern "C" CDR SetupCDR(const char *mode_text, double step, int count_limit, double freq_offset,
                        int history_length, int samples_per_bit, double feedback, double flip_time,
                        char *message, int message_size)
{
    using namespace ami::cdr;
    CDR r{};
    r.mode = GetControlMode(mode_text, message, message_size);
    r.step = step;
    r.freq_offset = freq_offset;
    r.history_length = at_least_one(history_length, kHistoryLengthWarning, message, message_size);
    r.samples_per_bit = at_least_one(samples_per_bit, kSamplesPerBitWarning, message, message_size);
    r.feedback = feedback;
    r.flip_time = flip_time > 0.0 ? flip_time : 0.0;
    r.count_limit = count_limit;
    r.reference_enabled = 0;
    if (!allocate_cells(r)) {
        free_cells(r);
        null_cells(r);
    }
    return r;
}

extern "C" int ApplyCDR(const double *wave, int wave_size, CDR cdr, double sample_interval, int clock_index,
                        double *clock_times)
{
    using namespace ami::cdr;
    if (wave_size <= 0 || !wave || !clock_times || clock_index < 0 || !has_cells(cdr))
        return clock_index;
    const bool tracking = is_tracking(cdr.mode);
    const double delta = (1.0 + cdr.freq_offset) * cdr.step * static_cast<double>(cdr.samples_per_bit);
    // Each decision acts on the accumulator at once; a step is tested only
    // when a decision of the matching sign arrives.
    return run(wave, wave_size, cdr, sample_interval, clock_index, clock_times, [&](Detector decision, double h) {
        int &votes = *cdr.vote_accumulator;
        if (decision == Detector::early) {
            count_early(votes);
            if (tracking && votes >= *cdr.threshold)
                take_step(cdr, h, delta);
        } else if (decision == Detector::late) {
            count_late(votes);
            if (tracking && late_enough(votes, *cdr.threshold))
                take_step(cdr, h, -delta);
        }
        return h;
    });
}

extern "C" void DeleteCDR(CDR cdr)
{
    ami::cdr::free_cells(cdr);
}

extern "C" void EnableReferenceClk(CDR *cdr, int enable)
{
    if (cdr)
        cdr->reference_enabled = enable;
}
