#!/usr/bin/env python3
"""Measures the browser build's figures in a real headless Chromium, in one sitting.

usage: scripts/measure-web.py SITE_DIR [--loads N] [--keys N] [--idle-seconds S]
                              [--idle-rounds N] [--settle-seconds S] [--viewport WxH]

SITE_DIR is what scripts/build-web.sh made. The site is served by scripts/serve-web.py and
played by tests/web/browser.py; the figures are:

1. page opened -> first picture (the menu), warm browser: the page is loaded once, then N times
   more with ?seed=1234; each time the page itself records when it first draws, counted from its
   time origin (the start of the navigation). The time from the Page.navigate command to the
   script seeing a picture is shown beside it.
2. key -> changed canvas, on a board: a capture-phase keydown listener records the event's
   timeStamp, and the first draw after it is the sample, both on the page's own clock. Keys that
   change nothing are counted and left out. The keys place the five pieces on the diagonal,
   answer the verdict and start again.
3. idle cost: the whole browser's CPU time over S seconds while the game waits for a key on a
   board, against S seconds of about:blank, as a percentage of one core. The windows alternate
   board, blank, blank, board, ... so that a drift in the browser's own background work weighs
   on both pages alike; the means give the figure, the quietest window of each page a second
   one (the browser's housekeeping comes in bursts that only ever add).
   Each window starts --settle-seconds (15) after its page has loaded: for 10 to 25 s after a
   load the browser still works in bursts of its own (the page it left ending, its
   housekeeping), which are no part of a game that waits.
4. the site's size: gzip -9 of each html, js, css and wasm file of SITE_DIR.

The output is Markdown: the command line, a table of the figures with their targets, then the
samples behind them. The status is 0 when every figure was measured, whatever their values,
and 1 when the browser failed (its log goes to standard error).
"""

import argparse
import gzip
import math
import os
import shlex
import statistics
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "../tests/web"))
from browser import Browser, BrowserError, serve  # noqa: E402

SEED = 1234
TARGET_LOAD_MS = 1000
TARGET_KEY_MS = 20
TARGET_IDLE_PERCENT = 1.0
TARGET_SIZE_KB = 150
SIZE_EXTENSIONS = (".html", ".js", ".css", ".wasm")

# Runs in every document before its own scripts. The page assigns window.vostLastDraw after each
# picture; as an accessor it also keeps the first picture's time and, for a key that went down
# since the last picture, the delay from the key's event to this picture.
PROBE = """(() => {
  const probe = {firstDraw: null, keyTime: null, samples: []};
  window.vostProbe = probe;
  let last;
  Object.defineProperty(window, 'vostLastDraw', {
    configurable: true,
    get() { return last; },
    set(value) {
      last = value;
      if (probe.firstDraw === null) probe.firstDraw = value;
      if (probe.keyTime !== null) {
        probe.samples.push(value - probe.keyTime);
        probe.keyTime = null;
      }
    },
  });
  window.addEventListener('keydown', (event) => { probe.keyTime = event.timeStamp; }, true);
})();"""


def median_and_range(values):
    return statistics.median(values), min(values), max(values)


def percentile(values, fraction):
    """The nearest-rank percentile: the smallest sample that `fraction` of them do not exceed."""
    ordered = sorted(values)
    return ordered[max(0, math.ceil(fraction * len(ordered)) - 1)]


def verdict(value, target):
    return "yes" if value <= target else f"no (+{value - target:.1f})"


