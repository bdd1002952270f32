#!/usr/bin/python3
"""Checks the statistical eye against one computed here from its
definition: every pattern of the interfering bits enumerated, the noise's
exact Gaussian tail, and the jitter averaged by quadrature over a phase grid
of 1/64 of its random part's deviation, the pulse read between its samples
as the host reads it (linearly). The eye's height and width at the target
are found by root finding on that average.

usage: stat_eye_reference.py STAT_EYE_DUMP
"""
import itertools
import subprocess
import sys

import numpy as np
from scipy.optimize import brentq
from scipy.special import erfc

DUMP = sys.argv[1]
SPB = 16


def pulse_response():
    t = np.arange(6 * SPB) / SPB - 1.5
    ringing = np.where(t > 0, 0.12 * np.exp(-t / 1.2) * np.cos(2.0 * t), 0.0)
    return 0.7 * np.exp(-(t / 0.45) ** 2) + ringing


def q(x):
    return 0.5 * erfc(x / np.sqrt(2.0))


class Reference:
    """The ratio before jitter from every pattern's level; with jitter, its
    average over the density: dual-Dirac points exactly, the Gaussian by
    quadrature, on a table of the ratio at threshold 0 every 1/8192 UI
    (read between entries in its logarithm) for the bathtub and the width,
    and on the levels at the quadrature's own phases for the height."""

    def __init__(self, pulse, noise, dj, dcd, rj):
        self.pulse, self.noise = pulse, noise
        self.origin = int(np.argmax(np.abs(pulse)))
        self.polarity = np.sign(pulse[self.origin])
        self.offsets = np.array([a + b for a in (-dj, dj) for b in (-dcd, dcd)])
        x = np.arange(-12 * 16, 12 * 16 + 1) * rj / 16
        weights = np.exp(-0.5 * (x / rj) ** 2)
        self.x, self.weights = x, weights / weights.sum()
        self.table_phase = np.arange(-2 * 8192, 2 * 8192 + 1) / 8192
        self.table_log = np.log(np.maximum(
            np.concatenate([self.before_jitter(chunk, self.levels(chunk), 0.0)
                            for chunk in np.array_split(self.table_phase, 64)]), 1e-300))
        self.height_phases = (self.offsets[:, None] + x[None, :]).ravel()
        self.height_levels = self.levels(self.height_phases)

    def value(self, x):
        return np.interp(x, np.arange(len(self.pulse)), self.pulse, left=0.0, right=0.0)

    def levels(self, phases):
        """The level of a one at each phase for every pattern of the
        interfering bits: (patterns, phases)."""
        x = self.origin + phases * SPB
        k = np.arange(-len(self.pulse) // SPB - 3, len(self.pulse) // SPB + 4)
        k = k[k != 0]
        interfering = np.abs(self.value(x[None, :] + SPB * k[:, None]))
        k = k[np.any(interfering > 0, axis=1)]
        interfering = np.abs(self.value(x[None, :] + SPB * k[:, None]))
        signs = np.array(list(itertools.product((-0.5, 0.5), repeat=len(k))))
        return 0.5 * self.polarity * self.value(x)[None, :] + signs @ interfering

    def before_jitter(self, phases, levels, threshold):
        return np.mean(0.5 * (q((levels - threshold) / self.noise) + q((levels + threshold) / self.noise)), axis=0)

    def bathtub(self, phase):
        phases = phase + self.height_phases
        ber = np.exp(np.interp(phases, self.table_phase, self.table_log))
        return float(np.tile(self.weights, len(self.offsets)) @ ber) / len(self.offsets)

    def centre(self, threshold):
        ber = self.before_jitter(self.height_phases, self.height_levels, threshold)
        return float(np.tile(self.weights, len(self.offsets)) @ ber) / len(self.offsets)


def dump(pulse, noise, dj, dcd, rj, target):
    text = "\n".join(repr(float(v)) for v in pulse)
    out = subprocess.run([DUMP, str(SPB), repr(noise), repr(dj), repr(dcd), repr(rj), repr(target)],
                         input=text, capture_output=True, text=True, check=True).stdout.split("\n")
    figures = {line.split()[0]: float(line.split()[1]) for line in out[:3]}
    bathtub = np.array([[float(v) for v in line.split()] for line in out[3:] if line])
    return figures, bathtub


def check(noise, dj, dcd, rj, target):
    pulse = pulse_response()
    ref = Reference(pulse, noise, dj, dcd, rj)
    figures, bathtub = dump(pulse, noise, dj, dcd, rj, target)
    goal = np.log(target)
    left = brentq(lambda p: np.log(ref.bathtub(p)) - goal, -0.5, 0.0, xtol=1e-9)
    right = brentq(lambda p: np.log(ref.bathtub(p)) - goal, 0.0, 0.5, xtol=1e-9)
    top = np.max(np.abs(pulse))
    height = 2 * brentq(lambda t: np.log(np.maximum(ref.centre(t), 1e-300)) - goal, 0.0, top, xtol=1e-9)
    failures = []
    for name, mine, theirs, tolerance in (("left", figures["left"], left, 1e-4),
                                          ("right", figures["right"], right, 1e-4),
                                          ("height", figures["height"], height, 5e-4 * height)):
        print(f"  {name}: host {mine:.6f}, reference {theirs:.6f}")
        if abs(mine - theirs) > tolerance:
            failures.append(name)
    for phase, ber in bathtub[::4]:
        expected = ref.bathtub(phase)
        if 1e-15 < expected < 0.1 and abs(ber - expected) > 0.02 * expected:
            failures.append(f"bathtub at {phase}: host {ber:.4g}, reference {expected:.4g}")
    return failures


def main():
    failures = []
    for case in ((0.02, 0.05, 0.0, 0.02, 1e-12), (0.01, 0.04, 0.007, 0.01, 1e-12), (0.02, 0.15, 0.0, 0.03, 1e-6)):
        print("noise %g, Dj %g, DCD %g, Rj %g UI at %g" % case)
        failures += [f"{case}: {f}" for f in check(*case)]
    for f in failures:
        print("FAIL", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
