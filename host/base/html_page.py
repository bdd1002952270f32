"""The pieces every report.html of the host is made of: the page with its
styles, tables, figures that carry their value for a reader and a test,
pictures embedded as data, and charts drawn as inline SVG.

The page needs nothing from outside the file: its content-security policy
forbids every fetch (pictures are data: URIs, styles are inline, there is no
script), so it reads the same offline, in an e-mail or in a ticket. Numbers
are formatted by Python's own %-formatting, which ignores the locale.
Only Python's standard library is used, so writing a page costs little.
"""
import base64
import html
import json
import math
import os
import struct

CSP = "default-src 'none'; img-src data:; style-src 'unsafe-inline'; base-uri 'none'; form-action 'none'"

STYLE = """
:root { --ink: #1f2328; --muted: #59636e; --line: #d1d9e0; --panel: #f6f8fa; --accent: #0969da;
        --good: #1a7f37; --good-bg: #dafbe1; --bad: #cf222e; --bad-bg: #ffebe9; --warn: #9a6700; --warn-bg: #fff8c5; }
* { box-sizing: border-box; }
body { margin: 0; color: var(--ink); background: #fff; font: 15px/1.5 system-ui, -apple-system, "Segoe UI",
       "DejaVu Sans", "Liberation Sans", sans-serif; }
header { background: #24292f; color: #fff; padding: 18px 32px 14px; }
header h1 { margin: 0; font-size: 22px; font-weight: 600; }
header p { margin: 4px 0 0; color: #c9d1d9; font-size: 14px; }
nav { padding: 8px 32px; border-bottom: 1px solid var(--line); background: var(--panel); font-size: 14px; }
nav a { color: var(--accent); text-decoration: none; margin-right: 16px; white-space: nowrap; }
main { padding: 8px 32px 32px; max-width: 1200px; }
section { margin-top: 26px; }
h2 { font-size: 19px; border-bottom: 1px solid var(--line); padding-bottom: 4px; margin: 0 0 12px; }
h3 { font-size: 16px; margin: 18px 0 8px; }
p { margin: 6px 0; }
.muted { color: var(--muted); }
.verdict { border-radius: 8px; padding: 14px 20px; margin-top: 20px; border: 1px solid; }
.verdict h2 { border: 0; margin: 0; padding: 0; font-size: 22px; }
.verdict p { margin: 4px 0 0; font-weight: 400; color: var(--ink); }
.verdict.good { background: var(--good-bg); border-color: var(--good); }
.verdict.good h2 { color: var(--good); }
.verdict.bad { background: var(--bad-bg); border-color: var(--bad); }
.verdict.bad h2 { color: var(--bad); }
.verdict.warn { background: var(--warn-bg); border-color: var(--warn); }
.verdict.warn h2 { color: var(--warn); }
.cards { display: grid; grid-template-columns: repeat(auto-fill, minmax(200px, 1fr)); gap: 10px; margin-top: 14px; }
.card { border: 1px solid var(--line); border-radius: 8px; padding: 10px 14px; background: #fff; }
.card .label { color: var(--muted); font-size: 13px; }
.card .value { font-size: 21px; font-weight: 600; font-variant-numeric: tabular-nums; }
.card .note { color: var(--muted); font-size: 12.5px; }
table { border-collapse: collapse; margin: 6px 0 12px; font-size: 14px; }
th, td { border: 1px solid var(--line); padding: 4px 10px; text-align: left; vertical-align: top; }
th { background: var(--panel); font-weight: 600; }
td.num { text-align: right; font-variant-numeric: tabular-nums; white-space: nowrap; }
td.code, .code { font-family: ui-monospace, "DejaVu Sans Mono", monospace; font-size: 13px; overflow-wrap: anywhere; }
.nowrap { white-space: nowrap; overflow-wrap: normal; }
.pass, .open { color: var(--good); font-weight: 600; }
.fail, .closed { color: var(--bad); font-weight: 600; }
.warn { color: var(--warn); font-weight: 600; }
.skip { color: var(--muted); font-weight: 600; }
figure { margin: 10px 0 16px; }
figure img, figure svg { max-width: 100%; height: auto; border: 1px solid var(--line); border-radius: 6px; background: #fff; }
figcaption { color: var(--muted); font-size: 13px; margin-top: 4px; }
pre { background: var(--panel); border: 1px solid var(--line); border-radius: 6px; padding: 8px 12px;
      white-space: pre-wrap; overflow-wrap: anywhere; font-size: 13px; margin: 4px 0 10px; }
ul.notes { margin: 4px 0 10px; padding-left: 22px; }
footer { color: var(--muted); font-size: 12.5px; padding: 0 32px 24px; }
@media print {
  @page { margin: 14mm; }
  body { font-size: 11pt; }
  header { background: none; color: var(--ink); padding: 0 0 6px; border-bottom: 2px solid var(--ink); }
  header p { color: var(--muted); }
  nav { display: none; }
  main { padding: 0; max-width: none; }
  figure, table, .verdict, .card, pre, h2, h3 { break-inside: avoid; page-break-inside: avoid; }
  h2, h3 { break-after: avoid; page-break-after: avoid; }
  .verdict, .card, th { -webkit-print-color-adjust: exact; print-color-adjust: exact; }
  a { color: inherit; text-decoration: none; }
}
"""


