#!/usr/bin/env python3
"""Writes a sweep's report.html from its sweep.jsonl.

Usage: sweep_report_html.py DIR [--best METRIC] [--merged SHARD...]

Reads DIR/sweep.jsonl and writes DIR/report.html: the grid, the best points
of each channel by METRIC (default: the first metric), a heatmap of METRIC
per channel over the two parameters that move it most (the others held at
the channel's best point), the points that failed with their causes, and
with --merged the shards the table was joined from (their sweep.jsonl files
or folders).
"""
import argparse
import json
import os

from html_page import FAILED, card, esc, figure_value, fmt, heatmap, key_value_table, page, table, write_page
from sweep_view import goodness, heatmap_plan, metric_of

BEST_ROWS = 5
ALL_POINTS_SHOWN = 400  # larger tables are left to sweep.csv

UNITS = {"eye_height": "V", "td_eye_height": "V", "ber_eye_height": "V", "eye_width_ui": "UI",
         "td_eye_width_ui": "UI", "ber_eye_width_ui": "UI", "td_bit_errors": ""}


def read_results(path):
    with open(path, encoding="utf-8") as f:
        header = json.loads(f.readline())["sweep"]
        points = [json.loads(line) for line in f if line.strip()]
    return header, points


def metric_text(metric, value):
    unit = UNITS.get(metric, "")
    pattern = "%.0f" if metric == "td_bit_errors" else "%.3f" if unit == "UI" else "%.4g"
    return fmt(value, pattern, unit)


def metric_cell(point, metric):
    value = metric_of(point, metric)
    return figure_value(f"points.{point['index']}.metrics.{metric}", value, metric_text(metric, value))


def channel_heatmap(header, points, channel, metric):
    axes = header["axes"]
    plan = heatmap_plan(axes, points, metric)
    if plan is None:
        return ""
    best, shown, held = plan
    names = {a["name"] for a in shown}
    x = shown[0]
    y = shown[1] if len(shown) > 1 else {"name": "", "values": [""]}
    grid = [[None] * len(x["values"]) for _ in y["values"]]
    for p in held:
        j = y["values"].index(p["settings"][y["name"]]) if y["name"] else 0
        value = metric_of(p, metric)
        grid[j][x["values"].index(p["settings"][x["name"]])] = FAILED if value is None else float(value)
    others = [f"{a['name']}={best['settings'][a['name']]}" for a in axes if a["name"] not in names]
    caption = f"{metric} on {channel} over {x['name']}" + (f" and {y['name']}" if y["name"] else "") + \
        (f", with {', '.join(others)} (the best point's)" if others else "")
    svg = heatmap(x["name"], x["values"], y["name"], y["values"], grid, lambda v: metric_text(metric, v), caption)
    return f"<figure>{svg}<figcaption>{esc(caption)}</figcaption></figure>"


def best_table(header, points, metric):
    ranked = sorted((p for p in points if metric_of(p, metric) is not None),
                    key=lambda p: -goodness(p, metric))[:BEST_ROWS]
    if not ranked:
        return "<p class='muted'>No point of this channel has a figure.</p>"
    head = ["point"] + [a["name"] for a in header["axes"]] + header["metrics"]
    rows = [[str(p["index"])] + [esc(p["settings"][a["name"]]) for a in header["axes"]] +
            [metric_cell(p, m) for m in header["metrics"]] for p in ranked]
    first_metric = 1 + len(header["axes"])
    return table(head, rows, numeric=tuple(range(first_metric, first_metric + len(header["metrics"]))))


def grid_section(header, points):
    axes = "".join(f"<tr><th>{esc(a['name'])}</th><td>{esc(', '.join(str(v) for v in a['values']))}</td></tr>"
                   for a in header["axes"])
    facts = key_value_table([
        ("points", f'{header["points"]:,} in the whole grid; {len(points):,} in this table (shard {esc(header["shard"])})'),
        ("channels", esc(", ".join(header["channels"]))),
        ("metrics", esc(", ".join(header["metrics"]))),
    ])
    return facts + "<h3>Swept parameters</h3><table><tbody>" + axes + "</tbody></table>"


def setting_text(value):
    """A fixed setting as text: numbers in C conventions, lists joined."""
    if isinstance(value, bool) or value is None:
        return json.dumps(value)
    if isinstance(value, float):
        return "%.6g" % value
    if isinstance(value, list):
        return ", ".join(setting_text(v) for v in value) or "none"
    return str(value)


