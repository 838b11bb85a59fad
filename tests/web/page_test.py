#!/usr/bin/env python3
"""The game in a real headless Chromium, against the desktop's pictures.

    tests/web/page_test.py SITE_DIR SCREEN_AFTER_KEYS

SITE_DIR is what scripts/build-web.sh made; SCREEN_AFTER_KEYS is the desktop build's
tools/soak/screen_after_keys, which gives the desktop's picture (and title) after the same keys.
The page is served by scripts/serve-web.py, with the isolation headers and without them. Pictures
are compared pixel for pixel with ?scale=integer in a 640 x 400 page, where every class's 320 x 200
frame is drawn in exact 2 x 2 blocks; a mismatch writes both pictures to the temporary folder.
"""

import os
import subprocess
import sys
import tempfile
import time
import unittest
import zlib
import struct

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import ALT, CTRL, Browser, serve  # noqa: E402

SITE = SCREEN_AFTER_KEYS = None
SEED = 1234
OUT = tempfile.mkdtemp(prefix="vost-page-test-")


def desktop_picture(keys, option=f"--seed={SEED}"):
    """The desktop's picture after keys ("~" is Enter) as (title, width, height, RGBA bytes)."""
    png = os.path.join(OUT, "desktop.png")
    title = subprocess.run([SCREEN_AFTER_KEYS, option, keys, png], check=True, timeout=60,
                           capture_output=True, text=True).stdout.strip()
    rgba = subprocess.run(["/usr/bin/convert", png, "-depth", "8", "rgba:-"], check=True,
                          capture_output=True).stdout
    size = subprocess.run(["/usr/bin/identify", "-format", "%w %h", png], check=True,
                          capture_output=True, text=True).stdout.split()
    return title, int(size[0]), int(size[1]), rgba


def doubled(width, height, rgba):
    """The picture in 2 x 2 blocks, as ?scale=integer draws a 320 x 200 frame in 640 x 400."""
    rows = []
    for y in range(height):
        row = bytearray()
        for x in range(width):
            row += rgba[(y * width + x) * 4:(y * width + x) * 4 + 4] * 2
        rows += [bytes(row)] * 2
    return b"".join(rows)


