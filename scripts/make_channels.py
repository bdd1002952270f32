#!/usr/bin/env python3
"""Writes the example channel library in channels/: differential stripline
channels of three lengths as 4-port Touchstone files, and for the long one
two crosstalk aggressors as 8-port files.

Usage: make_channels.py [DIR]   (default: channels/ beside this script's folder)

Each trace is a transmission line described per metre by its resistance
(DC, then skin effect with its internal inductance), inductance, and a
capacitance through a wideband Debye dielectric (so that the loss tangent
is nearly flat and the response causal). Its S-parameters follow from the
line's ABCD matrix between 50-ohm ports. The two traces of a pair are
uncoupled (100 ohms differential); a neighbouring pair couples weakly to the
victim's traces, backward (near end) and forward (far end), to first order.

Port numbering in every file: trace k runs from port 2k+1 to port 2k+2
(1->2, 3->4, ...); traces 0 and 1 are the victim pair (positive, negative),
traces 2 and 3 the aggressor pair.
"""
import math
import os
import sys

import numpy as np

C0 = 299_792_458.0
Z_PORT = 50.0

# The trace and its dielectric.
PERMITTIVITY = 3.8          # at 1 GHz
LOSS_TANGENT = 0.03         # at 1 GHz
DEBYE_POLES = (1e3, 1e12)   # Hz: the wideband dielectric's frequency range
R_DC = 4.0                  # ohms per metre
SKIN_ONSET = 10e6           # Hz: above it the resistance grows as sqrt(f)
Z_TRACE = 50.0              # ohms, lossless characteristic impedance

# Frequencies: fine enough that the phase of the longest line turns by less
# than a quarter turn between points.
STEP = 32e6
FREQUENCIES = np.arange(1, 401) * STEP  # 32 MHz .. 12.8 GHz

CHANNELS = (  # name, length in metres, what it is for
    ("short", 0.16, "a short channel"),
    ("medium", 0.47, "a medium channel"),
    ("long", 0.95, "a long channel"),
)
# Aggressor pairs beside the long channel's victim: backward and forward
# coupling coefficients between the nearest traces.
AGGRESSORS = (("long_aggressor1", 0.95, 0.045, 0.004), ("long_aggressor2", 0.95, 0.018, 0.0016))
# Relative coupling between traces (victim +, victim -, aggressor +, aggressor -):
# the victim's negative trace lies next to the aggressor's positive one.
COUPLING = {(1, 2): 1.0, (0, 2): 0.35, (1, 3): 0.35, (0, 3): 0.15}


def permittivity(f):
    """Wideband Debye permittivity, matching PERMITTIVITY and LOSS_TANGENT at 1 GHz."""
    w1, w2 = (2 * math.pi * p for p in DEBYE_POLES)
    shape = lambda f: np.log((w2 + 2j * np.pi * f) / (w1 + 2j * np.pi * f)) / math.log(w2 / w1)
    at_reference = shape(1e9)
    # eps = eps_inf + delta x shape: choose both to give the reference values.
    delta = -PERMITTIVITY * LOSS_TANGENT / at_reference.imag
    eps_inf = PERMITTIVITY - delta * at_reference.real
    return eps_inf + delta * shape(f)


def line_constants(f):
    """Propagation constant per metre and characteristic impedance."""
    w = 2 * np.pi * f
    velocity = C0 / math.sqrt(PERMITTIVITY)
    inductance = Z_TRACE / velocity
    capacitance = 1.0 / (Z_TRACE * velocity)
    series = R_DC * np.sqrt(1 + 1j * f / SKIN_ONSET) + 1j * w * inductance
    shunt = 1j * w * capacitance * permittivity(f) / PERMITTIVITY
    return np.sqrt(series * shunt), np.sqrt(series / shunt)


def trace(f, length):
    """S11 (= S22), S21 (= S12) of one trace, and its propagation factor."""
    gamma, zc = line_constants(f)
    propagation = np.exp(-gamma * length)
    ch, sh = np.cosh(gamma * length), np.sinh(gamma * length)
    denominator = 2 * zc * Z_PORT * ch + (zc**2 + Z_PORT**2) * sh
    return (zc**2 - Z_PORT**2) * sh / denominator, 2 * zc * Z_PORT / denominator, propagation


