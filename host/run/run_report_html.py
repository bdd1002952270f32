#!/usr/bin/env python3
"""Writes a single run's report.html from its report.json and the pictures
beside it.

Usage: run_report_html.py DIR

Reads DIR/report.json (every figure the page shows comes from it) and embeds
the pictures the plotting scripts drew into DIR (those missing are left out);
writes DIR/report.html, one self-contained page.
"""
import os
import sys

from html_page import (card, embedded_picture, esc, figure_value, fmt, key_value_table, line_chart, load_json,
                       notes_list, page, table, write_page)


def volts(key, value):
    return figure_value(key, value, fmt(value, "%.4g", "V"))


def ui(key, value):
    return figure_value(key, value, fmt(value, "%.3f", "UI"))


def open_word(is_open):
    return '<span class="open">open</span>' if is_open else '<span class="closed">closed</span>'


def statistical_verdict(report):
    """Whether the eye is open at the target BER (or, without a BER
    analysis, in the worst case), the headline and what backs it."""
    ber = report.get("statistical_eye")
    stages = report["statistical"]["stages"]
    if ber:
        is_open = ber["open"]
        height = volts("statistical_eye.height", ber["height"])
        detail = (f'statistical eye {height} high, {ui("statistical_eye.width_ui", ber["width_ui"])} wide' if is_open
                  else f"the statistical eye has no opening at this BER (height {height})")
        return is_open, f'Eye {"open" if is_open else "closed"} at BER {ber["target_ber"]:.0e}', detail
    if stages:
        last = stages[-1]
        height = volts(f"statistical.stages.{len(stages) - 1}.eye_height", last["eye_height"])
        return last["eye_open"], f'Worst-case eye {"open" if last["eye_open"] else "closed"} {last["name"]}', \
            f"height {height}"
    return False, "No statistical result", ""


def time_domain_verdict(td):
    """Whether the time domain agrees (an open eye without errors), and what
    it says."""
    if td["bits_counted"] == 0:
        return False, "time domain: no bits measured (see the clock below)"
    errors = figure_value("time_domain.bit_errors", td["bit_errors"], "{:,}".format(td["bit_errors"]))
    bits = figure_value("time_domain.bits_counted", td["bits_counted"], "{:,}".format(td["bits_counted"]))
    return (td["eye_open"] and td["bit_errors"] == 0,
            f'time domain: eye {"open" if td["eye_open"] else "closed"}, {errors} bit errors in {bits} bits')


def verdict(report):
    """The verdict an engineer looks for first: green when the eye is open
    and the time domain agrees, amber when only the time domain disagrees."""
    stat_open, headline, detail = statistical_verdict(report)
    details = [detail] if detail else []
    td_good = True
    if report["time_domain"]:
        td_good, td_detail = time_domain_verdict(report["time_domain"])
        details.append(td_detail)
    state = "good" if stat_open and td_good else "bad" if not stat_open else "warn"
    return (f'<div class="verdict {state}" id="verdict" data-verdict="{"open" if stat_open else "closed"}">'
            f'<h2>{esc(headline)}</h2><p>{"; ".join(details)}</p></div>')


def clock_card(td):
    clock = td["clock"]
    if clock["source"] != "model":
        return card("clock", "ideal", "the Rx gave no clock times")
    if not clock["settled"]:
        return card("recovered clock", '<span class="closed">not settled</span>')
    bits = figure_value("time_domain.clock.settle_bits", clock["settle_bits"], fmt(clock["settle_bits"], "%.0f bits"))
    return card("recovered clock settled after", bits, fmt(clock["settle_time"] * 1e9, "%.4g ns") +
                ", phase " + fmt(clock["final_phase_ui"], "%.3f UI"))


