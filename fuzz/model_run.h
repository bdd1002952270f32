// One run of a model as a host makes it, driven by a parameter string:
// AMI_Init on a short impulse response, its message and output string read,
// a short AMI_GetWave, AMI_Close. Both models' fuzz targets use it.
#pragma once

#include "ibis_ami_model.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace fuzz {

// Every byte of a text, so that a missing terminator or freed text shows.
inline std::size_t read_text(const char *text)
{
    return text != nullptr ? std::strlen(text) : 0;
}

inline void run_model(const std::uint8_t *data, std::size_t size)
{
    std::string parameters(reinterpret_cast<const char *>(data), size);
    std::vector<double> impulse(2 * 128, 0.0);
    for (int i = 0; i < 24; ++i)
        impulse[i] = impulse[128 + i] = 1e10 * (12.0 - (i > 12 ? i - 12 : 12 - i)) / 12.0;
    char *out = nullptr;
    char *msg = nullptr;
    void *instance = nullptr;
    // 2 samples per bit, few enough for fast runs; the 128-sample column is
    // shorter than one PRBS7 period.
    AMI_Init(impulse.data(), 128, 1, 12.5e-12, 25e-12, parameters.data(), &out, &instance, &msg);
    read_text(msg);
    read_text(out);
    std::vector<double> wave(64);
    for (std::size_t i = 0; i < wave.size(); ++i)
        wave[i] = (i / 2) % 3 ? 0.4 : -0.4;
    std::vector<double> clock_times(wave.size() + 1, 0.0);
    AMI_GetWave(wave.data(), static_cast<long>(wave.size()), clock_times.data(), &out, instance);
    read_text(out);
    AMI_Close(instance);
}

} // namespace fuzz
