// Times both models as a simulator loads them (dlopen), best of N runs, next
// to a plain order-6 IIR and 12-tap FIR over the same samples. Needs no
// benchmark library, so it runs on every width (i386 included).
//   time_models <receiver .so> <transmitter .so> [runs]
#include "workloads.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace {

using namespace workloads;

bool load(const char *path, Model &model)
{
    void *handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        std::fprintf(stderr, "%s\n", dlerror());
        return false;
    }
    model.init = reinterpret_cast<InitFn>(dlsym(handle, "AMI_Init"));
    model.get_wave = reinterpret_cast<GetWaveFn>(dlsym(handle, "AMI_GetWave"));
    model.close = reinterpret_cast<CloseFn>(dlsym(handle, "AMI_Close"));
    model.ctle_index = reinterpret_cast<CtleIndexFn>(dlsym(handle, "RxCTLEGetIndex"));
    return model.init && model.get_wave && model.close;
}

bool finite(const Samples &x)
{
    return std::all_of(x.begin(), x.end(), [](double v) { return std::isfinite(v); });
}

// AMI_GetWave on blocks of kWaveBlock samples of `source`, samples per second.
double wave_rate(const Model &m, void *instance, const Samples &source, bool clock, int runs, bool &ok)
{
    Samples wave;
    Samples times(source.size() + 1, -1.0);
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        wave = source;
        char *out = nullptr;
        best = std::min(best, best_seconds([&] {
                            m.get_wave(wave.data(), static_cast<long>(wave.size()), clock ? times.data() : nullptr,
                                       &out, instance);
                        }, 1));
    }
    ok = ok && finite(wave) && wave.size() == source.size();
    return static_cast<double>(source.size()) / best;
}

// AMI_Init with AMI_Close on one column, seconds.
double init_seconds(const Model &m, long rows, int samples_per_bit, int runs, bool &ok)
{
    const Samples source = rx_column(rows, samples_per_bit);
    Samples column;
    double best = 1e300;
    for (int i = 0; i < runs; ++i) {
        column = source;
        best = std::min(best, best_seconds([&] {
                            m.close(start(m, column.data(), rows, kRxSampleInterval,
                                          kRxSampleInterval * samples_per_bit, nullptr));
                        }, 1));
    }
    ok = ok && finite(column);
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: time_models <receiver .so> <transmitter .so> [runs]\n");
        return 2;
    }
    const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 20;
    Model rx{}, tx{};
    if (!load(argv[1], rx) || !load(argv[2], tx))
        return 1;

    const Samples input = channel_wave(kWaveBlock, kSamplesPerBit);
    const double iir = plain_rate(plain_iir, input, runs);
    const double fir = plain_rate(plain_fir, input, runs);
    bool ok = rx_wave_matches_reference(rx) && tx_wave_matches_reference(tx) &&
              rx_init_matches_reference(rx, 65536, 32) && rx_init_matches_reference(rx, 262144, 8);
    const bool reference = ok;

    void *rx_instance = start(rx, nullptr, 0, kRxSampleInterval, kRxSampleInterval * kSamplesPerBit, nullptr);
    void *tx_instance = start(tx, nullptr, 0, kTxSampleInterval, kTxSampleInterval * kSamplesPerBit, kTxSettings);
    const double rx_rate = wave_rate(rx, rx_instance, input, true, runs, ok);
    const double tx_rate = wave_rate(tx, tx_instance, input, false, runs, ok);
    rx.close(rx_instance);
    tx.close(tx_instance);
    const double init_32 = init_seconds(rx, 65536, 32, std::max(3, runs / 4), ok);
    const double init_8 = init_seconds(rx, 262144, 8, std::max(1, runs / 20), ok);

    // GetWave: samples per second over the plain IIR's; Init: the time of
    // that many plain-IIR passes over the column.
    std::printf("%-40s %14s %12s\n", "work", "figure", "vs plain IIR");
    std::printf("%-40s %9.1f Ms/s %12.3f\n", "Rx AMI_GetWave, channel input, S=32", rx_rate / 1e6, rx_rate / iir);
    std::printf("%-40s %9.1f Ms/s %12.3f\n", "Tx AMI_GetWave", tx_rate / 1e6, tx_rate / iir);
    std::printf("%-40s %9.2f ms   %12.0f\n", "Rx AMI_Init, 65,536 samples, S=32", init_32 * 1e3, init_32 * iir / 65536);
    std::printf("%-40s %9.2f ms   %12.0f\n", "Rx AMI_Init, 262,144 samples, S=8", init_8 * 1e3, init_8 * iir / 262144);
    std::printf("%-40s %9.1f Ms/s\n", "plain order-6 IIR", iir / 1e6);
    std::printf("%-40s %9.1f Ms/s\n", "plain 12-tap FIR", fir / 1e6);
    std::printf("outputs equal to the reference loops: %s; finite, full length: %s\n", reference ? "yes" : "NO",
                ok ? "yes" : "NO");
    return ok ? 0 : 1;
}