def write_png(path, width, height, rgba):
    rows = b"".join(b"\0" + rgba[y * width * 4:(y + 1) * width * 4] for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6,
                                                                   0, 0, 0)) +
                chunk(b"IDAT", zlib.compress(rows)) + chunk(b"IEND", b""))


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = serve(SITE)
        cls.url = cls.server.__enter__()
        cls.browser = Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.server.__exit__(None, None, None)

    def setUp(self):
        self.b = self.browser
        self.b.set_viewport(640, 400)

    def run(self, result=None):
        before = len(result.failures) + len(result.errors) if result else 0
        outcome = super().run(result)
        if result and len(result.failures) + len(result.errors) > before:
            sys.stderr.write("--- the browser's log ---\n" + self.b.log_text() + "\n")
        return outcome

    def open(self, query, wait_for_picture=True):
        self.b.navigate(self.url + query)
        if wait_for_picture:
            self.b.wait_for("window.vostFrames > 0", 20)

    def text(self, element):
        return self.b.evaluate(f"document.getElementById('{element}').textContent")

    def shown(self, element):
        return not self.b.evaluate(f"document.getElementById('{element}').hidden")

    def expect_picture(self, keys, name, option=f"--seed={SEED}"):
        """The canvas shows, within a few seconds, what the desktop shows after keys."""
        title, width, height, rgba = desktop_picture(keys, option)
        expected = doubled(width, height, rgba)
        deadline = time.monotonic() + 5
        while True:
            w, h, actual = self.b.canvas_pixels("#screen")
            if (w, h) == (width * 2, height * 2) and actual == expected:
                return title
            if time.monotonic() > deadline:
                write_png(os.path.join(OUT, name + "-expected.png"), width * 2, height * 2,
                          expected)
                write_png(os.path.join(OUT, name + "-actual.png"), w, h, bytes(actual))
                self.fail(f"{name}: the canvas ({w} x {h}) is not the desktop's picture after "
                          f"{keys!r}; both are in {OUT}")
            time.sleep(0.05)

    def press_keys(self, keys):
        for key in keys:
            self.b.press("Enter" if key == "~" else key)

    def test_boards_of_every_class_and_a_game_played_to_its_end(self):
        for menu_key in "13":
            self.open(f"?scale=integer&seed={SEED}")
            self.press_keys(menu_key)
            self.expect_picture(menu_key, f"class-{menu_key}")

        self.open(f"?scale=integer&seed={SEED}")
        self.expect_picture("", "menu")
        played = ""
        history = self.b.evaluate("history.length")
        # The board, a placement's echo, Enter's reveal, and the verdict after the fifth piece.
        for keys, name in (("2", "board"), ("1A1", "echo"), ("~", "reveal"),
                           ("2B23C34D45E5", "verdict")):
            if name == "echo":
                # Ctrl+3 gives no key (the browser never makes it Esc); the keypad's digits are
                # the game's digits.
                self.b.press("3", CTRL)
                self.b.key("1", "Numpad1")
                self.b.press("A")
                self.b.key("1", "Numpad1")
            else:
                self.press_keys(keys)
            played += keys
            title = self.expect_picture(played, name)
            if name == "board":
                # The title and the address share the puzzle on screen, in the desktop's code.
                self.assertRegex(title, r"^Vostrandelimerix - puzzle [0-9A-Z]+$")
                self.assertEqual(self.b.evaluate("document.title"), title)
                code = title.rsplit(" ", 1)[1]
                self.assertEqual(self.b.evaluate("new URLSearchParams(location.search).get('puzzle')"),
                                 code)
                self.assertEqual(self.b.evaluate("history.length"), history)  # replaced in place

        # Esc at the next puzzle's prompt ends the game; Play again starts a new one.
        self.press_keys("1")
        self.b.press("Escape")
        self.b.wait_for("!document.getElementById('notice').hidden", 10)
        self.assertIn("The game has ended", self.text("notice-text"))
        self.assertTrue(self.shown("again"))
        self.b.evaluate("window.vostFrames = 0; document.getElementById('again').click()")
        self.b.wait_for("window.vostFrames > 0", 20)
        self.assertNotIn("puzzle=", self.b.evaluate("location.search"))
        self.assertFalse(self.shown("notice"))

        # A shared code opens the same board as on the desktop.
        self.open(f"?scale=integer&puzzle={code}")
        self.press_keys("2")
        self.expect_picture("2", "shared-puzzle", option=f"--puzzle={code}")

    def test_dialogs_block_the_program_until_answered(self):
        self.open(f"?scale=integer&seed={SEED}")
        self.press_keys("2")
        self.expect_picture("2", "before-dialog")
        self.b.evaluate("Module._web_raise_error(5)")
        self.b.wait_for("document.getElementById('dialog').open", 10)
        self.assertEqual(self.text("dialog-caption"), "Unhandled Error #5 - vostrandelimerix")
        self.assertEqual(self.text("dialog-text"),
                         "Line: 370 (in main module)\nIllegal function call\nContinue?")
        self.assertEqual(self.b.evaluate(
            "[...document.querySelectorAll('#dialog-buttons button')].map(b => b.textContent)"),
            ["Yes", "No"])
        # While it is open the program waits: keys go to the dialog, not the game.
        self.press_keys("1A1")
        time.sleep(0.3)
        self.expect_picture("2", "under-dialog")
        self.b.evaluate("document.querySelector('#dialog-buttons button').click()")  # Yes
        self.press_keys("1A1")
        self.expect_picture("21A1", "after-yes")
        # A critical error shows its OK dialog, then the game ends.
        self.b.evaluate("Module._web_raise_error(300)")
        self.b.wait_for("document.getElementById('dialog').open", 10)
        self.assertTrue(self.text("dialog-caption").startswith("Critical Error #300"))
        self.assertFalse(self.shown("notice"))
        self.b.evaluate("document.querySelector('#dialog-buttons button').click()")  # OK
        self.b.wait_for("!document.getElementById('notice').hidden", 10)
        self.assertIn("The game has ended", self.text("notice-text"))

    def test_alt_enter_steps_the_presentation(self):
        self.b.set_viewport(640, 600)
        self.open(f"?seed={SEED}")

        def picture_rows():
            w, h, rgba = self.b.canvas_pixels("#screen")
            lit = [y for y in range(h) if any(rgba[(y * w + x) * 4 + c] for x in range(0, w, 4)
                                              for c in range(3))]
            return (w, h, lit[0], lit[-1])
        # A page is not a screen: square pixels fitted to it, bars above and below.
        self.b.wait_for("window.vostFrames > 0")
        time.sleep(0.2)
        width, height, top, bottom = picture_rows()
        self.assertEqual((width, height), (640, 600))
        self.assertGreaterEqual(top, 100)
        self.assertLessEqual(bottom, 499)
        # Alt+Enter: full screen, stretched over the whole page.
        frames = self.b.evaluate("window.vostFrames")
        self.b.press("Enter", ALT)
        self.b.wait_for(f"window.vostFrames > {frames}", 5)
        self.b.wait_for("!!document.fullscreenElement", 5)
        time.sleep(0.2)
        _, _, top, bottom = picture_rows()
        self.assertLess(top, 100)
        # The browser leaving full screen by itself: the presentation follows, back in the page.
        self.b.evaluate("document.exitFullscreen()", await_promise=True)
        self.b.wait_for("!document.fullscreenElement", 5)
        time.sleep(0.3)
        _, _, top, bottom = picture_rows()
        self.assertGreaterEqual(top, 100)

    def test_waiting_for_a_key_wakes_no_thread(self):
        # While the game waits for a key nothing in it runs: the page's workers (the game's
        # threads) sleep until a key comes, rather than waking on a timer.
        self.open(f"?scale=integer&seed={SEED}")
        self.press_keys("2")
        self.expect_picture("2", "waiting")

        def worker_wake_ups():
            total = 0
            for pid in self.b._process_tree():
                try:
                    tasks = os.listdir(f"/proc/{pid}/task")
                except OSError:
                    continue
                for task in tasks:
                    try:
                        with open(f"/proc/{pid}/task/{task}/status") as status:
                            text = status.read()
                    except OSError:
                        continue
                    if "\nName:\tDedicatedWorker" in "\n" + text:
                        total += int(text.split("voluntary_ctxt_switches:")[1].split()[0])
            return total
        before = worker_wake_ups()
        time.sleep(2)
        self.assertLess(worker_wake_ups() - before, 5)

    def test_scale_and_aspect_options_and_the_keys_the_page_keeps(self):
        # Where a 320 x 200 picture goes in a 700 x 600 page: the options as on the command line.
        self.b.set_viewport(700, 600)
        places = {
            "": {"x": 0, "y": 82, "w": 700, "h": 437, "smooth": 0, "prescale": 1},
            "scale=integer": {"x": 30, "y": 100, "w": 640, "h": 400, "smooth": 0, "prescale": 1},
            "scale=sharp": {"x": 0, "y": 81, "w": 700, "h": 437, "smooth": 1, "prescale": 2},
            "aspect=4:3": {"x": 0, "y": 37, "w": 700, "h": 525, "smooth": 0, "prescale": 1},
        }
        for option, place in places.items():
            self.open(f"?{option}&seed={SEED}")
            self.press_keys("2")
            self.b.wait_for("window.vostFrames > 1", 5)
            self.assertEqual(self.b.evaluate("window.vostLastPlace"), place, option)

        # The page keeps from the browser the keys the game takes, never the browser's own.
        self.b.evaluate("window.addEventListener('keydown', e => "
                        "window.vostPrevented = [e.key, e.defaultPrevented])")
        for key, modifiers, prevented in (("a", 0, True), ("Enter", 0, True),
                                          ("ArrowDown", 0, True), ("F1", 0, False),
                                          ("x", CTRL, False), ("d", ALT, False),
                                          ("Enter", ALT, True)):
            self.b.press(key, modifiers)
            self.assertEqual(self.b.evaluate("window.vostPrevented"), [key, prevented],
                             f"{key} with modifiers {modifiers}")

    def test_a_bad_parameter_is_named(self):
        self.open("?seed=abc", wait_for_picture=False)
        self.b.wait_for("document.getElementById('notice-text').textContent.includes('seed')", 20)
        self.assertIn("seed=abc", self.text("notice-text"))
        self.assertIn("seed takes a whole number from 0 to 65535", self.text("notice-text"))
        self.assertFalse(self.b.evaluate("window.vostFrames > 0"))

    def test_a_browser_that_cannot_run_it_says_why(self):
        # Without the headers and without service workers the threads cannot share memory.
        script = self.b.page("Page.addScriptToEvaluateOnNewDocument",
                             {"source": "delete Navigator.prototype.serviceWorker;"})
        try:
            with serve(SITE, isolation=False) as url:
                self.b.navigate(url + "?seed=1")
                self.b.wait_for("document.getElementById('notice-text').textContent"
                                ".includes('cannot start')", 20)
                self.assertIn("cross-origin isolated", self.text("notice-text"))
        finally:
            self.b.page("Page.removeScriptToEvaluateOnNewDocument", script)

    def test_a_server_without_headers(self):
        # A static host that cannot send the isolation headers: the site's service worker adds
        # them and the page loads once more under it (localhost counts as secure).
        with serve(SITE, isolation=False) as url:
            self.b.navigate(url + f"?scale=integer&seed={SEED}")
            self.b.wait_for("window.vostFrames > 0", 30)
            self.assertTrue(self.b.evaluate("crossOriginIsolated"))
            self.press_keys("2")
            self.expect_picture("2", "without-headers")


if __name__ == "__main__":
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    SITE, SCREEN_AFTER_KEYS = sys.argv[1], os.path.abspath(sys.argv[2])
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
