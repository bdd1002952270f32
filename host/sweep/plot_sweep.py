#!/usr/bin/env python3
"""Draws a sweep's figure of merit over its two most important parameters.

Usage: plot_sweep.py DIR METRIC

Reads DIR/sweep.jsonl and writes DIR/sweep_<METRIC>_<channel number>.png, one
heatmap per channel. The two parameters shown are those whose values move the
metric's mean the most; every other parameter is held at the value of the
channel's best point. With one swept parameter the picture is a line.
"""
import json
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from sweep_view import heatmap_plan  # noqa: E402


def load(folder):
    with open(os.path.join(folder, "sweep.jsonl"), encoding="utf-8") as f:
        header = json.loads(f.readline())["sweep"]
        points = [json.loads(line) for line in f if line.strip()]
    return header, points


def value_of(point, metric):
    v = point["metrics"].get(metric)
    return float("nan") if v is None else v


def draw(header, points, channel, metric, path):
    axes = header["axes"]
    plan = heatmap_plan(axes, points, metric)
    if plan is None:
        return False
    best, ranked, held = plan
    shown = {a["name"] for a in ranked}
    fig, ax = plt.subplots(figsize=(7, 5))
    x = ranked[0]
    if len(ranked) == 1:
        ys = [value_of(next(p for p in held if p["settings"][x["name"]] == v), metric) for v in x["values"]]
        ax.plot(range(len(ys)), ys, "o-")
        ax.set_xticks(range(len(ys)), x["values"])
        ax.set_ylabel(metric)
    else:
        y = ranked[1]
        grid = np.full((len(y["values"]), len(x["values"])), np.nan)
        for p in held:
            grid[y["values"].index(p["settings"][y["name"]]), x["values"].index(p["settings"][x["name"]])] = \
                value_of(p, metric)
        image = ax.imshow(grid, origin="lower", aspect="auto", cmap="viridis")
        fig.colorbar(image, ax=ax, label=metric)
        ax.set_xticks(range(len(x["values"])), x["values"])
        ax.set_yticks(range(len(y["values"])), y["values"])
        ax.set_ylabel(y["name"])
    ax.set_xlabel(x["name"])
    others = [f"{a['name']}={best['settings'][a['name']]}" for a in axes if a["name"] not in shown]
    ax.set_title(f"{metric} on {channel}" + (f"\n({', '.join(others)})" if others else ""))
    fig.tight_layout()
    fig.savefig(path, dpi=100)
    plt.close(fig)
    return True


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    folder, metric = sys.argv[1], sys.argv[2]
    header, points = load(folder)
    if metric not in header["metrics"]:
        sys.exit(f"plot_sweep.py: no metric {metric} (the sweep has {', '.join(header['metrics'])})")
    for number, channel in enumerate(header["channels"]):
        path = os.path.join(folder, f"sweep_{metric}_{number}.png")
        if draw(header, [p for p in points if p["channel"] == channel], channel, metric, path):
            print(path)


if __name__ == "__main__":
    main()