def key_cards(report):
    cards = []
    ber = report.get("statistical_eye")
    if ber:
        cards.append(card(f"statistical eye height at BER {ber['target_ber']:.0e}",
                          volts("statistical_eye.height", ber["height"])))
        cards.append(card(f"statistical eye width at BER {ber['target_ber']:.0e}",
                          ui("statistical_eye.width_ui", ber["width_ui"])))
    stages = report["statistical"]["stages"]
    if stages:
        k = len(stages) - 1
        cards.append(card(f"worst-case eye height, {stages[k]['name']}",
                          volts(f"statistical.stages.{k}.eye_height", stages[k]["eye_height"]),
                          "no jitter or noise"))
    td = report["time_domain"]
    if td:
        cards.append(card("time-domain eye height", volts("time_domain.eye_height", td["eye_height"]),
                          "at the " + ("recovered" if td["clock"]["source"] == "model" else "ideal") + " clock"))
        cards.append(card("time-domain eye width", ui("time_domain.eye_width_ui", td["eye_width_ui"])))
        cards.append(card("bit errors", figure_value("time_domain.bit_errors", td["bit_errors"],
                                                     "{:,}".format(td["bit_errors"])),
                          "in {:,} bits counted".format(td["bits_counted"])))
        cards.append(clock_card(td))
    loss = report["channel"]["insertion_loss_at_nyquist_db"]
    cards.append(card("channel loss at Nyquist",
                      figure_value("channel.insertion_loss_at_nyquist_db", loss, fmt(loss, "%.1f", "dB")),
                      fmt(report["settings"]["bit_rate"] / 2e9, "%g GHz") + extrapolated_mark(report)))
    return '<div class="cards">' + "".join(cards) + "</div>"


def extrapolated_mark(report):
    """Says so when the channel's data end below the Nyquist frequency."""
    return ", extrapolated beyond the data" if report["channel"].get("insertion_loss_at_nyquist_extrapolated") else ""


def model_section(side, m):
    if m is None:
        return f"<h3>{side}</h3><p class='muted'>no {side} model</p>"
    facts = key_value_table([
        ("library", f'<span class="code">{esc(m["library"])}</span>'),
        ("library digest (FNV-1a)", f'<span class="code">{esc(m.get("library_digest", "n/a"))}</span>'),
        (".ami file", f'<span class="code">{esc(m["ami_file"])}</span>'),
        (".ami digest (FNV-1a)", f'<span class="code">{esc(m.get("ami_digest", "n/a"))}</span>'),
        ("root, AMI version", esc(f'{m["root"]}, {m["ami_version"] or "not declared"}')),
        ("AMI_Init returned", esc(m["init_return"])),
        ("AMI_GetWave", "used" if m["getwave_used"] else "not used"),
        ("Ignore_Bits", esc(m["ignore_bits"])),
    ])
    sources = m.get("value_sources", {})
    rows = [[esc(name), esc(value), esc(sources.get(name, ""))] for name, value in m["values"].items()]
    parameters = table(["parameter", "value", "from"], rows, code=(0, 1)) if rows else \
        "<p class='muted'>no settable parameter</p>"
    strings = [("parameter string given to AMI_Init", m["parameters_in"]),
               ("AMI_Init's AMI_parameters_out", m["parameters_out"]),
               ("AMI_GetWave's last AMI_parameters_out", m["getwave_parameters_out"])]
    texts = "".join(f"<p>{esc(label)}</p><pre>{esc(text)}</pre>" for label, text in strings if text)
    return f"<h3>{side}: {esc(m['root'])}</h3>{facts}{parameters}{texts}"


