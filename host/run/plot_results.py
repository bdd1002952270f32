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


def legend_below(ax, columns=2):
    """A legend under the axes, where it hides no trace."""
    ax.legend(fontsize=8, loc="upper center", bbox_to_anchor=(0.5, -0.2), ncol=columns, frameon=False)


def crosstalk_words(report):
    """What the eye holds of crosstalk, with the eye heights without it: the
    time-domain eye after a limiting receiver hides most of its cost."""
    x = report.get("crosstalk")
    if not x:
        return ""
    count = len(x["aggressors"])
    words = f"\nwith crosstalk from {count} aggressor{'s' if count > 1 else ''}: "
    if x["time_domain_eye_height_without"] is not None:
        words += f"eye height {x['time_domain_eye_height_without']:.3g} V without it;\n"
    return words + (f"statistical eye {x['statistical_eye_height_without']:.3g} V without, "
                    f"{x['statistical_eye_height_with']:.3g} V with")


def isi_span(responses, first, per_bit, share=0.01):
    """The samples (from `first`) from the first to the last cursor of any
    response above `share` of its main cursor, two bits either side: where
    the ISI is, not the long low tail of a receiver's ringing."""
    low, high = None, None
    for response in responses:
        pulse = np.array(response["pulse"])
        cursor = response["cursor_index"] - first
        marks = np.arange(cursor % per_bit, len(pulse), per_bit)
        large = marks[np.abs(pulse[marks]) > share * abs(pulse[cursor])]
        low = large[0] if low is None else min(low, large[0])
        high = large[-1] if high is None else max(high, large[-1])
    return max(low - 2 * per_bit, 0), high + 2 * per_bit


def density_of(eye):
    density = eye["density"]
    counts = np.array(density["counts"], dtype=float).reshape(density["levels"], density["times"])
    return density, np.ma.masked_where(counts == 0, np.log10(np.maximum(counts, 1.0)))


def draw_eye_panel(ax, eye, scale):
    """One folded eye: its traces' density on the common colour scale, the
    inner eye, and its height and width."""
    density, shown = density_of(eye)
    # Column j lies j/64 - 1 UI from the sampling instant.
    half = 1.0 / density["times"]
    image = ax.imshow(shown, origin="lower", aspect="auto", cmap="viridis", vmin=0.0, vmax=scale,
                      extent=[-1.0 - half, 1.0 - half, density["low"], density["high"]], interpolation="nearest")
    offset = np.array(eye["offset_ui"])
    ax.plot(offset, eye["lowest_one"], color="tab:red", lw=1.2, label="inner eye: lowest one, highest zero")
    ax.plot(offset, eye["highest_zero"], color="tab:red", lw=1.2)
    ax.axhline(0.0, color="white", lw=0.8, ls="--", label="decision threshold (0 V)")
    label = dict(color="black", fontsize=9, bbox=dict(facecolor="white", alpha=0.85, edgecolor="none"))
    top, bottom = eye["top"], eye["bottom"]
    if top is not None and bottom is not None and top > bottom:
        ax.annotate("", xy=(0, top), xytext=(0, bottom), arrowprops=dict(arrowstyle="<->", color="black", lw=1.2))
        ax.text(0.03, bottom + 0.25 * (top - bottom), f"height {eye['height']:.3g} V", va="center", **label)
    if eye["open"]:
        left, right = eye["left_ui"], eye["right_ui"]
        ax.annotate("", xy=(left, 0.0), xytext=(right, 0.0), arrowprops=dict(arrowstyle="<->", color="black", lw=1.2))
        ax.text(0.5 * (left + right), 0.5 * top, f"width {eye['width_ui']:.3g} UI", ha="center", **label)
    ax.axvline(0.0, color="gray", lw=0.6, ls=":")
    ax.set_xlim(-1.0, 1.0)
    ax.set_xlabel("time from the sampling instant (UI)")
    return image


def draw_eye(report, waves, path):
    """The eye at the Rx output; a crosstalk run's beside the same link's eye
    without crosstalk, on one colour scale, so that what crosstalk costs shows."""
    eyes = [waves["eye"]]
    alone = waves.get("eye_without_crosstalk")
    if alone is not None:
        eyes.insert(0, alone)
    scale = max(float(density_of(e)[1].max() or 1.0) for e in eyes)
    fig, axes = plt.subplots(1, len(eyes), figsize=(7 * len(eyes), 5.2), dpi=100, sharey=True, squeeze=False)
    for ax, eye in zip(axes[0], eyes):
        image = draw_eye_panel(ax, eye, scale)
    axes[0][0].set_ylabel("Rx output (V)")
    fig.colorbar(image, ax=list(axes[0]), pad=0.01).set_label("log10(traces through the point)")
    td = report["time_domain"]
    clock = "recovered clock" if td["clock"]["source"] == "model" else "ideal clock"
    state = "open" if td["eye_open"] else "closed at the threshold"
    if alone is not None:
        axes[0][0].set_title(f"The same link without crosstalk: {alone['bits']} bits", fontsize=9)
    axes[0][-1].set_title(f"Eye at the Rx output, folded on the {clock}: {state}\n{title_of(report)}, "
                          f"{td['bits_counted']} bits, {td['bit_errors']} errors{crosstalk_words(report)}",
                          fontsize=9)
    legend_below(axes[0][-1])
    fig.savefig(path, bbox_inches="tight")
    plt.close(fig)


