#!/usr/bin/env python3
"""Draws the responses the model checks compared, from check.json.

Usage: plot_check.py DIR

Writes DIR/check.png: one panel per check that kept its responses (the pulse
response at each samples-per-bit setting; AMI_Init's pulse response against
AMI_GetWave's), titled with the check's result and figure.
"""
import json
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    folder = sys.argv[1]
    with open(os.path.join(folder, "check.json"), encoding="utf-8") as f:
        report = json.load(f)
    shown = [c for c in report["checks"] if c.get("curves")]
    if not shown:
        return
    fig, axes = plt.subplots(len(shown), 1, figsize=(8, 3.5 * len(shown)), squeeze=False)
    for ax, check in zip(axes[:, 0], shown):
        for curve in check["curves"]:
            values = np.array([np.nan if v is None else v for v in curve["values"]], dtype=float)
            ax.plot(np.arange(len(values)) * curve["step"] * 1e9, values, label=curve["label"])
        figure = "" if check["figure"] is None else f", {check['figure']:.3g} {check['unit']}"
        ax.set_title(f"{check['name']}: {check['status']}{figure}")
        ax.set_xlabel("time (ns)")
        ax.set_ylabel("pulse response (V)")
        ax.grid(True, alpha=0.3)
        ax.legend(fontsize="small")
    model = report["model"]
    fig.suptitle(f"{model['side']} model {os.path.basename(model['library'])}")
    fig.tight_layout()
    path = os.path.join(folder, "check.png")
    fig.savefig(path, dpi=100)
    print(path)


if __name__ == "__main__":
    main()