def network(f, length, traces, backward=0.0, forward=0.0):
    """S-matrices [frequency, to, from] of `traces` parallel traces."""
    reflection, transfer, propagation = trace(f, length)
    delay = length * math.sqrt(PERMITTIVITY) / C0
    near = backward * (1 - propagation**2)
    far = -forward * 2j * np.pi * f * delay * transfer
    ports = 2 * traces
    s = np.zeros((len(f), ports, ports), complex)
    for k in range(traces):
        a, b = 2 * k, 2 * k + 1
        s[:, a, a] = s[:, b, b] = reflection
        s[:, b, a] = s[:, a, b] = transfer
    for (i, j), weight in COUPLING.items():
        if j >= traces:
            continue
        for end in (0, 1):  # both ends of the two traces
            s[:, 2 * i + end, 2 * j + end] = s[:, 2 * j + end, 2 * i + end] = weight * near
            s[:, 2 * i + end, 2 * j + 1 - end] = s[:, 2 * j + 1 - end, 2 * i + end] = weight * far
    return s


def sdd21(s):
    return 0.5 * (s[:, 1, 0] - s[:, 1, 2] - s[:, 3, 0] + s[:, 3, 2])


def crosstalk(s, near):
    """Differential crosstalk into the victim's output (ports 2, 4) from the
    aggressor driven at its input (ports 5, 7) or its output (6, 8)."""
    plus, minus = (5, 7) if near else (4, 6)
    return 0.5 * (s[:, 1, plus] - s[:, 1, minus] - s[:, 3, plus] + s[:, 3, minus])


def write(path, f, s, comment):
    ports = s.shape[1]
    lines = [f"! {line}" for line in comment] + ["# GHz S DB R 50"]
    for k in range(len(f)):
        values = []
        for row in range(ports):
            for column in range(ports):
                to, frm = (column, row) if ports == 2 else (row, column)
                v = s[k, to, frm]
                values.append(f"{20 * math.log10(max(abs(v), 1e-15)):.4f} {math.degrees(np.angle(v)):.3f}")
        # Rows of four values, each matrix row on its own lines.
        record = []
        for row in range(ports):
            chunk = values[row * ports:(row + 1) * ports]
            record += [" ".join(chunk[i:i + 4]) for i in range(0, ports, 4)]
        record[0] = f"{f[k] / 1e9:g} " + record[0]
        lines += record
    with open(path, "w", encoding="ascii") as out:
        out.write("\n".join(lines) + "\n")


def at(f, values, frequency):
    return 20 * math.log10(abs(np.interp(frequency, f, np.abs(values))))


def worst_power(s):
    """The largest power leaving all ports for unit power into one."""
    return float(np.max(np.sum(np.abs(s) ** 2, axis=1)))


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "channels")
    os.makedirs(folder, exist_ok=True)
    f = FREQUENCIES
    for name, length, what in CHANNELS:
        s = network(f, length, 2)
        loss = at(f, sdd21(s), 5e9)
        write(os.path.join(folder, name + ".s4p"), f, s,
              [f"{what}: a {length} m differential stripline pair, written by scripts/make_channels.py",
               f"Sdd21 {loss:.1f} dB at 5 GHz; ports 1->2 and 3->4"])
        print(f"{name}.s4p: {length} m, Sdd21 {loss:.1f} dB at 5 GHz, power sum at most {worst_power(s):.4f}")
    for name, length, backward, forward in AGGRESSORS:
        s = network(f, length, 4, backward, forward)
        next_db, fext_db = at(f, crosstalk(s, True), 5e9), at(f, crosstalk(s, False), 5e9)
        write(os.path.join(folder, name + ".s8p"), f, s,
              [f"the long channel's victim pair (ports 1->2, 3->4) beside an aggressor pair (5->6, 7->8),",
               f"written by scripts/make_channels.py; at 5 GHz near-end {next_db:.1f} dB, far-end {fext_db:.1f} dB"])
        print(f"{name}.s8p: near-end {next_db:.1f} dB, far-end {fext_db:.1f} dB at 5 GHz, "
              f"power sum at most {worst_power(s):.4f}")


if __name__ == "__main__":
    main()