class Sitting:
    """One browser and one server for every measurement."""

    def __init__(self, browser, url, viewport):
        self.b = browser
        self.url = url
        self.b.set_viewport(*viewport)
        self.b.page("Page.addScriptToEvaluateOnNewDocument", {"source": PROBE})

    def open_game(self):
        """Opens the page and waits for its first picture (the menu)."""
        self.b.navigate(f"{self.url}?seed={SEED}")
        self.b.wait_for("window.vostFrames > 0", 20, interval=0.005)

    def frames(self):
        return self.b.evaluate("window.vostFrames || 0")

    def wait_quiet(self, quiet_ms=150, timeout=5.0):
        """Waits until the page has drawn nothing for quiet_ms."""
        self.b.wait_for(f"performance.now() - (window.vostLastDraw || 0) >= {quiet_ms}", timeout,
                        interval=0.02)

    def open_board(self):
        self.open_game()
        self.wait_quiet()
        before = self.frames()
        self.b.press("2")
        self.b.wait_for(f"window.vostFrames > {before}", 10, interval=0.005)
        self.wait_quiet(300)

    def load_times(self, loads):
        """[(ms from the time origin to the first picture, ms from Page.navigate to seeing it)]."""
        self.open_game()  # warm-up
        times = []
        for _ in range(loads):
            started = time.monotonic()
            self.open_game()
            seen_ms = (time.monotonic() - started) * 1000
            times.append((self.b.evaluate("window.vostProbe.firstDraw"), seen_ms))
        return times

    def key_delays(self, count):
        """Delays in ms of `count` keys that each changed the canvas; also how many did not."""
        self.open_board()
        self.b.evaluate("window.vostProbe.samples = []")
        # One attempt: each piece n on file n, rank n (the squares and echoes all differ from
        # the ones before), then any key after the verdict, which redraws the board.
        attempt = [key for n in range(1, 6) for key in (str(n), "abcde"[n - 1], str(n))] + ["1"]
        unchanged = 0
        while len(self.b.evaluate("window.vostProbe.samples")) < count:
            for key in attempt:
                before = self.frames()
                self.b.press(key)
                try:
                    self.b.wait_for(f"window.vostFrames > {before}", 2, interval=0.005)
                except BrowserError:
                    unchanged += 1
                    continue
                self.wait_quiet()  # the key's last picture before the next key
        return self.b.evaluate("window.vostProbe.samples"), unchanged

    def idle_cpu(self, seconds, settle_seconds, board):
        """% of one core that the whole browser used over `seconds`, and the pictures drawn."""
        if board:
            self.open_board()
        else:
            self.b.navigate("about:blank")
        time.sleep(settle_seconds)
        frames = self.frames()
        cpu = self.b.cpu_seconds()
        started = time.monotonic()
        time.sleep(seconds)
        used = self.b.cpu_seconds() - cpu
        elapsed = time.monotonic() - started
        return 100 * used / elapsed, self.frames() - frames


def site_sizes(site):
    """[(name, bytes, gzip -9 bytes)] of the site's html, js, css and wasm files."""
    sizes = []
    for name in sorted(os.listdir(site)):
        if name.endswith(SIZE_EXTENSIONS):
            with open(os.path.join(site, name), "rb") as file:
                data = file.read()
            sizes.append((name, len(data), len(gzip.compress(data, 9, mtime=0))))
    return sizes


