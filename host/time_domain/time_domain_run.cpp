// A time-domain run: the analyses and the pipeline set up, the stimulus
// streamed through, and what the run reports collected.
#include "time_domain/time_domain_run.h"

#include "time_domain/fft_size_check.h"
#include "time_domain/pipeline.h"
#include "time_domain/run_analyses.h"
#include "time_domain/stimulus.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ami_host {

namespace {

constexpr size_t kStimulusBits = 256; // bits generated at a time

// The stimulus, piece by piece, into the analyses (its bits) and through the
// pipeline, to the end of the stream.
void stream_stimulus(const TimeDomainSettings &settings, double sample_interval, RunAnalyses &analyses,
                     Pipeline &pipeline, Progress &progress)
{
    progress.start("time-domain run");
    Stimulus source(settings, sample_interval);
    std::vector<uint8_t> bits;
    std::vector<double> samples;
    for (long long done = 0; done < settings.bits;) {
        const size_t count = static_cast<size_t>(std::min<long long>(kStimulusBits, settings.bits - done));
        source.next(count, done + static_cast<long long>(count) == settings.bits, bits, samples);
        analyses.sent(bits);
        pipeline.send(bits, samples);
        done += static_cast<long long>(count);
        progress.update(static_cast<double>(done) / static_cast<double>(settings.bits));
    }
    pipeline.finish();
    progress.finish();
}

TimeDomainRun finished_run(RunAnalyses &analyses, const Pipeline &pipeline)
{
    TimeDomainRun run;
    run.waveform = analyses.finish();
    run.clock_from_model = analyses.clock_from_model();
    run.fft_size = pipeline.fft_size();
    if (const GetWaveStage *tx = pipeline.tx())
        run.tx_calls = tx->calls();
    if (const GetWaveStage *rx = pipeline.rx()) {
        run.rx_calls = rx->calls();
        run.rx_parameters_out = rx->parameters_out();
    }
    return run;
}

} // namespace

TimeDomainRun run_time_domain(const TimeDomainSettings &settings, const TimeDomainLink &link,
                              const AnalysisSettings &analysis, Progress &progress)
{
    check_fft_size(settings, link);
    RunAnalyses analyses(analysis, link.rx != nullptr);
    Pipeline pipeline(settings, link, analyses);
    stream_stimulus(settings, analysis.sample_interval, analyses, pipeline, progress);
    return finished_run(analyses, pipeline);
}

} // namespace ami_host
