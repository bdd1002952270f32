#!/usr/bin/env python3
"""Opens each kind of report.html ami_host writes in headless Chromium and
checks what a reader gets: the page loads with no request leaving the file
(its content-security policy forbids any, and the browser saw none and
logged no refusal), every picture decodes with a size, and the verdict and
the key figures in the page equal those of the command's JSON. A screenshot
and a printout of each page are kept in OUT_DIR.

Usage: report_page_test.py KIND AMI_HOST OUT_DIR [MODEL AMI]
KIND is run, check (MODEL and AMI: the model checked) or sweep (a sweep run
in two shards, merged). Exits 77 (skipped) when Chromium is not installed.
"""
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile

CHROMIUM_NAMES = ("chromium", "chromium-browser")
REPLY_TIMEOUT = 60.0  # seconds the browser may take to answer or report an event

# What the page reports of itself once loaded: its pictures decoded, the size
# of its drawings, its figures and verdict, and what it fetched.
PAGE_FACTS = """(async () => {
  const images = await Promise.all(Array.from(document.images).map(async (i) => {
    let decoded = true;
    try { await i.decode(); } catch (e) { decoded = false; }
    return {alt: i.alt, decoded, width: i.naturalWidth, height: i.naturalHeight,
            shown: i.getBoundingClientRect().width};
  }));
  const drawings = Array.from(document.querySelectorAll("main svg")).map((s) => {
    const r = s.getBoundingClientRect();
    return {label: s.getAttribute("aria-label"), width: r.width, height: r.height};
  });
  const figures = Array.from(document.querySelectorAll("[data-figure]")).map(
    (e) => [e.dataset.figure, e.dataset.value, e.textContent]);
  const verdict = document.getElementById("verdict");
  return JSON.stringify({images, drawings, figures,
    verdict: verdict ? verdict.dataset.verdict || "" : null, text: document.body.innerText,
    policy: (document.querySelector('meta[http-equiv="Content-Security-Policy"]') || {}).content || "",
    resources: performance.getEntriesByType("resource").map((e) => e.name),
    height: document.documentElement.scrollHeight});
})()"""