def esc(text):
    return html.escape(str(text), quote=True)


def fmt(value, pattern="%.4g", unit=""):
    """A number as text (C conventions), with its unit; n/a when missing."""
    if value is None or (isinstance(value, float) and not math.isfinite(value)):
        return "n/a"
    text = pattern % value
    return f"{text} {unit}" if unit else text


def figure_value(key, value, text):
    """`text` marked as the figure `key` of the command's JSON, with the value
    itself (as JSON) for whoever checks the page against the file."""
    return f'<span data-figure="{esc(key)}" data-value="{esc(json.dumps(value))}">{esc(text)}</span>'


def table(head, rows, numeric=(), code=()):
    """A table of `rows` (cells are HTML already) under the header `head`;
    the columns numbered in `numeric` align right, those in `code` are
    set in a fixed-width font."""
    out = ["<table><thead><tr>", "".join(f"<th>{esc(h)}</th>" for h in head), "</tr></thead><tbody>"]
    for row in rows:
        cells = []
        for i, cell in enumerate(row):
            cls = "num" if i in numeric else "code" if i in code else ""
            cells.append(f'<td class="{cls}">{cell}</td>' if cls else f"<td>{cell}</td>")
        out.append("<tr>" + "".join(cells) + "</tr>")
    out.append("</tbody></table>")
    return "".join(out)


def key_value_table(rows):
    """A two-column table of (label, HTML value) pairs."""
    return "<table><tbody>" + "".join(f"<tr><th>{esc(k)}</th><td>{v}</td></tr>" for k, v in rows) + \
        "</tbody></table>"


def card(label, value_html, note=""):
    note_html = f'<div class="note">{note}</div>' if note else ""
    return f'<div class="card"><div class="label">{esc(label)}</div><div class="value">{value_html}</div>{note_html}</div>'


def notes_list(lines):
    return '<ul class="notes">' + "".join(f"<li>{esc(line)}</li>" for line in lines) + "</ul>"


def png_size(data):
    """Width and height of a PNG (from its header); None when not a PNG."""
    if len(data) < 24 or data[:8] != b"\x89PNG\r\n\x1a\n":
        return None
    return struct.unpack(">II", data[16:24])


def embedded_picture(path, caption):
    """The picture at `path` as a figure holding its bytes, or nothing when
    the command drew no such picture."""
    if not os.path.isfile(path):
        return ""
    with open(path, "rb") as f:
        data = f.read()
    size = png_size(data)
    if size is None:
        return ""
    encoded = base64.b64encode(data).decode("ascii")
    return (f'<figure><img src="data:image/png;base64,{encoded}" width="{size[0]}" height="{size[1]}" '
            f'alt="{esc(caption)}"><figcaption>{esc(caption)}</figcaption></figure>')


def nice_ticks(low, high, count=6):
    """Round tick values from at or below `low` to at or above `high`."""
    span = high - low
    if span <= 0:
        span = abs(high) or 1.0
        low, high = low - span / 2, high + span / 2
    raw = span / count
    magnitude = 10 ** math.floor(math.log10(raw))
    step = next(m * magnitude for m in (1, 2, 2.5, 5, 10) if m * magnitude >= raw)
    first = math.floor(low / step + 1e-9)
    last = math.ceil(high / step - 1e-9)
    return [round(k * step, 12) for k in range(first, last + 1)]


PALETTE = ["#0969da", "#cf222e", "#1a7f37", "#8250df", "#bc4c00", "#57606a"]


