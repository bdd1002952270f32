// Which clock's analysis runs and which is reported.
#include "time_domain/run_analyses.h"

namespace ami_host {

namespace {

AnalysisSettings with_clock(const AnalysisSettings &analysis, bool ideal)
{
    AnalysisSettings settings = analysis;
    settings.ideal_clock = ideal;
    return settings;
}

} // namespace

void AnalysisInput::push(const double *samples, size_t count)
{
    for (WaveformAnalyser *a : analysers_) {
        if (reference_)
            a->reference(samples, count);
        else
            a->output(samples, count);
    }
}

RunAnalyses::RunAnalyses(const AnalysisSettings &analysis, bool recovered_clock)
    : ideal_(with_clock(analysis, true)), running_{&ideal_}
{
    if (recovered_clock) {
        recovered_ = std::make_unique<WaveformAnalyser>(with_clock(analysis, false));
        running_.push_back(recovered_.get());
    }
}

void RunAnalyses::sent(const std::vector<uint8_t> &bits)
{
    for (WaveformAnalyser *a : running_)
        a->sent(bits.data(), bits.size());
}

void RunAnalyses::clock_times(const double *times, size_t count)
{
    if (count > 0 && running_.size() > 1)
        running_.erase(running_.begin()); // the ideal clock
    recovered_->clock_times(times, count);
}

WaveformResult RunAnalyses::finish()
{
    WaveformAnalyser &reported = clock_from_model() ? *recovered_ : ideal_;
    reported.finish();
    return reported.result();
}

bool RunAnalyses::clock_from_model() const { return recovered_ && recovered_->any_clock(); }

} // namespace ami_host
