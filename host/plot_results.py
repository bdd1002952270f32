#!/usr/bin/env python3
"""Draws the pictures of an ami_host run from its report.json and waveforms.json.

Usage: plot_results.py DIR

Writes into DIR:
  eye.png        the eye at the Rx output folded on the recovered clock (density
                 of two bit times, with the inner eye and its height and width)
  responses.png  impulse and pulse responses of the channel and after each model
  clock.png      the recovered clock's sampling phase over time, with its settling
"""
import json
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

COLOURS = {"channel": "tab:gray", "after Tx": "tab:blue", "after Rx": "tab:red"}


def load(folder):
    with open(os.path.join(folder, "report.json"), encoding="utf-8") as f:
        report = json.load(f)
    with open(os.path.join(folder, "waveforms.json"), encoding="utf-8") as f:
        waves = json.load(f)
    return report, waves


def title_of(report):
    s = report["settings"]
    models = report["models"]
    names = [m["root"] if m else "no model" for m in (models["tx"], models["rx"])]
    return f"Tx {names[0]}, Rx {names[1]}, {s['bit_rate'] / 1e9:g} Gb/s"


def draw_eye(report, waves, path):
    eye = waves["eye"]
    density = eye["density"]
    counts = np.array(density["counts"], dtype=float).reshape(density["levels"], density["times"])
    fig, ax = plt.subplots(figsize=(7, 4.6), dpi=100)
    shown = np.ma.masked_where(counts == 0, np.log10(np.maximum(counts, 1.0)))
    image = ax.imshow(shown, origin="lower", aspect="auto", cmap="viridis",
                      extent=[-1.0, 1.0, density["low"], density["high"]], interpolation="nearest")
    fig.colorbar(image, ax=ax, pad=0.01).set_label("log10(traces through the point)")
    offset = np.array(eye["offset_ui"])
    ax.plot(offset, eye["lowest_one"], color="tab:red", lw=1.2, label="inner eye: lowest one, highest zero")
    ax.plot(offset, eye["highest_zero"], color="tab:red", lw=1.2)
    td = report["time_domain"]
    height = eye["height"]
    label = dict(color="black", fontsize=9, bbox=dict(facecolor="white", alpha=0.85, edgecolor="none"))
    if height is not None and height > 0:
        centre = len(offset) // 2
        top, bottom = eye["lowest_one"][centre], eye["highest_zero"][centre]
        ax.annotate("", xy=(0, top), xytext=(0, bottom), arrowprops=dict(arrowstyle="<->", color="black", lw=1.2))
        ax.text(0.03, 0.5 * (top + 2 * bottom) / 1.5, f"height {height:.3g} V", va="center", **label)
        left, right = eye["left_ui"], eye["right_ui"]
        ax.annotate("", xy=(left, 0.0), xytext=(right, 0.0), arrowprops=dict(arrowstyle="<->", color="black", lw=1.2))
        ax.text(0.5 * (left + right), 0.25 * top, f"width {eye['width_ui']:.3g} UI", ha="center", **label)
    ax.axvline(0.0, color="gray", lw=0.6, ls=":")
    ax.set_xlim(-1.0, 1.0)
    ax.set_xlabel("time from the sampling instant (UI)")
    ax.set_ylabel("Rx output (V)")
    clock = "recovered clock" if td["clock"]["source"] == "model" else "ideal clock"
    state = "open" if td["eye_open"] else "closed"
    ax.set_title(f"Eye at the Rx output, folded on the {clock}: {state}\n{title_of(report)}, "
                 f"{td['bits_counted']} bits, {td['bit_errors']} errors", fontsize=10)
    ax.legend(loc="upper right", fontsize=8, framealpha=0.85)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def draw_responses(report, waves, path):
    dt = waves["sample_interval"]
    ui = waves["bit_time"]
    per_bit = ui / dt
    responses = waves["responses"]
    # From 6 bits before the earliest main cursor to 60 bits after it.
    first_cursor = min(r["cursor_index"] for r in responses)
    start = max(first_cursor - int(6 * per_bit), waves["first_sample"])
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(7, 6), dpi=100, sharex=True)
    for response in responses:
        name = response["name"]
        offset = start - waves["first_sample"]
        impulse = np.array(response["impulse"])[offset:offset + int(66 * per_bit)]
        pulse = np.array(response["pulse"])[offset:offset + int(66 * per_bit)]
        t = (start + np.arange(len(pulse))) * dt * 1e9
        colour = COLOURS.get(name, None)
        peak = np.max(np.abs(impulse)) or 1.0
        top.plot(t, impulse / peak, color=colour, lw=0.8, label=f"{name} (peak {peak:.3g} V/s)")
        bottom.plot(t, pulse, color=colour, lw=0.8, label=name)
        cursor_t = response["cursor_index"] * dt * 1e9
        marks = cursor_t + np.arange(-6, 60) * ui * 1e9
        marks = marks[(marks >= t[0]) & (marks <= t[-1])]
        bottom.plot(marks, np.interp(marks, t, pulse), "o", ms=2.2, color=colour)
    top.set_ylabel("impulse response\n(each scaled to its peak)")
    top.legend(fontsize=8)
    top.set_title(f"Impulse and pulse responses before and after each model\n{title_of(report)}", fontsize=10)
    bottom.set_ylabel("pulse response (V)")
    bottom.set_xlabel("time (ns); dots one bit apart from each main cursor")
    lines = [f"{s['name']}: worst-case eye {s['eye_height']:.3g} V ({'open' if s['eye_open'] else 'closed'})"
             for s in report["statistical"]["stages"]]
    bottom.text(0.99, 0.95, "\n".join(lines), transform=bottom.transAxes, ha="right", va="top", fontsize=8,
                bbox=dict(facecolor="white", alpha=0.85, edgecolor="none"))
    bottom.legend(fontsize=8, loc="center right")
    for ax in (top, bottom):
        ax.grid(alpha=0.3)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def draw_clock(report, waves, path):
    clock = waves["clock"]
    ui = waves["bit_time"]
    t = np.array(clock["time"]) * 1e9
    phase = np.array(clock["phase_ui"])
    final, tol = clock["final_phase_ui"], clock["tolerance_ui"]
    settle = clock["settle_time"] * 1e9 if clock["settled"] else None
    fig, axes = plt.subplots(1, 2, figsize=(9, 3.8), dpi=100, gridspec_kw=dict(width_ratios=[1, 2]))
    # Left: the acquisition, up to three times the settling time (at least 300 bits).
    end = max(3 * settle if settle else 0.0, 300 * ui * 1e9)
    for ax, limit, title in ((axes[0], end, "acquisition"), (axes[1], None, "whole run")):
        ax.plot(t, phase, lw=0.8, color="tab:blue", label="sampling phase")
        ax.axhspan(final - tol, final + tol, color="tab:green", alpha=0.15, label=f"final phase ± {tol:g} UI")
        if settle is not None:
            ax.axvline(settle, color="tab:green", ls="--", label=f"settled at {settle:.4g} ns")
        if limit is not None:
            ax.set_xlim(t[0], limit)
        ax.set_xlabel("time (ns)")
        ax.set_title(title, fontsize=9)
        ax.grid(alpha=0.3)
    axes[0].set_ylabel("sampling phase within the bit (UI)")
    axes[1].legend(fontsize=8, loc="lower right")
    fig.suptitle(f"Recovered clock phase: {title_of(report)}", fontsize=10)
    fig.tight_layout()
    fig.savefig(path)
    plt.close(fig)


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    folder = argv[1]
    report, waves = load(folder)
    draw_responses(report, waves, os.path.join(folder, "responses.png"))
    if waves.get("eye"):
        draw_eye(report, waves, os.path.join(folder, "eye.png"))
    if waves.get("clock") and waves["clock"]["from_model"] and waves["clock"]["time"]:
        draw_clock(report, waves, os.path.join(folder, "clock.png"))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
