#!/usr/bin/python3
"""Checks the channel the host builds between analog ends against scikit-rf:
a Touchstone channel (a mismatched lossy line as a two-port, a pair of unlike
lines and a coupled pair as four-ports) with, at each port, a package section (series R
and L, shunt C) and a source of R with C, or a load of R with C, made of
scikit-rf's lumped elements connected to the channel's network. The transfer
functions must agree within 1e-9 relative over the band, and the impulse
responses within 0.1 % of their peak.

usage: analog_scikit_rf.py ANALOG_DUMP
"""
import os
import subprocess
import sys
import tempfile
import warnings

import numpy as np
import skrf

warnings.filterwarnings("ignore")
# Debian's scikit-rf 0.15 still uses aliases that numpy 1.24 removed.
np.bool = bool
np.complex = complex
DUMP = sys.argv[1]
SOURCE_R, SOURCE_C = 42.0, 0.9e-12
PKG_R, PKG_L, PKG_C = 0.3, 1.1e-9, 0.45e-12
LOAD_R, LOAD_C = 58.0, 0.6e-12
ELEMENTS = [repr(v) for v in (SOURCE_R, SOURCE_C, PKG_R, PKG_L, PKG_C, LOAD_R, LOAD_C)]


def line(frequency, length, impedance, speed=1.5e8):
    """A lossy line of `impedance` ohms (skin and dielectric loss), from its ABCD matrix."""
    f = frequency.f
    loss = length * (4.0 * np.sqrt(f / 1e9) + 3.0 * f / 1e9) / 8.685889638  # nepers
    gl = loss + 2j * np.pi * f * length / speed
    abcd = np.zeros((len(f), 2, 2), complex)
    abcd[:, 0, 0] = abcd[:, 1, 1] = np.cosh(gl)
    abcd[:, 0, 1] = impedance * np.sinh(gl)
    abcd[:, 1, 0] = np.sinh(gl) / impedance
    return skrf.Network(frequency=frequency, s=skrf.network.a2s(abcd, 50.0), z0=50.0)


def ends(frequency):
    """The transmitter's (port 0 its die) and the receiver's (port 1 its die) lumped sections."""
    m = skrf.media.DefinedGammaZ0(frequency=frequency, z0=50.0)
    package = m.resistor(PKG_R) ** m.inductor(PKG_L)
    tx = m.shunt_capacitor(SOURCE_C) ** package ** m.shunt_capacitor(PKG_C)
    rx = m.shunt_capacitor(PKG_C) ** package.flipped() ** m.shunt_capacitor(LOAD_C)
    return tx, rx


def terminated(channel, pairs):
    """The channel with the sections on its ports (lines 1->2 and 3->4 for
    a four-port), renormalised to the source and load resistances."""
    tx, rx = ends(channel.frequency)
    network, order = channel, list(range(channel.nports))  # order: the channel port each port stands for
    for k in range(channel.nports):
        # The section first: its die side becomes port 0, the network's other
        # ports follow in their order.
        at = order.index(k)
        network = skrf.connect(tx, 1, network, at) if k % 2 == 0 else skrf.connect(rx.flipped(), 1, network, at)
        order = [k] + order[:at] + order[at + 1:]
    back = [order.index(k) for k in range(channel.nports)]
    network = skrf.Network(frequency=channel.frequency, s=network.s[:, back][:, :, back], z0=50.0)
    network.renormalize([SOURCE_R if k % 2 == 0 else LOAD_R for k in range(channel.nports)])
    s = network.s
    gain = np.sqrt(LOAD_R / SOURCE_R)
    # Twice the die voltage over the open-circuit source voltage: the incident
    # wave of a source V behind R is V / (2 sqrt(R)), the load's voltage b sqrt(R).
    if not pairs:
        return s[:, 1, 0] * gain
    return 0.5 * gain * (s[:, 1, 0] - s[:, 1, 2] - s[:, 3, 0] + s[:, 3, 2])