def main():
    parser = argparse.ArgumentParser(description="Measures the browser build's figures.")
    parser.add_argument("site", metavar="SITE_DIR")
    parser.add_argument("--loads", type=int, default=9, help="timed page loads (9)")
    parser.add_argument("--keys", type=int, default=40, help="key samples, at least (40)")
    parser.add_argument("--idle-seconds", type=float, default=20, help="per idle window (20)")
    parser.add_argument("--idle-rounds", type=int, default=2,
                        help="board and blank windows of each (2)")
    parser.add_argument("--settle-seconds", type=float, default=15,
                        help="from a page's load to its idle window (15)")
    parser.add_argument("--viewport", default="1280x800", help="the page's CSS size (1280x800)")
    options = parser.parse_args()
    viewport = tuple(int(n) for n in options.viewport.split("x"))
    if not os.path.isfile(os.path.join(options.site, "index.html")):
        parser.error(f"{options.site} holds no index.html (scripts/build-web.sh makes the site)")

    print("$ " + shlex.join(sys.argv))
    print()
    with serve(options.site) as url, Browser() as browser:
        version = browser.send("Browser.getVersion")["product"]
        print(f"{version}, headless, viewport {viewport[0]}x{viewport[1]}, "
              f"{os.cpu_count()} cores, load average {os.getloadavg()[0]:.2f} at the start")
        try:
            sitting = Sitting(browser, url, viewport)
            loads = sitting.load_times(options.loads)
            keys, unchanged = sitting.key_delays(options.keys)
            idle = {True: [], False: []}
            for round_number in range(options.idle_rounds):
                for board in (True, False) if round_number % 2 == 0 else (False, True):
                    idle[board].append(
                        sitting.idle_cpu(options.idle_seconds, options.settle_seconds, board))
        except BrowserError as error:
            print(f"measure-web: {error}\n--- the browser's log ---\n{browser.log_text()}",
                  file=sys.stderr)
            return 1
        load_average = os.getloadavg()[0]
    sizes = site_sizes(options.site)

    load_ms = median_and_range([first for first, _ in loads])
    seen_ms = median_and_range([seen for _, seen in loads])
    key_median, key_p90 = statistics.median(keys), percentile(keys, 0.9)
    board_percent = statistics.mean(percent for percent, _ in idle[True])
    blank_percent = statistics.mean(percent for percent, _ in idle[False])
    idle_difference = board_percent - blank_percent
    quietest_difference = (min(percent for percent, _ in idle[True]) -
                           min(percent for percent, _ in idle[False]))
    total_kb = sum(packed for _, _, packed in sizes) / 1000

    print()
    print("| Figure | Measured | Target | Met |")
    print("|---|---|---|---|")
    print(f"| Page opened -> menu drawn (warm, median of {len(loads)}) | {load_ms[0]:.0f} ms "
          f"({load_ms[1]:.0f}-{load_ms[2]:.0f}) | <= {TARGET_LOAD_MS} ms | "
          f"{verdict(load_ms[0], TARGET_LOAD_MS)} |")
    print(f"| Key -> changed canvas ({len(keys)} keys) | median {key_median:.1f} ms, "
          f"90th percentile {key_p90:.1f} ms | <= {TARGET_KEY_MS} ms | "
          f"{verdict(key_median, TARGET_KEY_MS)}; 90th: {verdict(key_p90, TARGET_KEY_MS)} |")
    print(f"| Idle CPU, waiting on a board - about:blank ({options.idle_rounds} x "
          f"{options.idle_seconds:g} s each) | {board_percent:.2f} % - {blank_percent:.2f} % = "
          f"{idle_difference:.2f} % of a core | <= {TARGET_IDLE_PERCENT} % | "
          f"{verdict(idle_difference, TARGET_IDLE_PERCENT)} |")
    print(f"| Site, gzip -9 ({len(sizes)} files) | {total_kb:.1f} KB | <= {TARGET_SIZE_KB} KB | "
          f"{verdict(total_kb, TARGET_SIZE_KB)} |")
    print()
    print(f"Medians: menu {load_ms[0]:.0f} ms after the navigation started (the script saw it "
          f"{seen_ms[0]:.0f} ms after Page.navigate, {seen_ms[1]:.0f}-{seen_ms[2]:.0f}); key to "
          f"picture {key_median:.1f} ms; idle {idle_difference:.2f} % of a core above a blank "
          f"page (quietest windows: {quietest_difference:.2f} %); {total_kb:.1f} KB "
          "(1 KB = 1000 bytes).")
    print()
    print("Menu after navigation start, ms: " + ", ".join(f"{first:.0f}" for first, _ in loads))
    print("Key to picture, ms, in order: " + ", ".join(f"{delay:.1f}" for delay in keys))
    print(f"Keys that changed nothing (left out): {unchanged}")
    for board, name in ((True, "board"), (False, "about:blank")):
        windows = ", ".join(f"{percent:.2f} % ({frames} pictures)" for percent, frames in
                            idle[board])
        print(f"Idle {name}, each window: {windows}")
    for name, raw, packed in sizes:
        print(f"  {name}: {raw} bytes, {packed} gzipped")
    print(f"Load average at the end: {load_average:.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