class Browser:
    """Headless Chromium driven through its DevTools protocol over a pipe
    (file descriptors 3 and 4 of the browser), so nothing listens on a port."""

    def __init__(self, chromium, profile, log):
        to_browser_r, self.to_browser = os.pipe()
        self.from_browser, from_browser_w = os.pipe()

        def wire_pipes():
            # Moved out of the way first: either end may already be 3 or 4.
            reading, writing = fcntl.fcntl(to_browser_r, fcntl.F_DUPFD, 10), fcntl.fcntl(from_browser_w, fcntl.F_DUPFD, 10)
            os.dup2(reading, 3)
            os.dup2(writing, 4)

        self.process = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--remote-debugging-pipe", "--no-first-run",
             "--no-default-browser-check", "--disable-extensions", "--disable-background-networking",
             "--disable-component-update", "--disable-sync", "--hide-scrollbars", f"--user-data-dir={profile}"],
            preexec_fn=wire_pipes, close_fds=False, stdout=subprocess.DEVNULL, stderr=log)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self.next_id = 0
        self.buffer = b""
        self.events = []

    def receive(self):
        while b"\0" not in self.buffer:
            if not select.select([self.from_browser], [], [], REPLY_TIMEOUT)[0]:
                raise RuntimeError(f"the browser said nothing for {REPLY_TIMEOUT:g} s")
            chunk = os.read(self.from_browser, 1 << 16)
            if not chunk:
                raise RuntimeError("the browser closed its pipe (see chromium_KIND.log beside the screenshots)")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=None, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, method):
        for k, event in enumerate(self.events):
            if event.get("method") == method:
                return self.events.pop(k)
        while True:
            event = self.receive()
            if event.get("method") == method:
                return event
            self.events.append(event)

    def close(self):
        try:
            self.call("Browser.close")
        except (RuntimeError, OSError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def open_page(browser, path, shot_path):
    """Loads `path`, returns the page's facts and the requests and log
    entries the browser saw; keeps a full-page screenshot and a printout."""
    target = browser.call("Target.createTarget", url="about:blank")["targetId"]
    session = browser.call("Target.attachToTarget", targetId=target, flatten=True)["sessionId"]
    for domain in ("Page", "Network", "Log", "Runtime"):
        browser.call(f"{domain}.enable", session)
    browser.call("Emulation.setDeviceMetricsOverride", session, width=1280, height=900, deviceScaleFactor=1,
                 mobile=False)
    browser.events.clear()
    browser.call("Page.navigate", session, url="file://" + os.path.abspath(path))
    browser.wait_for("Page.loadEventFired")
    result = browser.call("Runtime.evaluate", session, expression=PAGE_FACTS, awaitPromise=True,
                          returnByValue=True)
    facts = json.loads(result["result"]["value"])
    browser.call("Emulation.setDeviceMetricsOverride", session, width=1280, height=min(facts["height"], 16000),
                 deviceScaleFactor=1, mobile=False)
    shot = browser.call("Page.captureScreenshot", session, format="png")
    with open(shot_path, "wb") as f:
        f.write(base64.b64decode(shot["data"]))
    printout = browser.call("Page.printToPDF", session, printBackground=True)
    with open(os.path.splitext(shot_path)[0] + ".pdf", "wb") as f:
        f.write(base64.b64decode(printout["data"]))
    facts["requests"] = [e["params"]["request"]["url"] for e in browser.events
                         if e.get("method") == "Network.requestWillBeSent"]
    facts["log"] = [e["params"]["entry"] for e in browser.events if e.get("method") == "Log.entryAdded"]
    facts["console"] = [e["params"] for e in browser.events if e.get("method") == "Runtime.consoleAPICalled"]
    browser.call("Target.closeTarget", targetId=target)
    return facts


def value_at(document, key):
    value = document
    for name in key.split("."):
        value = value[int(name)] if isinstance(value, list) else value[name]
    return value


class Checker:
    def __init__(self, name):
        self.name = name
        self.faults = []

    def expect(self, condition, message):
        if not condition:
            self.faults.append(f"{self.name}: {message}")


def check_page(check, path, facts, document, required):
    """What every page must give its reader, and its figures equal to the
    command's JSON (`document`), those of `required` among them."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    check.expect("default-src 'none'" in facts["policy"], f"no policy forbidding fetches: {facts['policy']!r}")
    check.expect("<script" not in text, "the page holds a script")
    own = "file://" + os.path.abspath(path)
    outside = [u for u in facts["requests"] + facts["resources"] if u != own and not u.startswith("data:")]
    check.expect(not outside, f"requests left the file: {outside[:5]}")
    complaints = [e["text"] for e in facts["log"] if e.get("level") in ("error", "warning")]
    check.expect(not complaints and not facts["console"], f"the browser logged: {complaints[:5]}")
    check.expect(os.path.getsize(path) < 5_000_000, f"the page is {os.path.getsize(path)} bytes")
    for image in facts["images"]:
        check.expect(image["decoded"] and image["width"] > 0 and image["height"] > 0 and image["shown"] > 0,
                     f"picture {image['alt']!r} does not decode with a size: {image}")
    for drawing in facts["drawings"]:
        check.expect(drawing["width"] > 100 and drawing["height"] > 50, f"drawing without a size: {drawing}")
    shown = set()
    for key, value, _ in facts["figures"]:
        shown.add(key)
        try:
            expected = value_at(document, key)
        except (KeyError, IndexError, ValueError, TypeError):
            check.expect(False, f"the page shows {key}, which the JSON does not hold")
            continue
        check.expect(json.loads(value) == expected, f"{key} is {value} in the page but {expected} in the JSON")
    missing = sorted(set(required) - shown)
    check.expect(not missing, f"the page lacks the figures {missing}")


def run_host(ami_host, args, expected_status=0):
    result = subprocess.run([ami_host] + args, capture_output=True, text=True)
    if result.returncode != expected_status:
        sys.exit(f"ami_host {' '.join(args)} exited with {result.returncode}:\n{result.stdout}\n{result.stderr}")


def load_sweep(folder):
    with open(os.path.join(folder, "sweep.jsonl"), encoding="utf-8") as f:
        header = json.loads(f.readline())
        return {"sweep": header["sweep"], "points": {str(p["index"]): p for p in map(json.loads, f)}}


def run_pages(ami_host, work, extra):
    folder = os.path.join(work, "run")
    run_host(ami_host, ["--bits", "6000", "--tx", "TX_Deemph=3", "--rx", "EQ_Config=2", "--out", folder])
    report = json.load(open(os.path.join(folder, "report.json"), encoding="utf-8"))
    required = ["statistical_eye.height", "statistical_eye.width_ui", "time_domain.eye_height",
                "time_domain.eye_width_ui", "time_domain.bit_errors", "time_domain.clock.settle_bits",
                "channel.insertion_loss_at_nyquist_db"]
    verdict = "open" if report["statistical_eye"]["open"] else "closed"
    return [("run", folder, report, required, verdict, ["Models", "Channel", "Nyquist", "Impairments"])]


def check_pages(ami_host, work, extra):
    folder = os.path.join(work, "check")
    run_host(ami_host, ["check", "--rx-model", extra[0], "--rx-ami", extra[1], "--bits", "400", "--out", folder],
             expected_status=1)
    report = json.load(open(os.path.join(folder, "check.json"), encoding="utf-8"))
    required = [f"summary.{s}" for s in ("pass", "warn", "fail", "skip")]
    required += [f"checks.{k}.status" for k in range(len(report["checks"]))]
    return [("check", folder, report, required, "fail", ["threshold"])]


def sweep_pages(ami_host, work, extra):
    common = ["sweep", "--sweep", "rx:EQ_Config=0..2", "--sweep", "tx:TX_Deemph=0..3", "--jobs", "2",
              "--best", "eye_height"]
    shards = []
    for k in range(2):
        shards.append(os.path.join(work, f"shard-{k}"))
        run_host(ami_host, common + ["--shard", f"{k}/2", "--out", shards[-1]])
    merged = os.path.join(work, "merged")
    run_host(ami_host, ["merge"] + shards + ["--out", merged, "--best", "eye_height"])
    document = load_sweep(merged)
    best = max((p for p in document["points"].values() if p["metrics"].get("eye_height") is not None),
               key=lambda p: p["metrics"]["eye_height"])
    required = [f"points.{best['index']}.metrics.eye_height"]
    return [("sweep_shard", shards[0], load_sweep(shards[0]), [], None, ["Grid", "shard 0/2"]),
            ("merge", merged, document, required, None, ["Shards joined", "shard-0", "shard-1"])]


def main(argv):
    if len(argv) < 4:
        sys.exit(__doc__)
    kind, ami_host, out_dir, extra = argv[1], argv[2], argv[3], argv[4:]
    chromium = next((shutil.which(n) for n in CHROMIUM_NAMES if shutil.which(n)), None)
    if chromium is None:
        print("SKIP: Chromium is not installed (Debian: apt-get install chromium), so no page can be opened")
        return 77
    os.makedirs(out_dir, exist_ok=True)
    with tempfile.TemporaryDirectory() as work:
        pages = {"run": run_pages, "check": check_pages, "sweep": sweep_pages}[kind](ami_host, work, extra)
        log = open(os.path.join(out_dir, f"chromium_{kind}.log"), "w")
        browser = Browser(chromium, os.path.join(work, "profile"), log)
        faults = []
        try:
            for name, folder, document, required, verdict, words in pages:
                path = os.path.join(folder, "report.html")
                shot = os.path.join(out_dir, f"{name}.png")
                facts = open_page(browser, path, shot)
                check = Checker(name)
                check_page(check, path, facts, document, required)
                if verdict is not None:
                    check.expect(facts["verdict"] == verdict, f"verdict {facts['verdict']!r}, expected {verdict!r}")
                for word in filter(None, words):
                    check.expect(word in facts["text"], f"the page does not say {word!r}")
                faults += check.faults
                print(f"{name}: {len(facts['figures'])} figures, {len(facts['images'])} pictures, "
                      f"{len(facts['drawings'])} drawings, {os.path.getsize(path)} bytes; screenshot {shot}")
        finally:
            browser.close()
            log.close()
    for fault in faults:
        print("FAIL", fault)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
