// Prints the statistical eye of a pulse response, for comparison with an
// independent computation:
//   stat_eye_dump SAMPLES_PER_BIT NOISE DJ DCD RJ TARGET_BER < PULSE
//     PULSE: the pulse response's values (V), one a line; the jitter in UI.
//     Prints "height H", "left L", "right R" and one "phase BER" line per
//     phase of the horizontal bathtub, all numbers exact.
#include "statistical/ber_eye.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <iostream>

namespace {

void print(const char *label, double a, double b = 0.0, bool two = false)
{
    char text[80];
    char *end = std::to_chars(text, text + 30, a).ptr;
    if (two) {
        *end++ = ' ';
        end = std::to_chars(end, end + 30, b).ptr;
    }
    *end = '\0';
    std::printf("%s%s%s\n", label, *label ? " " : "", text);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 7) {
        std::fprintf(stderr, "usage: stat_eye_dump SAMPLES_PER_BIT NOISE DJ DCD RJ TARGET_BER < PULSE\n");
        return 2;
    }
    ami_host::StatEyeInput in;
    in.samples_per_bit = std::atoi(argv[1]);
    in.sample_interval = 1e-12;
    in.noise = std::strtod(argv[2], nullptr);
    ami_host::add_dual_dirac(in.jitter, std::strtod(argv[3], nullptr));
    ami_host::add_dual_dirac(in.jitter, std::strtod(argv[4], nullptr));
    ami_host::add_gaussian(in.jitter, std::strtod(argv[5], nullptr));
    in.target_ber = std::strtod(argv[6], nullptr);
    for (double v; std::cin >> v;)
        in.pulse.push_back(v);
    const ami_host::StatEyeResult r = ami_host::analyse_stat_eye(in);
    print("height", r.eye_height);
    print("left", r.eye_left);
    print("right", r.eye_right);
    for (size_t p = 0; p < r.phase.size(); ++p)
        print("", r.phase[p], r.horizontal_bathtub[p], true);
    return 0;
}