def channel_section(report):
    channel = report["channel"]
    settings = report["settings"]
    nyquist = settings["bit_rate"] / 2
    facts = key_value_table([
        ("source", f'<span class="code">{esc(channel["source"])}</span>'),
        ("description", esc(channel["description"])),
        ("impulse response", f'{channel["samples"]:,} samples; {fmt(channel["delay_removed"] * 1e9, "%.4g ns")} '
                             "of pure delay removed"),
        (f"insertion loss at Nyquist ({fmt(nyquist / 1e9, '%g GHz')})",
         fmt(channel["insertion_loss_at_nyquist_db"], "%.2f", "dB") + extrapolated_mark(report)),
    ])
    curve = channel.get("insertion_loss")
    chart = ""
    if curve and curve["frequency"]:
        frequency = [f / 1e9 for f in curve["frequency"]]
        chart = ("<figure>" + line_chart(
            [{"label": "insertion loss", "x": [0.0] + frequency, "y": [None] + curve["loss_db"]}],
            "frequency (GHz)", "insertion loss (dB)",
            marks=[(nyquist / 1e9, f"Nyquist {nyquist / 1e9:g} GHz: {channel['insertion_loss_at_nyquist_db']:.1f} dB")],
            label="insertion loss against frequency") +
            "<figcaption>Insertion loss of the through channel up to the bit rate, Nyquist frequency marked"
            "</figcaption></figure>")
    notes = ("<h3>Notes on the channel</h3>" + notes_list(channel["notes"])) if channel["notes"] else ""
    return facts + chart + notes + crosstalk_part(report)


def crosstalk_part(report):
    x = report.get("crosstalk")
    if not x:
        return "<p class='muted'>No crosstalk path.</p>"
    rows = [[esc(a["description"]), volts(f"crosstalk.aggressors.{k}.peak_distortion", a["peak_distortion"]),
             esc("; ".join(a["notes"]))] for k, a in enumerate(x["aggressors"])]
    summary = key_value_table([
        ("total peak distortion", volts("crosstalk.peak_distortion", x["peak_distortion"])),
        ("statistical eye height without / with crosstalk",
         f'{fmt(x["statistical_eye_height_without"], "%.4g", "V")} / '
         f'{volts("crosstalk.statistical_eye_height_with", x["statistical_eye_height_with"])}'),
        ("time-domain eye height without / with crosstalk",
         f'{fmt(x["time_domain_eye_height_without"], "%.4g", "V")} / '
         f'{fmt(x["time_domain_eye_height_with"], "%.4g", "V")}'),
    ])
    return ("<h3>Crosstalk</h3>" + table(["aggressor", "peak distortion", "notes"], rows, numeric=(1,)) + summary)


def responses_section(report, folder):
    rows = []
    for k, s in enumerate(report["statistical"]["stages"]):
        rows.append([esc(s["name"]), fmt(s["main_cursor"], "%.4g", "V"), fmt(s["isi"], "%.4g", "V"),
                     fmt(s["peak"], "%.4g", "V"), volts(f"statistical.stages.{k}.eye_height", s["eye_height"]),
                     fmt(s["eye_width_ui"], "%.3f", "UI"), open_word(s["eye_open"])])
    stages = table(["stage", "main cursor", "ISI", "peak", "worst-case eye height", "eye width", "eye"], rows,
                   numeric=(1, 2, 3, 4, 5))
    return (embedded_picture(os.path.join(folder, "responses.png"),
                             "Impulse and pulse responses before and after each model") +
            "<p>Pulse response and worst-case eye of each stage (data of -0.5/+0.5 V, no jitter or noise):</p>" +
            stages)


def statistical_eye_section(report, folder):
    ber = report.get("statistical_eye")
    if not ber:
        return "<p class='muted'>The run made no BER analysis.</p>"
    facts = key_value_table([
        ("target BER", fmt(ber["target_ber"], "%.0e")),
        ("eye at the target BER", open_word(ber["open"])),
        ("height at the sampling phase", volts("statistical_eye.height", ber["height"])),
        ("width at 0 V", f'{ui("statistical_eye.width_ui", ber["width_ui"])} '
                         f'(from {fmt(ber["left_ui"], "%.3f")} to {fmt(ber["right_ui"], "%.3f UI")})'),
        ("sampling phase", fmt(ber["sampling_phase_ui"], "%.3f", "UI")),
        ("BER at the sampling point",
         figure_value("statistical_eye.ber_at_sampling_point", ber["ber_at_sampling_point"],
                      fmt(ber["ber_at_sampling_point"], "%.3g"))),
    ])
    return (facts +
            embedded_picture(os.path.join(folder, "stat_eye.png"), "Statistical eye with its BER contours") +
            embedded_picture(os.path.join(folder, "bathtubs.png"), "Horizontal and vertical bathtub curves") +
            impairments_part(report))


