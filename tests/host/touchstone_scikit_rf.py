#!/usr/bin/python3
"""Checks the host's Touchstone reader against scikit-rf, a reader written
elsewhere, on every .sNp file scikit-rf ships (field-solver and instrument
exports, versions 1 and 2, one to nine ports) and on the project's channel
library, then compares the step
responses of lossy-line through channels with scikit-rf's, and makes the
through channel of every file as a run at 10 Gb/s would: in seconds, refused
exactly when the data end below a quarter of the bit rate, and otherwise
losing at 5 GHz what scikit-rf's S21 says.

usage: touchstone_scikit_rf.py TOUCHSTONE_DUMP
"""
import glob
import os
import re
import subprocess
import sys
import tempfile
import time
import warnings

import numpy as np
import skrf

warnings.filterwarnings("ignore")
# Debian's scikit-rf 0.15 still uses aliases that numpy 1.24 removed.
np.bool = bool
np.complex = complex
DUMP = sys.argv[1]
ROOT = os.path.dirname(skrf.__file__)
TOLERANCE = 1e-12

# Files scikit-rf reads although they break the format; the host refuses
# them, and its message must say why.
REFUSED = {
    "io/tests/simple_touchstone.s2p": "only a real reference impedance",  # R (50+50j)
    "tests/ntwk_noise.s2p": "frequencies must increase",                  # 1.5 GHz twice
}


def run_dump(*arguments):
    return subprocess.run([DUMP, *arguments], capture_output=True, text=True)


def host_network(path):
    """(ports, frequencies, S as [frequency, row, column]) or the refusal."""
    result = run_dump(path)
    if result.returncode != 0:
        return None, result.stderr.strip()
    lines = result.stdout.splitlines()
    ports = int(lines[0].split()[1])
    table = np.array([[float(word) for word in line.split()] for line in lines[1:]])
    values = table[:, 1::2] + 1j * table[:, 2::2]
    return (ports, table[:, 0], values.reshape(len(table), ports, ports)), ""


def compare_file(path):
    name = os.path.relpath(path, ROOT) if path.startswith(ROOT) else os.path.basename(path)
    ours, message = host_network(path)
    try:
        theirs = skrf.Network(path)
    except Exception as error:  # scikit-rf's own failure, not ours to judge
        theirs, their_error = None, str(error).splitlines()[0]
    if name in REFUSED:
        if ours is not None or REFUSED[name] not in message:
            return f"{name}: should be refused ({REFUSED[name]}), got: {message or 'accepted'}"
        print(f"refused as expected: {name}: {message.split(': ', 2)[-1]}")
        return None
    if ours is None:
        return f"{name}: refused ({message}) but scikit-rf reads it" if theirs else None
    if theirs is None:
        print(f"scikit-rf fails on {name} ({their_error}); read by the host only")
        return None
    ports, frequencies, values = ours
    if ports != theirs.nports or len(frequencies) != len(theirs.f):
        return f"{name}: {ports} ports x {len(frequencies)} frequencies, scikit-rf {theirs.nports} x {len(theirs.f)}"
    worst_f = np.max(np.abs(frequencies - theirs.f) / np.maximum(np.abs(theirs.f), 1e-300))
    scale = np.maximum(np.abs(values), np.abs(theirs.s))
    difference = np.abs(values - theirs.s)
    worst_s = np.max(np.where(scale > 0, difference / np.where(scale > 0, scale, 1), difference))
    if worst_f > TOLERANCE or worst_s > TOLERANCE:
        return f"{name}: differs, frequencies by {worst_f:.3g}, values by {worst_s:.3g} (relative)"
    return None


