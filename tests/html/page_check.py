#!/usr/bin/python3
"""Lays out an inventory page in headless Chromium and checks how it reads.

    page_check.py PAGE.html [--width N ...] [--print] [--screenshot OUT.png --width N]

For each width (CSS pixels): nothing reaches past the right edge of the
window (no sideways scroll), and, from 1000 px up, no line of text breaks
between two letters or digits of one word, with every project and plug-in
opened; a filter that matches nothing leaves no plug-in row shown. With --print: under print media every project's details show without
being opened, no control (input, button, sort arrow, disclosure marker)
shows, and a filtered table says what its filter left out. Prints one line
per check; exits 1 when any failed.

Chromium is driven through its DevTools protocol on a pipe
(--remote-debugging-pipe): no network port, nothing but the standard library.
"""
import argparse
import base64
import json
import os
import pathlib
import shutil
import subprocess
import sys
import tempfile

# Runs in the page: opens every disclosure, then lists what sticks out past
# the window's right edge and every line break inside a word.
MEASURE = r"""
(function (wideEnough) {
  document.querySelectorAll("details").forEach(function (d) { d.open = true; });
  document.querySelectorAll("tr[data-uses]").forEach(function (r) { if (r.getAttribute("aria-expanded") !== "true") r.click(); });
  var width = document.documentElement.clientWidth;
  var out = { width: width, scrollWidth: document.documentElement.scrollWidth, sticking: [], broken: [] };
  document.querySelectorAll("body *").forEach(function (e) {
    var r = e.getBoundingClientRect();
    if (r.width > 0 && r.right > width + 0.5 && out.sticking.length < 10)
      out.sticking.push(e.tagName.toLowerCase() + (e.id ? "#" + e.id : "") + (e.className ? "." + e.className : "") +
                        " right=" + Math.round(r.right) + ": " + e.textContent.slice(0, 60));
  });
  if (!wideEnough) return out;
  var word = /[\p{L}\p{N}]/u;
  var walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
  var range = document.createRange();
  for (var node = walker.nextNode(); node; node = walker.nextNode()) {
    var text = node.data;
    if (text.trim() === "") continue;
    range.selectNodeContents(node);
    if (range.getClientRects().length < 2) continue;  // one line, or hidden
    var lastTop = null;
    for (var i = 0; i < text.length; ++i) {
      range.setStart(node, i);
      range.setEnd(node, i + 1);
      var rects = range.getClientRects();
      if (rects.length === 0) continue;
      var top = rects[0].top;
      if (lastTop !== null && top > lastTop + 2 && i > 0 && word.test(text[i - 1]) && word.test(text[i]))
        out.broken.push(text.slice(Math.max(0, i - 20), i) + "|" + text.slice(i, i + 20) + " (in " +
                        node.parentElement.tagName.toLowerCase() + ", " + Math.round(node.parentElement.getBoundingClientRect().width) + " px wide)");
      lastTop = top;
    }
  }
  return out;
})
"""

# Runs in the page under print media: what of each project does not show, and
# which controls still do.
PRINTED = r"""
(function () {
  var shown = function (e) { return e.checkVisibility({ visibilityProperty: true }); };
  var out = { details: 0, hidden: [], controls: [] };
  document.querySelectorAll("details").forEach(function (d) {
    out.details++;
    Array.prototype.forEach.call(d.children, function (c) {
      if (c.tagName !== "SUMMARY" && !shown(c)) out.hidden.push((d.id || "details") + " > " + c.tagName.toLowerCase());
    });
  });
  document.querySelectorAll("input, button, select, textarea, .tools").forEach(function (c) {
    if (shown(c)) out.controls.push(c.outerHTML.slice(0, 80));
  });
  document.querySelectorAll("summary").forEach(function (s) {
    var style = getComputedStyle(s);
    if (style.display === "list-item" && style.listStyleType !== "none") out.controls.push("a disclosure marker on " + s.textContent.slice(0, 40));
  });
  document.querySelectorAll("th").forEach(function (th) {
    var after = getComputedStyle(th, "::after").content;
    if (after !== "none" && after !== "normal" && after !== '""') out.controls.push("a sort arrow on " + th.textContent);
  });
  return out;
})()
"""

# Filters the plug-ins for a name no plug-in has: how many rows still show.
HIDDEN_BY_FILTER = r"""
(function () {
  var input = document.querySelector("input[data-filter=plugins]");
  input.value = "no such plug-in";
  input.dispatchEvent(new Event("input"));
  var left = Array.prototype.filter.call(document.querySelectorAll("#plugins tbody tr"),
                                         function (r) { return r.checkVisibility(); }).length;
  input.value = "";
  input.dispatchEvent(new Event("input"));
  return left;
})()
"""

# Filters the plug-ins under print media: what the printed page says of it.
FILTERED = r"""
(function () {
  var input = document.querySelector("input[data-filter=plugins]");
  var missing = document.querySelector("input[data-missing=plugins]");
  input.value = "no such plug-in";
  missing.click();
  input.dispatchEvent(new Event("input"));
  var note = document.querySelector("#plugins").previousElementSibling;
  return note.checkVisibility() ? note.textContent : "(not shown)";
})()
"""


