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
import shutil
import subprocess
import sys
import tempfile
import time
import unittest
import zlib
import struct

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import ALT, CTRL, Browser, BrowserError, serve  # noqa: E402

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

    def expect_picture(self, keys, name, option=f"--seed={SEED}", placed=False):
        """The canvas shows, within a few seconds, what the desktop shows after keys: the whole
        canvas, or (placed) the part of it where the picture was placed, in 2 x 2 blocks."""
        title, width, height, rgba = desktop_picture(keys, option)
        expected = doubled(width, height, rgba)
        deadline = time.monotonic() + 5
        while True:
            w, h, actual = self.b.canvas_pixels("#screen")
            if placed:
                place = self.b.evaluate("window.vostLastPlace")
                starts = (((place["y"] + y) * w + place["x"]) * 4 for y in range(place["h"]))
                actual = b"".join(actual[start:start + place["w"] * 4] for start in starts)
                w, h = place["w"], place["h"]
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

    def test_going_back_loads_the_game_anew(self):
        # The page stays out of the back-forward cache (a page frozen there with its game's
        # threads running hung the tab): going back is a new load of the same puzzle.
        self.open(f"?scale=integer&seed={SEED}")
        self.press_keys("2")
        self.b.wait_for("window.vostFrames > 1", 5)
        self.b.evaluate("window.vostMarker = 1")
        self.open("?keys=off&seed=7")
        self.b.evaluate("history.back()")
        self.b.wait_for("location.search.includes('puzzle=') && window.vostFrames > 0", 20)
        self.assertIsNone(self.b.evaluate("window.vostMarker"))

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

    def rects(self):
        """The viewport's size and scroll size, and the CSS pixel boxes of the canvas and of
        each on-screen key (by label), as the page lays them out."""
        return self.b.evaluate("""(() => {
            const box = (e) => { const r = e.getBoundingClientRect();
                                 return [r.left, r.top, r.right, r.bottom]; };
            const page = document.scrollingElement;
            return {view: [innerWidth, innerHeight], scroll: [page.scrollWidth, page.scrollHeight],
                    canvas: box(document.getElementById('screen')),
                    keys: Object.fromEntries([...document.querySelectorAll('#keys button')]
                        .filter((b) => b.offsetParent).map((b) => [b.textContent, box(b)]))};
        })()""")

    def tap_key(self, label):
        left, top, right, bottom = self.rects()["keys"][label]
        self.b.tap((left + right) / 2, (top + bottom) / 2)

    def tap_frame(self, x, y):
        """Taps the middle of pixel (x, y) of a 320 x 200 frame where the page placed it, and
        waits for the picture it changes (or a moment, for a tap that changes nothing)."""
        place, frames, ratio = self.b.evaluate(
            "[window.vostLastPlace, window.vostFrames, devicePixelRatio]")
        self.b.tap((place["x"] + (x + 0.5) * place["w"] / 320) / ratio,
                   (place["y"] + (y + 0.5) * place["h"] / 200) / ratio)
        try:
            self.b.wait_for(f"window.vostFrames > {frames}", 0.3)
        except BrowserError:
            pass

    def test_on_screen_keys_and_taps_on_a_phone(self):
        self.b.set_viewport(390, 844, device_scale_factor=2, mobile=True, touch=True)
        self.open(f"?scale=integer&seed={SEED}")
        self.b.evaluate("window.vostSamePage = true")
        # The keys feed the game as the keyboard does: the class, then piece, file and rank.
        for label in "21A1":
            self.tap_key(label)
        self.expect_picture("21A1", "phone-echo", placed=True)
        # One touch types one key: after the verdict a key only dismisses it (a second one
        # would choose the king again).
        for label in "2B23C34D45E51":
            self.tap_key(label)
        self.expect_picture("21A12B23C34D45E51", "phone-after-verdict", placed=True)
        self.assertEqual(self.b.evaluate("document.activeElement.id"), "screen")
        # A tap on the picture types what it means at the step the game is at, as the keys
        # after it would: a piece's cell at the piece prompt, a square at the file prompt (its
        # file and rank), a square of the chosen file at the rank prompt; other squares nothing.
        # (file, rank) of a square; (n, 0) is piece n's cell in the piece column.
        for taps, key in (([(5, 5), (2, 0)], None), ([(2, 2)], None), ([(3, 0)], "C"),
                          ([(1, 5), (3, 4)], None)):
            for column, rank in taps:
                self.tap_frame(*((43, 50 + 30 * (column - 1)) if rank == 0 else
                                 (17 * column + 90, 17 * (9 - rank) + 34)))
            if key:
                self.tap_key(key)
        self.expect_picture("21A12B23C34D45E512B23C4", "phone-taps", placed=True)
        # A host that sends the isolation headers gets the service worker too: the site is kept.
        self.b.wait_for("!!navigator.serviceWorker.controller", 10)
        # Esc ends the game.
        self.tap_key("Esc")
        self.b.wait_for("!document.getElementById('notice').hidden", 10)
        self.assertIn("The game has ended", self.text("notice-text"))
        self.assertTrue(self.b.evaluate("window.vostSamePage"))

    def test_layouts_fit_every_screen(self):
        labels = [*"12345678ABCDEFGH", "Enter", "Esc"]
        # (width, height, touch, address, where the keys go)
        for width, height, touch, query, keys in (
                (390, 844, True, "", "below"), (844, 390, True, "", "beside"),
                (360, 640, True, "", "below"), (1024, 768, True, "", "beside"),
                (390, 844, True, "keys=off&", None), (1024, 768, False, "", None),
                (1024, 768, False, "keys=on&", "beside")):
            case = f"{width} x {height}, touch {touch}, {query}"
            self.b.set_viewport(width, height, device_scale_factor=2, mobile=touch, touch=touch)
            self.open(f"?{query}seed={SEED}")
            layout = self.rects()
            # Everything is on screen at once, and nothing scrolls.
            self.assertEqual(layout["view"], [width, height], case)
            self.assertLessEqual(layout["scroll"], [width, height], case)
            boxes = [layout["canvas"], *layout["keys"].values()]
            for left, top, right, bottom in boxes:
                self.assertTrue(0 <= left < right <= width and 0 <= top < bottom <= height, case)
            self.assertEqual(sorted(layout["keys"]), sorted(labels) if keys else [], case)
            if not keys:
                self.assertEqual(layout["canvas"], [0, 0, width, height], case)
                continue
            for label, (left, top, right, bottom) in layout["keys"].items():
                self.assertGreaterEqual((right - left, bottom - top), (44, 44), label + case)
            # The picture keeps the rest of the page: the keys below it or beside it.
            left, top, right, bottom = layout["canvas"]
            edge = min(box[1] for box in layout["keys"].values()) if keys == "below" else \
                min(box[0] for box in layout["keys"].values())
            self.assertTrue(0 <= edge - (bottom if keys == "below" else right) <= 4, case)
            self.assertGreater((right - left) * (bottom - top), width * height / 2, case)

        # Turning the phone resizes the canvas; the game goes on where it was.
        self.b.set_viewport(390, 844, device_scale_factor=2, mobile=True, touch=True)
        self.open(f"?scale=integer&seed={SEED}")
        self.b.evaluate("window.vostSamePage = true")
        self.press_keys("2")
        self.expect_picture("2", "portrait", placed=True)
        self.b.set_viewport(844, 390, device_scale_factor=2, mobile=True, touch=True)
        self.b.wait_for("window.vostLastPlace.w == 960", 5)
        self.assertTrue(self.b.evaluate("window.vostSamePage"))
        self.press_keys("1")
        self.b.set_viewport(390, 844, device_scale_factor=2, mobile=True, touch=True)
        self.b.wait_for("window.vostLastPlace.w == 640", 5)
        self.expect_picture("21", "turned", placed=True)
        # A mouse for the main pointer takes the keys away, and the picture their space.
        self.b.set_viewport(390, 844, device_scale_factor=2, mobile=True, touch=False)
        self.b.wait_for("document.getElementById('screen').height == 1688", 5)
        self.b.wait_for("window.vostLastPlace.y == 644", 5)

    def test_offline_after_one_visit_and_a_new_version_on_the_next(self):
        # A copy of the site, so that a new version can replace it at the same address; served
        # without the isolation headers, which the service worker adds to what it keeps too.
        site = tempfile.mkdtemp(prefix="vost-site-", dir=OUT)
        shutil.copytree(SITE, site, dirs_exist_ok=True)
        page = os.path.join(site, "index.html")
        with serve(site, isolation=False) as url:
            try:
                self.b.navigate(url + f"?scale=integer&seed={SEED}")
                self.b.wait_for("window.vostFrames > 0 && !!navigator.serviceWorker.controller",
                                30)
                # The worker keeps the site as it installs, before it takes the page.
                self.assertTrue(self.b.evaluate("caches.match('vostrandelimerix.wasm')"
                                                ".then((kept) => !!kept)", await_promise=True))
                self.assertEqual(self.b.page("Page.getInstallabilityErrors")
                                 ["installabilityErrors"], [])
                # Without a network the kept site opens (isolated as before) and plays.
                self.b.offline()
                self.b.navigate(url + f"?scale=integer&seed={SEED}&keys=off")  # another address
                self.b.wait_for("window.vostFrames > 0", 20)
                self.press_keys("2")
                self.expect_picture("2", "offline")
                # A new version of the site is what the next visit with a network sees, and
                # what it keeps.
                self.b.offline(False)
                with open(page) as f:
                    text = f.read()
                with open(page, "w") as f:
                    f.write(text.replace("<title>", '<meta name="vost-version" content="2">'
                                                    '<title>'))
                for cut in (False, True):
                    self.b.offline(cut)
                    self.b.navigate(url + f"?seed={SEED}")
                    self.b.wait_for("window.vostFrames > 0", 20)
                    self.assertTrue(self.b.evaluate(
                        "!!document.querySelector('meta[name=vost-version]')"), f"offline {cut}")
            finally:
                self.b.offline(False)

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