def compare_mixed_mode(path):
    """Sdd21 under both port numberings against scikit-rf's mixed-mode
    transform (reference impedances kept, so nothing is renormalised)."""
    network = skrf.Network(path)
    n = network.nports
    if np.any(network.z0.imag != 0) or np.any(network.z0.real <= 0):
        print(f"{os.path.basename(path)}: complex port impedances, Sdd21 not compared")
        return []
    failures = []
    for first, second in (((1, 3), (2, 4)), ((1, 2), (3, 4))):
        result = run_dump("--path", path, *map(str, first + second))
        ours = np.array([[float(x) for x in line.split()] for line in result.stdout.splitlines()])
        # scikit-rf pairs ports 2i (positive) and 2i+1 into mixed-mode port
        # i: the two paths' pairs first, the other ports paired after them.
        order = [first[0] - 1, first[1] - 1, second[0] - 1, second[1] - 1]
        order += [p for p in range(n) if p not in order]
        s = network.s[:, order][:, :, order]
        z0 = network.z0[:, order].real
        plus, minus = z0[:, 0::2], z0[:, 1::2]
        z0_mm = np.concatenate([plus + minus, plus * minus / (plus + minus)], axis=1)
        mixed = skrf.Network(frequency=network.frequency, s=s, z0=z0)
        mixed.se2gmm(p=n // 2, z0_mm=z0_mm)  # in place
        theirs = mixed.s[:, 1, 0]
        # Relative to the path's largest value, or to the network's for a
        # path that is nothing but rounding (uncoupled ports).
        scale = max(np.max(np.abs(theirs)), 1e-6 * np.max(np.abs(network.s)))
        worst = np.max(np.abs(ours[:, 1] + 1j * ours[:, 2] - theirs)) / scale
        if worst > 1e-11:  # scikit-rf's transform goes through a linear solve
            failures.append(f"{os.path.basename(path)}: Sdd {first} -> {second} differs by {worst:.3g}")
    return failures


BIT_TIME = 100e-12
NYQUIST = 0.5 / BIT_TIME


def channel_rules(path):
    """The through channel a run would make of a file of two or an even
    number of ports, against the data's band and scikit-rf's S21."""
    name = os.path.relpath(path, ROOT) if path.startswith(ROOT) else os.path.basename(path)
    started = time.monotonic()
    result = run_dump("--channel", path, repr(BIT_TIME), "32")
    seconds = time.monotonic() - started
    try:
        theirs = skrf.Network(path)
    except Exception:
        return None
    if seconds > 10.0:
        return f"{name}: the channel took {seconds:.1f} s"
    far_below = theirs.f[-1] < 0.5 * NYQUIST
    if result.returncode != 0:
        if far_below != ("far below the link's Nyquist frequency 5 GHz" in result.stderr) or path not in result.stderr:
            return f"{name}: refused with '{result.stderr.strip()}' (data end at {theirs.f[-1]:g} Hz)"
        return None
    if far_below:
        return f"{name}: accepted although its data end at {theirs.f[-1]:g} Hz"
    if not theirs.f[0] <= NYQUIST <= theirs.f[-1]:
        return None
    ours = float(re.search(r"^loss (\S+)$", result.stdout, re.M).group(1))
    if theirs.nports == 2:
        transfer, what = theirs.s[:, 1, 0], "scikit-rf's S21"
    else:  # Sdd21 as compared with scikit-rf above
        table = np.array([[float(x) for x in line.split()]
                          for line in run_dump("--path", path, "1", "3", "2", "4").stdout.splitlines()])
        transfer, what = table[:, 1] + 1j * table[:, 2], "Sdd21"
    expected = -20 * np.log10(np.interp(NYQUIST, theirs.f, np.abs(transfer)))
    comparison = f"{name}: loss at 5 GHz {ours:.4f} dB, {what} {expected:.4f} dB"
    # Data the host warns about (too short a window, missing low
    # frequencies) need not give the file's loss back, nor a path that
    # arrives at once, whose band-limited front is folded into time 0.
    delay = float(re.search(r"^# main delay (\S+) ns", result.stdout, re.M).group(1)) * 1e-9
    exempt = re.search(r"^warnings (\d+)$", result.stdout, re.M).group(1) != "0" or delay < 5.0 / theirs.f[-1]
    print(comparison + (" (not compared: a warning, or no delay)" if exempt else ""))
    return comparison if not exempt and abs(ours - expected) > 0.01 else None


def line_network(length, frequencies):
    """A matched lossy line (skin and dielectric loss), 2 ports, 50 ohms."""
    f = np.asarray(frequencies)
    delay = length * 2.0 / 3e8
    loss_db = length * (4.0 * np.sqrt(f / 1e9) + 3.0 * f / 1e9)  # dB
    s21 = 10 ** (-loss_db / 20) * np.exp(-2j * np.pi * f * delay)
    s = np.zeros((len(f), 2, 2), complex)
    s[:, 1, 0] = s[:, 0, 1] = s21
    return skrf.Network(frequency=skrf.Frequency.from_f(f, unit="hz"), s=s, z0=50)


def compare_step(length, start, stop, points, directory):
    """The two step responses' largest differences over the final value:
    as they come, and once scikit-rf's is made causal the host's way."""
    frequencies = np.linspace(start, stop, points)
    network = line_network(length, frequencies)
    path = os.path.join(directory, f"line_{round(length * 100)}cm.s2p")
    network.write_touchstone(path[:-4])
    through = network.s21.extrapolate_to_dc(kind="linear")
    n = 2 * (len(through) - 1)
    dt = 1.0 / (n * through.frequency.step)
    # scikit-rf sums the impulse from time -T/2: element n/2 is time 0, and
    # what came before it is the tail wrapped around by the frequency step.
    full = np.real(through.step_response(window=None, n=n)[1])
    theirs = full[n // 2:]
    result = run_dump("--step", path, repr(dt), str(n // 2))
    if result.returncode != 0:
        return None, None, result.stderr
    ours = np.array([float(x) for x in result.stdout.splitlines() if not x.startswith("#")])
    final = theirs[-1]
    raw = np.max(np.abs(ours - theirs)) / abs(final)
    # The host drops the wrapped part and spreads the area it lost evenly
    # over the samples it keeps, so that the step settles at the DC gain.
    causal = theirs - full[n // 2 - 1]
    causal += (final - causal[-1]) * np.arange(1, len(causal) + 1) / len(causal)
    return raw, np.max(np.abs(ours - causal)) / abs(final), result.stdout


def main():
    library = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "channels")
    files = sorted(f for folder in (ROOT, library) for f in glob.glob(os.path.join(folder, "**", "*.s*p"), recursive=True)
                   if re.search(r"\.s\d+p$", f))
    failures = [failure for failure in map(compare_file, files) if failure]
    print(f"{len(files)} files compared to {TOLERANCE:g} relative, {len(failures)} failures")
    multiport = [f for f in files if int(re.search(r"\.s(\d+)p$", f).group(1)) in (4, 6, 8)
                 and os.path.relpath(f, ROOT) not in REFUSED]
    mixed = [failure for f in multiport for failure in compare_mixed_mode(f)]
    print(f"Sdd21 of {len(multiport)} files under both numberings compared to scikit-rf to 1e-11: {len(mixed)} failures")
    failures += mixed
    usable = [f for f in files if os.path.relpath(f, ROOT) not in REFUSED
              and (lambda n: n == 2 or (n >= 4 and n % 2 == 0))(int(re.search(r"\.s(\d+)p$", f).group(1)))]
    rules = [failure for failure in map(channel_rules, usable) if failure]
    print(f"through channels of {len(usable)} files made at 10 Gb/s: {len(rules)} failures")
    failures += rules
    with tempfile.TemporaryDirectory() as directory:
        for length, start, stop in ((0.1, 10e6, 40e9), (0.3, 10e6, 40e9), (0.6, 12.5e6, 50e9)):
            raw, agreement, output = compare_step(length, start, stop, 4000, directory)
            if agreement is None:
                failures.append(f"step of a {length} m line: {output}")
                continue
            print(f"step response of a {length} m line ({start / 1e6:g} MHz to {stop / 1e9:g} GHz): "
                  f"largest difference {100 * raw:.3f} % of the final value as computed, "
                  f"{100 * agreement:.4f} % with the wrapped tail handled alike")
            if agreement > 1e-3:
                failures.append(f"step of a {length} m line differs by {100 * agreement:.4f} %")
    for failure in failures:
        print("FAIL", failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