def line_chart(series, x_label, y_label, marks=(), width=760, height=330, y_range=None, label=""):
    """An SVG chart of `series` (dicts of label, x, y and optionally colour
    and dash; None in y breaks the line), with vertical `marks` (x, label)."""
    left, right, top, bottom = 64, 16, 14, 74
    xs = [x for s in series for x in s["x"]]
    ys = [y for s in series for y in s["y"] if y is not None and math.isfinite(y)]
    if not xs or not ys:
        return ""
    x_ticks = nice_ticks(min(xs), max(xs))
    y_ticks = nice_ticks(*(y_range or (min(ys), max(ys))))
    x0, x1, y0, y1 = x_ticks[0], x_ticks[-1], y_ticks[0], y_ticks[-1]
    plot_w, plot_h = width - left - right, height - top - bottom

    def px(x):
        return left + (x - x0) / ((x1 - x0) or 1) * plot_w

    def py(y):
        return top + (y1 - min(max(y, y0), y1)) / ((y1 - y0) or 1) * plot_h

    out = [f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {width} {height}" width="{width}" '
           f'height="{height}" role="img" aria-label="{esc(label)}" font-size="12" '
           f'font-family="system-ui, DejaVu Sans, sans-serif">']
    for t in x_ticks:
        out.append(f'<line x1="{px(t):.1f}" y1="{top}" x2="{px(t):.1f}" y2="{top + plot_h}" stroke="#e5e9ee"/>'
                   f'<text x="{px(t):.1f}" y="{top + plot_h + 16}" text-anchor="middle" fill="#59636e">{t:g}</text>')
    for t in y_ticks:
        out.append(f'<line x1="{left}" y1="{py(t):.1f}" x2="{left + plot_w}" y2="{py(t):.1f}" stroke="#e5e9ee"/>'
                   f'<text x="{left - 6}" y="{py(t) + 4:.1f}" text-anchor="end" fill="#59636e">{t:g}</text>')
    out.append(f'<rect x="{left}" y="{top}" width="{plot_w}" height="{plot_h}" fill="none" stroke="#8c959f"/>')
    for x, text in marks:
        out.append(f'<line x1="{px(x):.1f}" y1="{top}" x2="{px(x):.1f}" y2="{top + plot_h}" stroke="#bc4c00" '
                   f'stroke-dasharray="5 4"/><text x="{px(x) + 5:.1f}" y="{top + 14}" fill="#bc4c00">{esc(text)}</text>')
    legend_x = left
    for k, s in enumerate(series):
        colour = s.get("colour", PALETTE[k % len(PALETTE)])
        dash = f' stroke-dasharray="{s["dash"]}"' if s.get("dash") else ""
        for run in unbroken_runs(s["x"], s["y"]):
            points = " ".join(f"{px(x):.1f},{py(y):.1f}" for x, y in run)
            out.append(f'<polyline points="{points}" fill="none" stroke="{colour}" stroke-width="1.8"{dash}/>')
        out.append(f'<line x1="{legend_x}" y1="{height - 14}" x2="{legend_x + 22}" y2="{height - 14}" '
                   f'stroke="{colour}" stroke-width="2.5"{dash}/><text x="{legend_x + 28}" y="{height - 10}">'
                   f'{esc(s["label"])}</text>')
        legend_x += 40 + 7 * len(s["label"])
    out.append(f'<text x="{left + plot_w / 2:.1f}" y="{top + plot_h + 36}" text-anchor="middle">{esc(x_label)}</text>'
               f'<text transform="translate(16 {top + plot_h / 2:.1f}) rotate(-90)" text-anchor="middle">'
               f'{esc(y_label)}</text></svg>')
    return "".join(out)


def unbroken_runs(xs, ys):
    """The stretches of (x, y) with a finite y."""
    run = []
    for x, y in zip(xs, ys):
        if y is None or not math.isfinite(y):
            if run:
                yield run
            run = []
        else:
            run.append((x, y))
    if run:
        yield run


# A heatmap cell of a point that ran but has no figure.
FAILED = "failed"

# A perceptually even scale from dark blue through green to yellow.
SCALE = [(68, 1, 84), (59, 82, 139), (33, 145, 140), (94, 201, 98), (253, 231, 37)]


def scale_colour(fraction):
    fraction = min(max(fraction, 0.0), 1.0) * (len(SCALE) - 1)
    k = min(int(fraction), len(SCALE) - 2)
    t = fraction - k
    r, g, b = (round(a + (c - a) * t) for a, c in zip(SCALE[k], SCALE[k + 1]))
    return f"rgb({r},{g},{b})", (r * 299 + g * 587 + b * 114) / 1000 > 140


