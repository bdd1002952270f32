// Drives a model library with fixed inputs and prints one digest of all its
// outputs: impulse responses, waveforms, clock times, parameter strings and
// messages. Builds of different widths must print the same digest.
#include "loaded_model.h"
#include "test_signals.h"

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// 64-bit FNV-1a over raw bytes: the doubles are hashed bit for bit.
struct Digest {
    uint64_t value = 1469598103934665603ull;
    void add(const void *data, size_t size)
    {
        const auto *bytes = static_cast<const unsigned char *>(data);
        for (size_t i = 0; i < size; ++i)
            value = (value ^ bytes[i]) * 1099511628211ull;
    }
    void add(const char *text) { text ? add(text, std::strlen(text) + 1) : add("<null>", 6); }
    void add(const std::vector<double> &samples) { add(samples.data(), samples.size() * sizeof(double)); }
    void add(long number)
    {
        const int64_t wide = number; // the same bytes on every width
        add(&wide, sizeof wide);
    }
};

struct Scenario {
    const char *parameters;
    double sample_interval;
    double bit_time;
};

void run(const LoadedModel &model, const Scenario &s, Digest &digest)
{
    const long rows = 8192;
    std::vector<double> matrix = noise(3 * rows, 17);
    std::string parameters = s.parameters ? s.parameters : "";
    char *out = nullptr;
    char *msg = nullptr;
    void *instance = nullptr;
    digest.add(model.init(matrix.data(), rows, 2, s.sample_interval, s.bit_time,
                          s.parameters ? parameters.data() : nullptr, &out, &instance, &msg));
    digest.add(matrix);
    digest.add(out);
    digest.add(msg);
    std::vector<double> wave = noise(50000, 23);
    std::vector<double> clock_times(wave.size() + 2, -1.0);
    for (size_t at = 0, block = 1; at < wave.size(); at += block, block = block * 3 + 1) {
        const size_t size = std::min(block, wave.size() - at);
        char *wave_out = nullptr;
        digest.add(model.get_wave(wave.data() + at, static_cast<long>(size), clock_times.data(), &wave_out, instance));
        digest.add(wave_out);
        digest.add(clock_times); // each call writes its clock times from slot 0
    }
    digest.add(wave);
    digest.add(clock_times);
    digest.add(model.close(instance));
}

const Scenario kTxScenarios[] = {
    {nullptr, 1e-11, 3.2e-10},
    {"(dorvex8_tx (TX_Deemph 7) (TX_Corner -1) (TX_Vswing 3))", 3e-12, 1e-10},
    {"(dorvex8_tx (TX_Deemph 2) (TX_Corner 1) (TX_Vswing 0))", 1e-12, 3.26e-11},
    {"(dorvex8_tx (TX_Deemph 9))", 6.25e-12, 2e-10},
    {nullptr, 1e-11, 0.2e-11},
};

const Scenario kRxScenarios[] = {
    {nullptr, 1e-12, 3.2e-11},
    {"(Quorvane_pelisk4 (RX_Process -1) (EQ_Config 4) (clock_recovery (step 0.125) (count 8)))", 2e-12, 4e-11},
    {"(Quorvane_pelisk4 (RX_Process 1) (EQ_Config 2) (clock_recovery (step 0.0078125) (count 32)))", 1e-12,
     2.55e-11},
    {"(Quorvane_pelisk4 (EQ_Config 9))", 1e-12, 1e-10},
    {nullptr, 1e-11, 0.2e-11},
};

} // namespace

int main(int argc, char **argv)
{
    const bool rx = argc == 3 && std::strcmp(argv[2], "rx") == 0;
    if (argc != 3 || (!rx && std::strcmp(argv[2], "tx") != 0)) {
        std::fprintf(stderr, "usage: model_digest <model library> <tx|rx>\n");
        return 2;
    }
    LoadedModel model(argv[1]);
    if (!model.ok()) {
        std::fprintf(stderr, "%s: %s\n", argv[1], model.error.c_str());
        return 1;
    }
    Digest digest;
    if (rx)
        for (const Scenario &s : kRxScenarios)
            run(model, s, digest);
    else
        for (const Scenario &s : kTxScenarios)
            run(model, s, digest);
    std::printf("digest %016" PRIx64 "\n", digest.value);
    return 0;
}
