#!/usr/bin/env python3
"""sum_compare's report pages opened in headless Chromium, as their readers open them.

    browser_check.py BIN_DIR WORK_DIR

Writes a run's page (two settings at two sizes, so that the charts have small multiples and the
charts against the array's size are drawn) and a comparison's, opens each from disk and checks,
once the page has loaded: one table row per case (per compared figure), one chart per effect,
the placement marked on the machine drawing, a forest-plot row per headline with a ratio, the
verdict on the first screen and before the placement, no sideways scroll on a 400-pixel phone,
no console error, no uncaught exception and no request beyond the page itself. Saves a
screenshot of each page in WORK_DIR. Exits 77 (skipped) without Chromium.

Chromium is driven over its DevTools protocol on a pipe (--remote-debugging-pipe: commands on
descriptor 3, replies and events on descriptor 4, each a JSON text ended by a NUL byte).
"""
import base64
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

TIMEOUT_SECONDS = 60
PHONE_WIDTH = 400


class Browser:
    def __init__(self, work):
        self.profile = tempfile.mkdtemp(dir=work, prefix="chromium-profile-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        # Moved to 3 and 4 in the child, and kept there: pass_fds keeps what it names after this runs.
        def descriptors():
            os.dup2(to_browser_read, 3)
            os.dup2(from_browser_write, 4)

        command = [
            shutil.which("chromium"), "--headless", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
            "--window-size=1400,1000", "--remote-debugging-pipe", "--no-first-run",
            "--disable-background-networking", "--disable-component-update", "--disable-default-apps",
            "--disable-sync", "--user-data-dir=" + self.profile,
        ]
        self.process = subprocess.Popen(command, preexec_fn=descriptors, pass_fds=(3, 4),
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=open(os.path.join(work, "chromium.log"), "ab"))
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.deadline = time.monotonic() + TIMEOUT_SECONDS

    def message(self):
        while b"\0" not in self.buffer:
            left = self.deadline - time.monotonic()
            if left <= 0 or not select.select([self.from_browser], [], [], left)[0]:
                raise TimeoutError(f"Chromium did not answer within {TIMEOUT_SECONDS} s")
            chunk = os.read(self.from_browser, 1 << 20)
            if not chunk:
                raise EOFError("Chromium closed its pipe")
            self.buffer += chunk
        text, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(text)

    def send(self, method, params=None, session=None):
        self.next_id += 1
        request = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            request["sessionId"] = session
        os.write(self.to_browser, json.dumps(request).encode() + b"\0")
        while True:
            reply = self.message()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(f"{method}: {reply['error']}")
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, method):
        while True:
            for event in self.events:
                if event.get("method") == method:
                    return event
            self.events.append(self.message())

    def close(self):
        try:
            self.send("Browser.close")
        except (OSError, EOFError, RuntimeError, TimeoutError):
            pass
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)


def open_page(work, page, screenshot, question):
    """Loads the page, answers `question` (a JavaScript expression giving JSON) on it and returns
    the answer with the console errors, exceptions and requests seen."""
    browser = Browser(work)
    try:
        target = browser.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        session = browser.send("Target.attachToTarget", {"targetId": target, "flatten": True})["sessionId"]
        for domain in ("Runtime", "Log", "Network", "Page"):
            browser.send(domain + ".enable", session=session)
        url = "file://" + os.path.abspath(page)
        browser.send("Page.navigate", {"url": url}, session=session)
        browser.wait_for("Page.loadEventFired")
        time.sleep(0.5)  # late requests and messages
        answer = browser.send("Runtime.evaluate", {"expression": question, "returnByValue": True}, session=session)
        shot = browser.send("Page.captureScreenshot", {"format": "png", "captureBeyondViewport": True}, session=session)
        with open(screenshot, "wb") as out:
            out.write(base64.b64decode(shot["data"]))
        # The same page on a phone: how wide it lays out.
        browser.send("Emulation.setDeviceMetricsOverride",
                     {"width": PHONE_WIDTH, "height": 800, "deviceScaleFactor": 1, "mobile": True}, session=session)
        time.sleep(0.3)
        phone = browser.send("Runtime.evaluate", {"expression": PHONE_QUESTION, "returnByValue": True}, session=session)
        problems = []
        for event in browser.events:
            method, params = event.get("method"), event.get("params", {})
            if method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
                problems.append("console error: " + json.dumps(params.get("args")))
            elif method == "Runtime.exceptionThrown":
                problems.append("uncaught exception: " + json.dumps(params.get("exceptionDetails")))
            elif method == "Log.entryAdded" and params.get("entry", {}).get("level") == "error":
                problems.append("logged error: " + params["entry"].get("text", ""))
            elif method == "Network.requestWillBeSent" and params.get("request", {}).get("url") != url:
                problems.append("request beyond the page: " + params["request"]["url"])
        seen = json.loads(answer["result"]["value"])
        seen["phone"] = json.loads(phone["result"]["value"])
        seen["phone_width"] = seen["phone"]["width"]
        return seen, problems
    finally:
        browser.close()


# What lies past the window's right edge, outside the blocks that scroll sideways by design.
OVERFLOW = """[...document.body.querySelectorAll('*')].filter(e => !e.closest('.scroll') && !e.closest('svg') &&
      e.getBoundingClientRect().right > document.documentElement.clientWidth + 1)
    .map(e => e.tagName + ': ' + e.textContent.slice(0, 60)).slice(0, 5)"""

PHONE_QUESTION = """JSON.stringify({
  width: document.documentElement.scrollWidth,
  overflow: """ + OVERFLOW + """,
  forest_width: Math.min(...[...document.querySelectorAll('table.forest svg.forest')]
      .map(s => s.getBoundingClientRect().width), 0 + Infinity),
})"""