def draw_responses(report, waves, path):
    dt = waves["sample_interval"]
    ui = waves["bit_time"]
    per_bit = int(round(ui / dt))
    first = waves["first_sample"]
    responses = waves["responses"]
    fig, (top, bottom) = plt.subplots(2, 1, figsize=(8, 6.6), dpi=100, sharex=True)
    outside = []
    for response in responses:
        name = response["name"]
        impulse = np.array(response["impulse"])
        pulse = np.array(response["pulse"])
        t = (first + np.arange(len(pulse))) * dt * 1e9
        colour = COLOURS.get(name, None)
        peak = np.max(np.abs(impulse)) or 1.0
        top.plot(t, impulse / peak, color=colour, lw=0.8, label=f"{name} (peak {peak:.3g} V/s)")
        bottom.plot(t, pulse, color=colour, lw=0.8, label=name)
        # A dot at every whole bit from the main cursor: the terms of the ISI.
        marks = np.arange((response["cursor_index"] - first) % per_bit, len(pulse), per_bit)
        bottom.plot(t[marks], pulse[marks], "o", ms=2.2, color=colour)
        if response["isi_outside"] > 0.0:
            outside.append(f"{name}: {response['isi_outside']:.2g} V of its {response['isi']:.3g} V ISI lies outside")
    top.set_ylabel("impulse response\n(each scaled to its peak)")
    top.set_title(f"Impulse and pulse responses before and after each model\n{title_of(report)}", fontsize=10)
    bottom.set_ylabel("pulse response (V)")
    low, high = isi_span(responses, first, per_bit)
    bottom.set_xlim((first + low) * dt * 1e9, (first + high) * dt * 1e9)
    bottom.set_xlabel("time (ns), where cursors exceed 1 % of the main one; dots one bit apart from each main cursor")
    lines = [f"{s['name']}: worst-case eye {s['eye_height']:.3g} V ({'open' if s['eye_open'] else 'closed'})"
             for s in report["statistical"]["stages"]] + outside
    fig.text(0.01, 0.01, "\n".join(lines), ha="left", va="bottom", fontsize=8)
    for ax in (top, bottom):
        ax.grid(alpha=0.3)
    top.legend(fontsize=8, loc="upper right", frameon=True, framealpha=0.9)
    fig.tight_layout(rect=(0, 0.03 + 0.025 * len(lines), 1, 1))
    fig.savefig(path)
    plt.close(fig)


def draw_clock(report, waves, path):
    clock = waves["clock"]
    ui = waves["bit_time"]
    t = np.array(clock["time"]) * 1e9
    phase = np.array(clock["phase_ui"])
    envelope = clock["envelope"]
    final, tol = clock["final_phase_ui"], clock["tolerance_ui"]
    settle = clock["settle_time"] * 1e9 if clock["settled"] else None
    fig, axes = plt.subplots(1, 2, figsize=(9, 4.4), dpi=100, gridspec_kw=dict(width_ratios=[1, 2]))
    # Left: every clock of the acquisition; right: the whole run's envelope.
    axes[0].plot(t, phase, lw=0.8, color="tab:blue", label="sampling phase")
    whole_t = np.array(envelope["time"]) * 1e9
    axes[1].fill_between(whole_t, envelope["low_ui"], envelope["high_ui"], step="post", color="tab:blue",
                         lw=0.6, label=f"sampling phase (range of each {envelope['clocks_per_point']} clocks)")
    # The acquisition up to three times the settling time (at least 300 bits).
    end = min(max(3 * settle if settle else 0.0, 300 * ui * 1e9), t[-1])
    axes[0].set_xlim(t[0], end)
    shown = phase[t <= end]
    axes[0].set_ylim(min(shown.min(), final - tol) - 0.02, max(shown.max(), final + tol) + 0.02)
    for ax, title in ((axes[0], "acquisition"), (axes[1], "whole run")):
        ax.axhspan(final - tol / 2, final + tol / 2, color="tab:green", alpha=0.15,
                   label=f"settled phase ± {tol / 2:g} UI")
        if settle is not None:
            ax.axvline(settle, color="tab:green", ls="--", label=f"settled at {settle:.4g} ns")
        ax.set_xlabel("time (ns)")
        ax.set_title(title, fontsize=9)
        ax.grid(alpha=0.3)
    axes[0].set_ylabel("sampling instant after the bit's start\n(UI, unwrapped)")
    legend_below(axes[1])
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
