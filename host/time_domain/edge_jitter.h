// Jitter and noise in the time-domain flow: the transmitter's jitter moves
// the transitions of the NRZ stimulus, the receiver's moves its sampling
// instants and adds noise at the decision. Every random draw is a function
// of a seed and the edge's or clock's number, so a run repeats exactly and
// does not depend on how it is cut into blocks.
#pragma once

#include "model/impairments.h"

#include <cstdint>
#include <vector>

namespace ami_host {

struct Sinusoid {
    double amplitude = 0.0; // seconds
    double frequency = 0.0; // Hz; 0: the phase is drawn afresh for every edge
};

// In seconds; every component is drawn independently for every edge.
struct EdgeJitter {
    double rj = 0.0;                 // Gaussian standard deviation
    std::vector<double> dual_dirac;  // each +a or -a, equally likely
    double dcd = 0.0;                // rising edges +dcd, falling edges -dcd
    std::vector<Sinusoid> sinusoids;
    double offset = 0.0;             // constant
    uint64_t seed = 0;
};

// The transmitter's jitter (Tx_Sj without Tx_Sj_Frequency at a phase drawn
// afresh for every edge).
EdgeJitter tx_edge_jitter(const Impairments &impairments, double bit_time, uint64_t seed);

// The receiver's sampling jitter; with `ideal_clock` (the host's own clock
// rather than the model's) also the recovered clock's offset and jitter.
EdgeJitter rx_sampling_jitter(const Impairments &impairments, double bit_time, bool ideal_clock, uint64_t seed);

// The displacement in seconds of edge `index` at nominal time `time`;
// `rising` picks the sign of the duty-cycle part (for a sampling clock, pass
// whether the clock's number is even). It is not limited to half a bit: a
// sampling instant may move into a neighbouring bit, as the statistical eye
// assumes too.
double edge_displacement(const EdgeJitter &jitter, int64_t index, bool rising, double time);

// The largest displacement edge_displacement can give, in seconds (its
// Gaussian draws stay within about 8.7 deviations).
double displacement_bound(const EdgeJitter &jitter);

// Whole bits an edge can move: a piece of jittered stimulus needs this many
// bits either side of its own.
int64_t bits_reached(const EdgeJitter &jitter, double bit_time);

// Samples [first_sample, first_sample + count) of the NRZ waveform of `bits`
// (bits[i] is bit number first_bit + i, spanning [n T, (n + 1) T) before
// jitter; the first bit's level holds before them and the last one's after),
// levels `low` and `high`. The bits must run from bits_reached() before the
// first sample's bit to bits_reached() after the last sample's. Edge n, at
// the start of bit n, is displaced as edge_displacement(jitter, n, ...)
// gives; an edge that moves past a later one is overtaken, so bit n holds
// from the earliest of the edges n, n + 1, ... until the earliest of n + 1,
// n + 2, ... (not at all when that comes first). A sample is the waveform's
// mean over its interval, so an edge between two sample instants keeps its
// exact time.
std::vector<double> jittered_nrz(const EdgeJitter &jitter, const std::vector<uint8_t> &bits, int64_t first_bit,
                                 double bit_time, double sample_interval, int64_t first_sample, size_t count,
                                 double low = -0.5, double high = 0.5);

// The noise added to decision `index` (Gaussian of deviation `sigma`),
// independent of the edge draws for the same seed.
double decision_noise(double sigma, uint64_t seed, int64_t index);

// The decision on a sample: 1 or 0, or -1 when it lies within `sensitivity`
// of the threshold and the receiver cannot resolve it.
int decide(double sample, double threshold, double sensitivity);

} // namespace ami_host