def settings_section(header):
    settings = header.get("settings") or {}
    fixed = key_value_table([(k, f'<span class="code">{esc(setting_text(v))}</span>') for k, v in settings.items()])
    files = header.get("files") or {}
    file_rows = [[f'<span class="code">{esc(path)}</span>', f'<span class="code">{esc(digest)}</span>']
                 for path, digest in files.items()]
    inputs = table(["file", "digest (FNV-1a)"], file_rows) if file_rows else ""
    return ("<p>Every point ran with these settings besides its own:</p>" + fixed +
            ("<h3>Files read</h3>" + inputs if inputs else ""))


def failed_section(points):
    failed = [p for p in points if p.get("error")]
    if not failed:
        return "<p>Every point has its figures.</p>"
    rows = [[str(p["index"]), esc(p["channel"]), esc(", ".join(f"{k}={v}" for k, v in p["settings"].items())),
             esc(p["error"])] for p in failed]
    return table(["point", "channel", "settings", "cause"], rows, code=(2,))


def all_points_section(header, points):
    if len(points) > ALL_POINTS_SHOWN:
        return f"<p class='muted'>{len(points):,} points: see sweep.csv beside this page.</p>"
    head = ["point", "channel"] + [a["name"] for a in header["axes"]] + header["metrics"]
    rows = [[str(p["index"]), esc(p["channel"])] + [esc(p["settings"][a["name"]]) for a in header["axes"]] +
            [metric_cell(p, m) if not p.get("error") else '<span class="fail">failed</span>' for m in header["metrics"]]
            for p in points]
    first_metric = 2 + len(header["axes"])
    return table(head, rows, numeric=tuple(range(first_metric, first_metric + len(header["metrics"]))))


def plural(count, noun):
    return f"{count:,} {noun}" + ("" if count == 1 else "s")


def shard_file(path):
    return os.path.join(path, "sweep.jsonl") if os.path.isdir(path) else path


def merged_section(shards):
    rows = []
    for path in shards:
        header, points = read_results(shard_file(path))
        rows.append([f'<span class="code">{esc(shard_file(path))}</span>', esc(header["shard"]),
                     f"{len(points):,}", f"{sum(1 for p in points if p.get('error')):,}"])
    return "<p>This table joins these shards:</p>" + table(["file", "shard", "points", "failed"], rows,
                                                            numeric=(2, 3))


def summary_cards(header, points, metric):
    failed = sum(1 for p in points if p.get("error"))
    cards = [card("points in this table", f"{len(points):,}", f"of {header['points']:,} in the grid"),
             card("failed points", f'<span class="{"fail" if failed else "pass"}">{failed:,}</span>')]
    for channel in header["channels"]:
        ranked = [p for p in points if p["channel"] == channel and metric_of(p, metric) is not None]
        if ranked:
            best = max(ranked, key=lambda p: goodness(p, metric))
            settings = ", ".join(f"{k}={v}" for k, v in best["settings"].items())
            cards.append(card(f"best {metric} on {channel}", metric_cell(best, metric), esc(settings)))
    return '<div class="cards">' + "".join(cards) + "</div>"


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder")
    parser.add_argument("--best", default="")
    parser.add_argument("--merged", nargs="*", default=[])
    args = parser.parse_args()
    header, points = read_results(os.path.join(args.folder, "sweep.jsonl"))
    metric = args.best or header["metrics"][0]
    failed = sum(1 for p in points if p.get("error"))
    state = "good" if failed == 0 else "bad" if failed == len(points) else "warn"
    verdict = (f'<div class="verdict {state}" id="verdict"><h2>{len(points) - failed:,} of {len(points):,} points '
               f'evaluated</h2><p>{"Every point has its figures." if not failed else f"{failed:,} failed: see below."}'
               "</p></div>")
    sections = [(None, "", verdict + summary_cards(header, points, metric))]
    if args.merged:
        sections.append(("shards", "Shards joined", merged_section(args.merged)))
    per_channel = "".join(
        f"<h3>{esc(channel)}</h3>" + channel_heatmap(header, [p for p in points if p["channel"] == channel], channel,
                                                     metric) +
        best_table(header, [p for p in points if p["channel"] == channel], metric)
        for channel in header["channels"])
    sections.append(("channels", f"Best points by {metric}", per_channel))
    sections.append(("failed", "Failed points", failed_section(points)))
    sections.append(("grid", "Grid", grid_section(header, points)))
    sections.append(("points", "Every point", all_points_section(header, points)))
    sections.append(("settings", "Settings", settings_section(header)))
    axes = " x ".join(a["name"] for a in header["axes"]) or "no parameter"
    title = ("Merged sweep: " if args.merged else "Sweep: ") + axes
    write_page(os.path.join(args.folder, "report.html"),
               page(title, f'{header["points"]:,} points over {plural(len(header["channels"]), "channel")}, shard '
                           f'{header["shard"]}', sections,
                    "Written by ami_host from sweep.jsonl in the same folder (sweep.csv holds the same table)."))


if __name__ == "__main__":
    main()
