#!/usr/bin/env python3
"""Draws the statistical eye and its bathtub curves from a JSON file.

Usage: plot_stat_eye.py FILE.json DIR

FILE.json holds the statistical eye either at its top level or under the key
"statistical_eye" (as in report.json). Writes into DIR:
  stat_eye.png   log10 of the bit-error ratio over sampling phase and decision
                 threshold, with the contours of the inner eye
  bathtubs.png   the horizontal bathtub (at threshold 0 V) and the vertical one
                 (at phase 0), log10 of the ratio, with the target ratio
"""
import json
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


def load(path):
    with open(path, encoding="utf-8") as f:
        data = json.load(f)
    eye = data.get("statistical_eye", data)
    if "log10_ber" not in eye:
        raise ValueError(f"{path} holds no statistical eye")
    return eye


def as_array(values):
    """A list with nulls (closed contours) as an array with NaN."""
    return np.array([math.nan if v is None else v for v in values], dtype=float)


def draw_eye(eye, path):
    phase = np.array(eye["phase_ui"])
    threshold = np.array(eye["threshold"]) * 1e3
    grid = np.array(eye["log10_ber"]).T  # thresholds down, phases across
    fig, ax = plt.subplots(figsize=(8, 6))
    mesh = ax.pcolormesh(phase, threshold, grid, shading="nearest", cmap="viridis_r",
                         vmin=eye["log10_floor"], vmax=0)
    fig.colorbar(mesh, ax=ax, label="log10 BER")
    for contour, colour in zip(eye["contours"], plt.cm.autumn(np.linspace(0, 1, len(eye["contours"])))):
        label = f"{contour['ber']:.0e}"
        ax.plot(phase, as_array(contour["upper"]) * 1e3, color=colour, label=label)
        ax.plot(phase, as_array(contour["lower"]) * 1e3, color=colour)
    ax.axvline(eye["sampling_phase_ui"], color="white", linestyle=":", linewidth=1)
    status = (f"height {eye['height'] * 1e3:.2f} mV, width {eye['width_ui']:.3f} UI"
              if eye["open"] else "closed")
    ax.set_title(f"Statistical eye: at BER {eye['target_ber']:.0e} {status}")
    ax.set_xlabel("sampling phase (UI)")
    ax.set_ylabel("decision threshold (mV)")
    ax.legend(title="contours", loc="upper right", fontsize="small")
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def draw_bathtubs(eye, path):
    target = math.log10(eye["target_ber"])
    fig, (left, right) = plt.subplots(1, 2, figsize=(11, 4.5))
    h = eye["horizontal_bathtub"]
    left.plot(h["phase_ui"], h["log10_ber"], color="tab:blue")
    left.set_xlabel("sampling phase (UI)")
    left.set_title("horizontal bathtub (threshold 0 V)")
    v = eye["vertical_bathtub"]
    right.plot(np.array(v["threshold"]) * 1e3, v["log10_ber"], color="tab:red")
    right.set_xlabel("decision threshold (mV)")
    right.set_title("vertical bathtub (phase 0)")
    for ax in (left, right):
        ax.axhline(target, color="gray", linestyle="--", linewidth=1)
        ax.set_ylabel("log10 BER")
        ax.set_ylim(eye["log10_floor"], 0.5)
        ax.grid(True, alpha=0.3)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    eye = load(argv[1])
    os.makedirs(argv[2], exist_ok=True)
    draw_eye(eye, os.path.join(argv[2], "stat_eye.png"))
    draw_bathtubs(eye, os.path.join(argv[2], "bathtubs.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