def impairments_part(report):
    impairments = report.get("impairments") or {}
    if not impairments:
        return "<h3>Impairments</h3><p class='muted'>No jitter or noise applied.</p>"
    rows = []
    for name, value in impairments.items():
        if isinstance(value, dict):
            rows.append([esc(name), fmt(value["ui"], "%.4g", "UI"), fmt(value["seconds"] * 1e12, "%.4g", "ps")])
        else:
            unit = "Hz" if name.endswith("frequency") else "V"
            rows.append([esc(name), fmt(value, "%.4g", unit), ""])
    return "<h3>Impairments</h3>" + table(["impairment", "value", "as time"], rows, numeric=(1, 2))


def time_domain_section(report, folder):
    td = report["time_domain"]
    if not td:
        return "<p class='muted'>The run was statistical only.</p>"
    settings = report["settings"]
    facts = key_value_table([
        ("stimulus", f'PRBS{settings["prbs"]}, {settings["bits"]:,} bits, AMI_GetWave blocks of '
                     f'{settings["block_size"]:,} samples, FFT segments of {td["fft_size"]:,}'),
        ("eye", open_word(td["eye_open"])),
        ("eye height", f'{volts("time_domain.eye_height", td["eye_height"])} '
                       f'(from {fmt(td["eye_bottom"], "%.4g")} to {fmt(td["eye_top"], "%.4g V")})'),
        ("eye width", f'{ui("time_domain.eye_width_ui", td["eye_width_ui"])} '
                      f'({fmt((td["eye_width"] or 0) * 1e12 if td["eye_width"] is not None else None, "%.4g", "ps")})'),
        ("bits counted", "{:,}".format(td["bits_counted"]) +
         (f', from bit {td["first_counted_time"] / settings["bit_time"]:.0f} on'
          if td["first_counted_time"] is not None else "")),
        ("bit errors, clock slips", f'{td["bit_errors"]:,}, {td["clock_slips"]:,}'),
        ("latency", "not found" if td["latency_bits"] is None else f'{td["latency_bits"]} bits'),
        ("AMI_GetWave calls", f'Tx {td["getwave_calls"]["tx"]:,}, Rx {td["getwave_calls"]["rx"]:,}'),
    ])
    clock = td["clock"]
    clock_facts = key_value_table([
        ("source", "the Rx model's clock times" if clock["source"] == "model" else "ideal (no clock times)"),
        ("settled", "yes" if clock["settled"] else '<span class="closed">no</span>'),
        ("settled after", "n/a" if not clock["settled"] else
         f'{figure_value("time_domain.clock.settle_bits", clock["settle_bits"], fmt(clock["settle_bits"], "%.0f bits"))}'
         f' ({fmt(clock["settle_time"] * 1e9, "%.4g ns")})'),
        ("final sampling phase", fmt(clock["final_phase_ui"], "%.3f", "UI")),
        ("phase spread once settled", fmt(clock["phase_spread_ui"], "%.3f", "UI")),
        ("lock losses", f'{clock["lock_losses"]} ({"locked" if clock["locked_at_end"] else "not locked"} at the end)'),
    ])
    return (facts + embedded_picture(os.path.join(folder, "eye.png"), "Eye at the Rx output") +
            "<h3>Clock</h3>" + clock_facts +
            embedded_picture(os.path.join(folder, "clock.png"), "Recovered clock phase") + comparison_part(report))


