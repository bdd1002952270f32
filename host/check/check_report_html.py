#!/usr/bin/env python3
"""Writes a model check's report.html from its check.json.

Usage: check_report_html.py DIR

Reads DIR/check.json and writes DIR/report.html: the verdict, the table of
checks (failures first, then warnings, passes and skipped checks), each with
its figure, its threshold and what was seen, and check.png when it was drawn.
"""
import os
import sys

from html_page import card, embedded_picture, esc, figure_value, key_value_table, load_json, page, table, write_page

ORDER = {"fail": 0, "warn": 1, "pass": 2, "skip": 3}


def figure_cell(k, check):
    value = check["figure"]
    if value is None:
        text = "inf" if check.get("figure_not_finite") else ""
    else:
        text = "%.3g" % value + (f" {check['unit']}" if check["unit"] else "")
    return figure_value(f"checks.{k}.figure", value, text)


def checks_table(checks):
    ranked = sorted(enumerate(checks), key=lambda kc: (ORDER.get(kc[1]["status"], 4), kc[0]))
    rows = [[f'<span class="code nowrap">{esc(c["name"])}</span>',
             f'<span class="{esc(c["status"])}">{figure_value(f"checks.{k}.status", c["status"], c["status"])}</span>',
             figure_cell(k, c), esc(c.get("threshold", "")), esc(c["detail"])] for k, c in ranked]
    return table(["check", "result", "figure", "threshold", "what was seen"], rows, numeric=(2,))


def verdict(report):
    summary = report["summary"]
    model = report["model"]
    state = "bad" if summary["fail"] else "warn" if summary["warn"] else "good"
    failed = summary["fail"]
    headline = (f"{failed} check{'s' if failed != 1 else ''} failed" if failed else
                "No check failed, with warnings" if summary["warn"] else "Every check passed")
    counts = ", ".join(f'{figure_value(f"summary.{s}", summary[s], str(summary[s]))} {s}'
                       for s in ("pass", "warn", "fail", "skip"))
    return (f'<div class="verdict {state}" id="verdict" data-verdict="{"fail" if summary["fail"] else "pass"}">'
            f'<h2>{esc(headline)}</h2><p>{esc(model["side"])} model {esc(os.path.basename(model["library"]))}: '
            f'{counts}</p></div>')


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    folder = argv[1]
    report = load_json(os.path.join(folder, "check.json"))
    model = report["model"]
    summary = report["summary"]
    cards = '<div class="cards">' + "".join(
        card(s, f'<span class="{s}">{summary[s]}</span>') for s in ("fail", "warn", "pass", "skip")) + "</div>"
    facts = key_value_table([("side", esc(model["side"])),
                             ("library", f'<span class="code">{esc(model["library"])}</span>'),
                             (".ami file", f'<span class="code">{esc(model["ami"])}</span>')])
    picture = embedded_picture(os.path.join(folder, "check.png"), "The responses the checks compared")
    sections = [(None, "", verdict(report) + cards),
                ("checks", "Checks", checks_table(report["checks"])),
                ("responses", "Responses compared", picture or "<p class='muted'>No check kept responses.</p>"),
                ("model", "Model", facts)]
    write_page(os.path.join(folder, "report.html"),
               page(f"Model check: {model['side']} model {os.path.basename(model['library'])}", model["ami"],
                    sections, "Written by ami_host check from check.json in the same folder."))


if __name__ == "__main__":
    main(sys.argv)