def dump(*arguments):
    result = subprocess.run([DUMP, *arguments, *ELEMENTS], capture_output=True, text=True, check=True)
    return np.array([[float(x) for x in row.split()] for row in result.stdout.splitlines()])


def compare(name, channel, directory):
    path = os.path.join(directory, name)
    channel.write_touchstone(path)
    path += f".s{channel.nports}p"
    theirs = terminated(channel, channel.nports == 4)
    ours = dump(path)
    transfer = ours[:, 1] + 1j * ours[:, 2]
    worst = np.max(np.abs(transfer - theirs) / np.abs(theirs))
    # The impulse responses: both from scikit-rf's way to the time domain
    # (its linear extension to 0 Hz), and the host's own from its transfer,
    # compared as the host keeps them (what scikit-rf wraps before time 0
    # dropped), sample by sample.
    through = skrf.Network(frequency=channel.frequency, s=np.tile(theirs[:, None, None], (1, 2, 2)), z0=50)
    through = through.s21.extrapolate_to_dc(kind="linear")
    n = 2 * (len(through) - 1)
    dt = 1.0 / (n * through.frequency.step)
    full = np.real(through.step_response(window=None, n=n)[1])
    step = full[n // 2:] - full[n // 2 - 1]
    step += (full[-1] - step[-1]) * np.arange(1, len(step) + 1) / len(step)
    their_impulse = np.diff(step, prepend=0.0)
    our_step = dump("--step", path, repr(dt), str(n // 2))[:, 0]
    our_impulse = np.diff(our_step, prepend=0.0)
    impulse = np.max(np.abs(our_impulse - their_impulse)) / np.max(np.abs(their_impulse))
    print(f"{name}: transfer within {worst:.3g} relative over {channel.f[0] / 1e6:g} MHz to "
          f"{channel.f[-1] / 1e9:g} GHz; impulse response within {100 * impulse:.4f} % of its peak")
    failures = []
    if not worst <= 1e-9:
        failures.append(f"{name}: the transfer differs by {worst:.3g} relative")
    if not impulse <= 1e-3:
        failures.append(f"{name}: the impulse response differs by {100 * impulse:.4f} % of its peak")
    return failures


def main():
    frequency = skrf.Frequency.from_f(np.linspace(10e6, 40e9, 4000), unit="hz")
    two_port = line(frequency, 0.2, 62.0)
    # Two unlike, uncoupled lines: ports 1->2 (70 ohms) and 3->4 (40 ohms).
    a, b = line(frequency, 0.2, 70.0), line(frequency, 0.15, 40.0)
    s = np.zeros((len(frequency), 4, 4), complex)
    s[:, :2, :2], s[:, 2:, 2:] = a.s, b.s
    four_port = skrf.Network(frequency=frequency, s=s, z0=50.0)
    # A coupled pair on the same ports: odd mode 45 ohms, even mode 60 ohms and
    # 3 % slower, so that the lines cross-talk; S = T' diag(Sodd, Seven) T
    # with T the mixed-mode transform of pairs (1, 3) and (2, 4).
    odd, even = line(frequency, 0.2, 45.0), line(frequency, 0.2, 60.0, speed=1.455e8)
    mixed = np.zeros((len(frequency), 4, 4), complex)
    mixed[:, :2, :2], mixed[:, 2:, 2:] = odd.s, even.s
    t = np.array([[1, 0, -1, 0], [0, 1, 0, -1], [1, 0, 1, 0], [0, 1, 0, 1]]) / np.sqrt(2.0)
    coupled = skrf.Network(frequency=frequency, s=t.T @ mixed @ t, z0=50.0)
    failures = []
    with tempfile.TemporaryDirectory() as directory:
        failures += compare("coupled_pair_45_60_ohm", coupled, directory)
        failures += compare("line_62_ohm", two_port, directory)
        failures += compare("pair_70_40_ohm", four_port, directory)
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