def comparison_part(report):
    c = report.get("comparison")
    if not c:
        return ""
    rows = [("statistical worst case at the clock's sampling instants", fmt(c["statistical_eye_at_clock"], "%.4g", "V")),
            ("statistical response over the bits sent", fmt(c["statistical_response_over_sent_bits"], "%.4g", "V")),
            ("time-domain eye", fmt(c["time_domain_eye_height"], "%.4g", "V")),
            ("from the pattern", fmt(c["pattern_effect"], "%.4g", "V")),
            ("from the models' nonlinearity", fmt(c["nonlinear_effect"], "%.4g", "V"))]
    return "<h3>Statistical against time-domain eye height</h3>" + key_value_table(rows)


def messages_section(report):
    items = []
    for side in ("tx", "rx"):
        m = report["models"][side]
        if m and m["init_message"]:
            items.append(f"<p>{side.capitalize()} AMI_Init message</p><pre>{esc(m['init_message'])}</pre>")
    warnings = [f"channel: {note}" for note in report["channel"]["notes"]]
    for a in (report.get("crosstalk") or {}).get("aggressors", []):
        warnings += [f"{a['description']}: {note}" for note in a["notes"]]
    td = report["time_domain"]
    if td:
        clock = td["clock"]
        if clock["source"] == "model" and not clock["settled"]:
            warnings.append("the recovered clock did not settle: no bits were measured")
        if clock["lock_losses"]:
            warnings.append(f"the recovered clock lost lock {clock['lock_losses']} times after settling")
        if td["latency_bits"] is None:
            warnings.append("the latency between the bits sent and the decisions was not found")
    host = "<h3>Host warnings and notes</h3>" + (notes_list(warnings) if warnings else "<p class='muted'>none</p>")
    models = "".join(items) or "<p class='muted'>The models returned no message.</p>"
    return "<h3>Model messages</h3>" + models + host


def settings_section(report):
    s = report["settings"]
    return key_value_table([
        ("bit rate", fmt(s["bit_rate"] / 1e9, "%g", "Gb/s")),
        ("samples per bit", str(s["samples_per_bit"])),
        ("sample interval", fmt(s["sample_interval"] * 1e12, "%.4g", "ps")),
        ("PRBS, bits", f'PRBS{s["prbs"]}, {s["bits"]:,}'),
        ("settle tolerance", fmt(s["settle_tolerance_ui"], "%g", "UI")),
        ("host", f'{report["host"]["program"]}, {report["host"]["bits"]}-bit'),
        ("run time", fmt(report["timing"]["seconds"], "%.2f", "s")),
    ])


def title_of(report):
    models = report["models"]
    names = [m["root"] if m else "no model" for m in (models["tx"], models["rx"])]
    return f'{names[0]} to {names[1]} at {report["settings"]["bit_rate"] / 1e9:g} Gb/s'


def main(argv):
    if len(argv) != 2:
        sys.exit(__doc__)
    folder = argv[1]
    report = load_json(os.path.join(folder, "report.json"))
    sections = [
        (None, "", verdict(report) + key_cards(report)),
        ("models", "Models", model_section("Tx", report["models"]["tx"]) + model_section("Rx", report["models"]["rx"])),
        ("channel", "Channel", channel_section(report)),
        ("responses", "Responses", responses_section(report, folder)),
        ("statistical-eye", "Statistical eye", statistical_eye_section(report, folder)),
        ("time-domain", "Time domain", time_domain_section(report, folder)),
        ("messages", "Messages and warnings", messages_section(report)),
        ("settings", "Settings", settings_section(report)),
    ]
    write_page(os.path.join(folder, "report.html"),
               page("Link report: " + title_of(report), report["channel"]["description"], sections,
                    "Written by ami_host from report.json in the same folder, which holds every figure in full."))


if __name__ == "__main__":
    main(sys.argv)