class Browser:
    """One headless Chromium, spoken to over the DevTools pipe."""

    def __init__(self, profile):
        browser = shutil.which("chromium") or shutil.which("chromium-browser")
        if browser is None:
            raise SystemExit("page_check: no chromium")
        to_browser_r, self._to_browser = os.pipe()
        self._from_browser, from_browser_w = os.pipe()

        def pipes_at_3_and_4():
            os.dup2(to_browser_r, 3)
            os.dup2(from_browser_w, 4)

        self._process = subprocess.Popen(
            [browser, "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--disable-sync",
             "--disable-background-networking", "--disable-component-update", "--hide-scrollbars",
             "--remote-debugging-pipe", "--user-data-dir=" + profile, "about:blank"],
            preexec_fn=pipes_at_3_and_4, pass_fds=(3, 4),
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(to_browser_r)
        os.close(from_browser_w)
        self._reader = os.fdopen(self._from_browser, "rb")
        self._next = 0
        self._events = []
        self.errors = []
        target = next(t for t in self.call("Target.getTargets")["targetInfos"] if t["type"] == "page")
        self._session = self.call("Target.attachToTarget", targetId=target["targetId"], flatten=True)["sessionId"]
        for domain in ("Page", "Runtime"):
            self.call(domain + ".enable", session=True)

    def _message(self):
        data = bytearray()
        while True:
            byte = self._reader.read(1)
            if byte in (b"", b"\0"):
                break
            data += byte
        if not data:
            raise SystemExit("page_check: chromium went away")
        message = json.loads(data)
        if message.get("method") == "Runtime.exceptionThrown":
            self.errors.append(message["params"]["exceptionDetails"].get("exception", {}).get("description", "?"))
        return message

    def call(self, method, session=False, **params):
        self._next += 1
        request = {"id": self._next, "method": method, "params": params}
        if session:
            request["sessionId"] = self._session
        os.write(self._to_browser, json.dumps(request).encode() + b"\0")
        while True:
            message = self._message()
            if message.get("id") == self._next:
                if "error" in message:
                    raise SystemExit("page_check: %s: %s" % (method, message["error"]))
                return message["result"]
            self._events.append(message.get("method"))

    def wait_for(self, event):
        while event not in self._events:
            self._events.append(self._message().get("method"))
        self._events.remove(event)

    def open(self, url, width, height=1000):
        self.call("Emulation.setDeviceMetricsOverride", session=True, width=width, height=height,
                  deviceScaleFactor=1, mobile=width < 600)
        self.call("Page.navigate", session=True, url=url)
        self.wait_for("Page.loadEventFired")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", session=True, expression=expression, returnByValue=True)
        if "exceptionDetails" in result:
            raise SystemExit("page_check: " + result["exceptionDetails"]["exception"]["description"])
        return result["result"]["value"]

    def close(self):
        try:
            self.call("Browser.close")
        except SystemExit:
            pass
        self._process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("page")
    parser.add_argument("--width", type=int, action="append")
    parser.add_argument("--print", action="store_true", dest="printed")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    url = pathlib.Path(args.page).resolve().as_uri()
    failed = False
    with tempfile.TemporaryDirectory() as profile:
        browser = Browser(profile)
        try:
            if args.screenshot:
                width = (args.width or [1280])[0]
                browser.open(url, width)
                png = browser.call("Page.captureScreenshot", session=True, format="png")["data"]
                pathlib.Path(args.screenshot).write_bytes(base64.b64decode(png))
                print("ok: %s taken at %d px" % (args.screenshot, width))
                return 0
            for width in args.width or []:
                browser.open(url, width)
                seen = browser.evaluate(MEASURE + "(%s)" % ("true" if width >= 1000 else "false"))
                wide = seen["scrollWidth"] > seen["width"] or seen["sticking"]
                if wide:
                    print("FAIL: %d px: the page is %d px wide; sticking out: %s" %
                          (width, seen["scrollWidth"], "; ".join(seen["sticking"])))
                if seen["broken"]:
                    print("FAIL: %d px: %d words broken: %s" % (width, len(seen["broken"]), "; ".join(seen["broken"][:10])))
                # A filter hides rows at every width, whatever the layout makes of them.
                left = browser.evaluate(HIDDEN_BY_FILTER)
                if left:
                    print("FAIL: %d px: %d plug-in rows still shown under a filter that matches none" % (width, left))
                failed = failed or wide or bool(seen["broken"]) or bool(left)
                if not wide and not seen["broken"] and not left:
                    print("ok: %d px: nothing scrolls sideways%s" % (width, ", no word broken" if width >= 1000 else ""))
            if args.printed:
                browser.open(url, 1280)
                browser.call("Emulation.setEmulatedMedia", session=True, media="print")
                seen = browser.evaluate(PRINTED)
                if seen["hidden"] or seen["controls"]:
                    print("FAIL: print: not shown: %s; controls shown: %s" %
                          ("; ".join(seen["hidden"][:10]), "; ".join(seen["controls"][:10])))
                    failed = True
                else:
                    print("ok: print: %d projects' details shown, no controls" % seen["details"])
                # A filter's words are not printed with its box: the page says what it left out.
                note = browser.evaluate(FILTERED)
                if not note.startswith("Shown: 0 of ") or not note.endswith(" rows, matching \u201Cno such plug-in\u201D, missing only."):
                    print("FAIL: print: a filtered table says %r" % note)
                    failed = True
                else:
                    print("ok: print: a filtered table says so: " + note)
            if browser.errors:
                print("FAIL: script errors: " + "; ".join(browser.errors))
                failed = True
        finally:
            browser.close()
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