QUESTION = """JSON.stringify({
  overflow: """ + OVERFLOW + """,
  cases: document.querySelectorAll('#cases tbody tr').length,
  compared: document.querySelectorAll('#compared tbody tr').length,
  charts: [...document.querySelectorAll('figure.chart')].map(f => ({
    effect: f.dataset.effect,
    drawn: f.querySelector('svg') !== null && f.querySelector('svg').getBoundingClientRect().width > 100})),
  chart_note: document.querySelectorAll('.no-charts').length,
  marked: document.querySelectorAll('figure.placement svg .marked').length,
  machines: document.querySelectorAll('svg.topology').length,
  forest: document.querySelectorAll('table.forest tbody tr svg.forest circle').length,
  verdict_top: document.querySelector('#verdict') ? document.querySelector('#verdict').getBoundingClientRect().top : -1,
  verdict_before_placement: !document.querySelector('figure.placement') || (document.querySelector('#verdict') !== null &&
      (document.querySelector('#verdict').compareDocumentPosition(document.querySelector('figure.placement')) &
       Node.DOCUMENT_POSITION_FOLLOWING) !== 0),
  screen: window.innerHeight,
})"""


def main():
    bin_dir, work = sys.argv[1], sys.argv[2]
    if shutil.which("chromium") is None:
        print("skipped: chromium is not installed (apt-get install chromium)")
        return 77
    os.makedirs(work, exist_ok=True)
    failures = []

    def expect(condition, what):
        if not condition:
            failures.append(what)

    def sum_compare(*args):
        run = subprocess.run([os.path.join(bin_dir, "sum_compare"), *args], capture_output=True, text=True)
        if run.returncode != 0:
            sys.exit(f"sum_compare {' '.join(args)} failed ({run.returncode}):\n{run.stdout}\n{run.stderr}")

    run_page, run_json = os.path.join(work, "run.html"), os.path.join(work, "run.json")
    sum_compare("--threads", "1,2", "--size", "20000,100000", "--repeat", "3", "--env", "OMP_PROC_BIND=close,spread",
                "--html", run_page, "--json", run_json)
    with open(run_json) as saved:
        saved_run = json.load(saved)
    expect(os.path.getsize(run_page) < 1 << 20, f"the run's page is {os.path.getsize(run_page)} bytes, over 1 MB")
    seen, problems = open_page(work, run_page, os.path.join(work, "run.png"), QUESTION)
    failures += problems
    expect(seen["cases"] == len(saved_run["aggregates"]), f"{seen['cases']} case rows for {len(saved_run['aggregates'])} cases")
    with_gnuplot = shutil.which("gnuplot") is not None
    effects = [chart["effect"] for chart in seen["charts"]]
    expected = ["scaling", "time_per_element", "false_sharing", "first_touch", "bandwidth_by_size",
                "time_by_size"] if with_gnuplot else []
    expect(effects == expected, f"charts {effects}, not one per effect {expected}")
    expect(all(chart["drawn"] for chart in seen["charts"]), f"a chart without its drawing: {seen['charts']}")
    expect(seen["chart_note"] == (0 if with_gnuplot else 1), "the page does not say how to get its charts")
    expect(seen["marked"] > 0, "no processor marked with the threads' placement")
    with_ratio = [h for h in saved_run["headlines"] if h["ratio"] is not None]
    expect(seen["forest"] == len(with_ratio), f"{seen['forest']} forest rows for {len(with_ratio)} headlines with a ratio")
    expect(0 <= seen["verdict_top"] < seen["screen"] / 2, f"the verdict starts at y={seen['verdict_top']}, not on the first screen")
    expect(seen["verdict_before_placement"], "the placement comes before the verdict")
    expect(seen["phone_width"] <= PHONE_WIDTH, f"the run's page scrolls sideways on a phone: {seen['phone_width']} px wide")
    expect(not seen["overflow"], f"cut at the window's edge at 1400 px: {seen['overflow']}")
    expect(not seen["phone"]["overflow"], f"cut at the window's edge on a phone: {seen['phone']['overflow']}")
    # Each forest row stacks under its sentence, its plot the phone's width less the page's margins.
    expect((seen["phone"]["forest_width"] or 0) >= PHONE_WIDTH / 2,
           f"a forest plot {seen['phone']['forest_width']} px wide on a {PHONE_WIDTH} px phone")

    compare_page, compare_json = os.path.join(work, "compare.html"), os.path.join(work, "compare.json")
    sum_compare("--compare", run_json, run_json, "--html", compare_page, "--json", compare_json)
    with open(compare_json) as saved:
        compared = json.load(saved)["compared"]
    seen, problems = open_page(work, compare_page, os.path.join(work, "compare.png"), QUESTION)
    failures += problems
    expect(seen["compared"] == len(compared) > 0, f"{seen['compared']} rows for {len(compared)} compared figures")
    expect(seen["machines"] == 2, f"{seen['machines']} machine drawings, not base and new")
    expect(0 <= seen["verdict_top"] < seen["screen"] / 2, f"the comparison's verdict starts at y={seen['verdict_top']}")
    expect(seen["phone_width"] <= PHONE_WIDTH, f"the comparison scrolls sideways on a phone: {seen['phone_width']} px wide")
    expect(not seen["overflow"], f"the comparison is cut at the window's edge at 1400 px: {seen['overflow']}")

    for failure in failures:
        print("FAILED:", failure)
    print(f"screenshots: {work}/run.png, {work}/compare.png")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