def heatmap(x_name, x_values, y_name, y_values, grid, value_text, label=""):
    """An SVG heatmap of grid[y][x], each cell labelled with
    value_text(value): a number, FAILED (a point without a figure) or None
    (a point not in the table: another shard's)."""
    finite = [v for row in grid for v in row if isinstance(v, float) and math.isfinite(v)]
    low, high = (min(finite), max(finite)) if finite else (0.0, 1.0)
    cell_w = max(64, min(96, 760 // max(1, len(x_values))))
    cell_h = max(26, min(40, 420 // max(1, len(y_values))))
    left, top = 110, 10
    legend = f"colour from {value_text(low)} (dark) to {value_text(high)} (light, outlined)"
    width = max(left + cell_w * len(x_values) + 20, left + round(6.5 * len(legend)) + 10)
    height = top + cell_h * len(y_values) + 74
    out = [f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {width} {height}" width="{width}" '
           f'height="{height}" role="img" aria-label="{esc(label)}" font-size="12" '
           f'font-family="system-ui, DejaVu Sans, sans-serif">']
    for j, y_value in enumerate(y_values):
        y = top + cell_h * (len(y_values) - 1 - j)  # the first value at the bottom
        out.append(f'<text x="{left - 6}" y="{y + cell_h / 2 + 4:.1f}" text-anchor="end">{esc(y_value)}</text>')
        for i, value in enumerate(grid[j]):
            x = left + cell_w * i
            if not isinstance(value, float) or not math.isfinite(value):
                failed = value == FAILED
                out.append(f'<rect x="{x}" y="{y}" width="{cell_w}" height="{cell_h}" fill="#eaeef2" '
                           f'stroke="#fff"/><text x="{x + cell_w / 2}" y="{y + cell_h / 2 + 4:.1f}" '
                           f'text-anchor="middle" fill="{"#cf222e" if failed else "#59636e"}">'
                           f'{"failed" if failed else "other shard"}</text>')
                continue
            colour, light = scale_colour((value - low) / ((high - low) or 1))
            out.append(f'<rect x="{x}" y="{y}" width="{cell_w}" height="{cell_h}" fill="{colour}" stroke="#fff">'
                       f'<title>{esc(value_text(value))}</title></rect>')
            if value == high:  # the best cell, outlined
                out.append(f'<rect x="{x + 1.5}" y="{y + 1.5}" width="{cell_w - 3}" height="{cell_h - 3}" '
                           'fill="none" stroke="#cf222e" stroke-width="3"/>')
            out.append(f'<text x="{x + cell_w / 2}" y="{y + cell_h / 2 + 4:.1f}" text-anchor="middle" '
                       f'fill="{"#000" if light else "#fff"}">{esc(value_text(value))}</text>')
    base = top + cell_h * len(y_values)
    for i, x_value in enumerate(x_values):
        out.append(f'<text x="{left + cell_w * i + cell_w / 2}" y="{base + 16}" text-anchor="middle">'
                   f'{esc(x_value)}</text>')
    out.append(f'<text x="{left + cell_w * len(x_values) / 2}" y="{base + 36}" text-anchor="middle" '
               f'font-weight="600">{esc(x_name)}</text>'
               f'<text transform="translate(14 {top + cell_h * len(y_values) / 2}) rotate(-90)" '
               f'text-anchor="middle" font-weight="600">{esc(y_name)}</text>')
    out.append(f'<text x="{left}" y="{base + 60}" fill="#59636e">{esc(legend)}</text></svg>')
    return "".join(out)


def section(anchor, title, body):
    return f'<section id="{esc(anchor)}"><h2>{esc(title)}</h2>{body}</section>'


def page(title, subtitle, sections, footer=""):
    """The whole page: `sections` are (anchor, title, HTML) triples, listed
    in the navigation bar; an anchor of None is shown without a title."""
    nav = "".join(f'<a href="#{esc(a)}">{esc(t)}</a>' for a, t, _ in sections if a)
    body = "".join(section(a, t, h) if a else h for a, t, h in sections)
    return (f'<!DOCTYPE html>\n<html lang="en"><head><meta charset="utf-8">'
            f'<meta http-equiv="Content-Security-Policy" content="{CSP}">'
            f'<meta name="viewport" content="width=device-width, initial-scale=1">'
            f'<title>{esc(title)}</title><style>{STYLE}</style></head><body>'
            f'<header><h1>{esc(title)}</h1><p>{esc(subtitle)}</p></header><nav>{nav}</nav>'
            f'<main>{body}</main><footer>{esc(footer)}</footer></body></html>\n')


def write_page(path, text):
    """Writes under a temporary name and renames, so that `path` is whole or
    absent."""
    partial = path + ".partial"
    with open(partial, "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(partial, path)


def load_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)
