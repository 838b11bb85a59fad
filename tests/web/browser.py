"""Drives a real headless Chromium for the browser tests and the figures scripts.

Browser() starts Chromium with --remote-debugging-pipe: it reads DevTools protocol commands from
its fd 3 and writes replies and events to its fd 4, each message one JSON text ended by a NUL
byte. A reader thread routes each reply to the send() that waits for its id, keeps events in a
bounded queue and collects the page's console messages, uncaught exceptions and log entries in
`console` (print browser.log_text() when a test fails). One page is attached, flat, on a
session of its own; every page call goes to it. The page's workers (threads, service workers)
are attached too, so that offline() cuts their network as well as the page's.

Nothing outlives the driver: Chromium runs as the leader of a session of its own, close() (also
at the end of a `with` block and at interpreter exit) asks it to quit, then ends its whole
process group, and removes the temporary profile. Chromium dies with the thread that started it
(PR_SET_PDEATHSIG), so even a test runner killed outright leaves no browser behind.

serve(outdir) runs scripts/serve-web.py on a free port for the length of a `with` block.
"""

import atexit
import base64
import collections
import contextlib
import json
import math
import os
import re
import selectors
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import weakref

CHROMIUM = os.environ.get("VOST_CHROMIUM", "/usr/bin/chromium")
SERVE_WEB = os.path.join(os.path.dirname(os.path.abspath(__file__)), "../../scripts/serve-web.py")

# Input.dispatchKeyEvent's modifier bits.
ALT, CTRL, META, SHIFT = 1, 2, 4, 8
MODIFIER_KEYS = ((ALT, "Alt", "AltLeft"), (CTRL, "Control", "ControlLeft"),
                 (META, "Meta", "MetaLeft"), (SHIFT, "Shift", "ShiftLeft"))

# Windows virtual key codes (the DOM's keyCode) of codes that are not letters, digits or F-keys.
KEY_CODES = {
    "Backspace": 8, "Tab": 9, "Enter": 13, "NumpadEnter": 13, "ShiftLeft": 16, "ShiftRight": 16,
    "ControlLeft": 17, "ControlRight": 17, "AltLeft": 18, "AltRight": 18, "Pause": 19,
    "CapsLock": 20, "Escape": 27, "Space": 32, "PageUp": 33, "PageDown": 34, "End": 35, "Home": 36,
    "ArrowLeft": 37, "ArrowUp": 38, "ArrowRight": 39, "ArrowDown": 40, "PrintScreen": 44,
    "Insert": 45, "Delete": 46, "MetaLeft": 91, "MetaRight": 92, "ContextMenu": 93,
    "NumpadMultiply": 106, "NumpadAdd": 107, "NumpadSubtract": 109, "NumpadDecimal": 110,
    "NumpadDivide": 111, "NumLock": 144, "ScrollLock": 145, "Semicolon": 186, "Equal": 187,
    "Comma": 188, "Minus": 189, "Period": 190, "Slash": 191, "Backquote": 192,
    "BracketLeft": 219, "Backslash": 220, "BracketRight": 221, "Quote": 222,
}
# The US layout's printable characters that are neither letters nor digits: code, shifted.
PUNCTUATION = {}
for _plain, _shifted, _code in zip("-=[]\\;',./`", "_+{}|:\"<>?~", (
        "Minus", "Equal", "BracketLeft", "BracketRight", "Backslash", "Semicolon", "Quote",
        "Comma", "Period", "Slash", "Backquote")):
    PUNCTUATION[_plain] = (_code, False)
    PUNCTUATION[_shifted] = (_code, True)
for _digit, _shifted in zip("1234567890", "!@#$%^&*()"):
    PUNCTUATION[_shifted] = ("Digit" + _digit, True)
PUNCTUATION.update({" ": ("Space", False), "\n": ("Enter", False), "\t": ("Tab", False)})


class BrowserError(RuntimeError):
    """A protocol error, a reply that did not come in time, or a browser that went away."""


class JavaScriptError(BrowserError):
    """An exception thrown by an evaluated expression; the message is its text and stack."""


def key_code_of(code):
    """Returns the DOM keyCode that a US keyboard gives for a KeyboardEvent.code."""
    if re.fullmatch(r"Key[A-Z]", code):
        return ord(code[3])
    if re.fullmatch(r"Digit[0-9]", code):
        return ord(code[5])
    if re.fullmatch(r"Numpad[0-9]", code):
        return 96 + int(code[6])
    if re.fullmatch(r"F([1-9]|1[0-9]|2[0-4])", code):
        return 111 + int(code[1:])
    return KEY_CODES.get(code, 0)


def key_of_character(character):
    """Returns (key, code, modifiers) that type a character on a US keyboard."""
    if character.isascii() and character.isalpha():
        return character, "Key" + character.upper(), SHIFT if character.isupper() else 0
    if character.isascii() and character.isdigit():
        return character, "Digit" + character, 0
    code, shifted = PUNCTUATION.get(character, ("", False))
    key = {"\n": "Enter", "\t": "Tab"}.get(character, character)
    return key, code, SHIFT if shifted else 0


def remote_value(remote_object):
    """Returns the Python value of a Runtime.RemoteObject sent by value."""
    unserializable = remote_object.get("unserializableValue")
    if unserializable is None:
        return remote_object.get("value")
    if unserializable.endswith("n"):  # a BigInt
        return int(unserializable[:-1])
    numbers = {"NaN": math.nan, "Infinity": math.inf, "-Infinity": -math.inf, "-0": -0.0}
    return numbers[unserializable]


def remote_text(remote_object):
    """Returns a console argument as text: strings as they are, other values as JSON."""
    if "value" in remote_object or "unserializableValue" in remote_object:
        value = remote_value(remote_object)
        return value if isinstance(value, str) else json.dumps(value)
    return remote_object.get("description", remote_object.get("type", ""))


def network_conditions(offline):
    """Returns Network.emulateNetworkConditions' parameters: cut, or no limit at all."""
    return {"offline": offline, "latency": 0, "downloadThroughput": -1, "uploadThroughput": -1}


def exception_text(details):
    """Returns the text of a Runtime.ExceptionDetails: the message and stack where there is one."""
    exception = details.get("exception") or {}
    return exception.get("description") or str(exception.get("value", details.get("text", "")))


# Runs in the child between fork and Chromium: moves the two pipe ends to fds 3 and 4 (the
# pipe fds may themselves be 3 or 4, hence the detour through numbers from 10 on), asks for
# SIGKILL when the starting thread ends, and becomes Chromium.
_TRAMPOLINE = """
import ctypes, fcntl, os, sys
to_browser, from_browser, parent = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3])
ctypes.CDLL(None, use_errno=True).prctl(1, 9, 0, 0, 0)
if os.getppid() != parent:
    sys.exit(1)
high_in = fcntl.fcntl(to_browser, fcntl.F_DUPFD_CLOEXEC, 10)
high_out = fcntl.fcntl(from_browser, fcntl.F_DUPFD_CLOEXEC, 10)
os.dup2(high_in, 3)
os.dup2(high_out, 4)
for fd in {to_browser, from_browser, high_in, high_out} - {3, 4}:
    os.close(fd)
os.execv(sys.argv[4], sys.argv[4:])
"""

_open_browsers = weakref.WeakSet()


@atexit.register
def _close_open_browsers():
    for browser in list(_open_browsers):
        browser.close()


class Browser:
    """One headless Chromium with one page. Methods raise BrowserError; none returns a failure."""

    def __init__(self, flags=(), timeout=30.0, chromium=CHROMIUM):
        self.timeout = timeout
        self.console = []  # "level: text" lines: console calls, uncaught exceptions, log entries
        self.exceptions = []  # texts of the page's uncaught exceptions
        self._closed = False
        self._gone = False  # the reader met the pipe's end: no reply will come
        self._next_id = 0
        self._pending = {}  # message id -> [threading.Event, reply, session]
        self._lost_sessions = {}  # session -> why it answers no more (a crash, a detach)
        self._events = collections.deque(maxlen=10000)  # (sequence number, message)
        self._event_count = 0
        self._lock = threading.Condition()  # guards the fields above
        self._write_lock = threading.Lock()
        self._offline = False  # the network cut that offline() last asked for
        self._workers = set()  # sessions of the page's workers, iframes and service workers
        self._directory = tempfile.mkdtemp(prefix="vost-chromium-")
        self._stderr = open(os.path.join(self._directory, "stderr.log"), "w+b")
        arguments = ["--headless=new", "--remote-debugging-pipe", "--no-first-run",
                     "--no-default-browser-check", "--disable-gpu", "--user-data-dir="
                     + os.path.join(self._directory, "profile"),
                     # WebGL without a GPU runs on SwiftShader, which Chromium now asks for.
                     "--enable-unsafe-swiftshader"]
        if os.geteuid() == 0:
            arguments.append("--no-sandbox")  # Chromium refuses its sandbox to root
        shm = os.statvfs("/dev/shm")
        if shm.f_bavail * shm.f_frsize < 1 << 30:
            arguments.append("--disable-dev-shm-usage")  # a container's small /dev/shm
        to_browser_read, self._to_browser = os.pipe()
        self._from_browser, from_browser_write = os.pipe()
        try:
            started = time.monotonic()
            self._process = subprocess.Popen(
                [sys.executable, "-c", _TRAMPOLINE, str(to_browser_read), str(from_browser_write),
                 str(os.getpid()), chromium, *arguments, *flags],
                stdin=subprocess.DEVNULL, stdout=self._stderr, stderr=self._stderr,
                pass_fds=(to_browser_read, from_browser_write), start_new_session=True)
        except BaseException:
            for fd in (self._to_browser, self._from_browser):
                os.close(fd)
            self._remove_directory()
            raise
        finally:
            os.close(to_browser_read)
            os.close(from_browser_write)
        _open_browsers.add(self)
        self._reader = threading.Thread(target=self._read_messages, daemon=True)
        self._reader.start()
        try:
            self._attach_page()
        except BrowserError as error:
            said = self.stderr_text()
            self.close()
            raise BrowserError(f"Chromium did not start: {error}; it said:\n{said}") from None
        except BaseException:
            self.close()
            raise
        self.start_seconds = time.monotonic() - started

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()

    def _attach_page(self):
        target = self.send("Target.createTarget", {"url": "about:blank"})["targetId"]
        self.session = self.send("Target.attachToTarget",
                                 {"targetId": target, "flatten": True})["sessionId"]
        for other in self.send("Target.getTargets")["targetInfos"]:
            if other["type"] == "page" and other["targetId"] != target:
                self.send("Target.closeTarget", {"targetId": other["targetId"]})
        for domain in ("Page", "Runtime", "Log"):
            self.page(domain + ".enable")
        self.page("Page.setLifecycleEventsEnabled", {"enabled": True})
        # Workers (service workers too) wait at their start until _dispatch has applied the
        # network cut to them and lets them run.
        self.page("Target.setAutoAttach",
                  {"autoAttach": True, "waitForDebuggerOnStart": True, "flatten": True})
        # A headless page never has the focus; a game that pauses on blur must not see that.
        self.page("Emulation.setFocusEmulationEnabled", {"enabled": True})

    # --- the protocol ---------------------------------------------------------------------

    def send(self, method, params=None, session_id=None, timeout=None):
        """Sends one command and returns its result; raises with the protocol's error message."""
        reply = [threading.Event(), None, session_id]
        message_id = self._write(method, params, session_id, reply)
        wait = self.timeout if timeout is None else timeout
        if not reply[0].wait(wait):
            self._pending.pop(message_id, None)
            raise BrowserError(f"{method}: no reply within {wait} s")
        if "error" in reply[1]:
            error = reply[1]["error"]
            detail = f" ({error['data']})" if "data" in error else ""
            raise BrowserError(f"{method}: {error.get('message')}{detail}")
        return reply[1]["result"]

    def _write(self, method, params, session_id, reply=None):
        """Writes one command; its reply goes to `reply` (or nowhere). Returns its id."""
        message = {"method": method, "params": params or {}}
        if session_id:
            message["sessionId"] = session_id
        with self._lock:
            if self._closed and method != "Browser.close":
                raise BrowserError(f"{method}: the browser is closed")
            if self._gone:
                raise BrowserError(f"{method}: the browser has gone away{self._exit_note()}")
            if session_id in self._lost_sessions:
                raise BrowserError(f"{method}: {self._lost_sessions[session_id]}")
            self._next_id += 1
            message["id"] = self._next_id
            if reply:
                self._pending[self._next_id] = reply
        data = json.dumps(message).encode() + b"\0"
        try:
            with self._write_lock:
                view = memoryview(data)
                while view:
                    view = view[os.write(self._to_browser, view):]
        except OSError:
            self._pending.pop(message["id"], None)
            raise BrowserError(f"{method}: the browser has gone away{self._exit_note()}") from None
        return message["id"]

    def page(self, method, params=None, timeout=None):
        """Sends a command to the attached page."""
        return self.send(method, params, self.session, timeout)

    def _read_messages(self):
        buffer, scanned = bytearray(), 0
        while True:
            try:
                chunk = os.read(self._from_browser, 1 << 20)
            except OSError:
                chunk = b""
            if not chunk:
                break
            buffer += chunk
            while (end := buffer.find(0, scanned)) >= 0:
                self._dispatch(json.loads(buffer[:end]))
                del buffer[:end + 1]
                scanned = 0
            scanned = len(buffer)
        with self._lock:
            self._gone = True
            gone = {"error": {"message": "the browser has gone away" + self._exit_note()}}
            for reply in self._pending.values():
                reply[1] = gone
                reply[0].set()
            self._pending.clear()

    def _dispatch(self, message):
        if "id" in message:
            with self._lock:
                reply = self._pending.pop(message["id"], None)
            if reply:
                reply[1] = message
                reply[0].set()
            return
        method, params = message.get("method"), message.get("params", {})
        if method == "Target.attachedToTarget" and "sessionId" in message:
            self._start_worker(params["sessionId"])  # attached by the page's auto-attach
        elif method == "Target.detachedFromTarget":
            self._lose_session(params["sessionId"], "the target has been detached")
        elif method == "Inspector.targetCrashed" and message.get("sessionId") == self.session:
            self._lose_session(self.session, "the page has crashed")
            self.console.append("the page has crashed")
        elif method == "Inspector.targetReloadedAfterCrash" and message.get("sessionId") in (
                self._workers):
            # A stopped service worker (it stops when idle) starts again on its next event,
            # waiting at its start like a new one; the cut must hold for it too.
            self._start_worker(message["sessionId"])
        elif method == "Runtime.consoleAPICalled":
            texts = (remote_text(argument) for argument in params.get("args", []))
            self.console.append(f"console.{params.get('type')}: " + " ".join(texts))
        elif method == "Runtime.exceptionThrown":
            text = exception_text(params["exceptionDetails"])
            self.exceptions.append(text)
            self.console.append("uncaught: " + text)
        elif method == "Log.entryAdded":
            entry = params["entry"]
            where = f" ({entry['url']})" if entry.get("url") else ""
            self.console.append(f"{entry['source']} {entry['level']}: {entry['text']}{where}")
        with self._lock:
            self._event_count += 1
            self._events.append((self._event_count, message))
            self._lock.notify_all()

    def _lose_session(self, session, why):
        """Fails the commands that wait for a session's replies; none will come."""
        with self._lock:
            self._workers.discard(session)
            self._lost_sessions[session] = why
            for message_id, reply in list(self._pending.items()):
                if reply[2] == session:
                    reply[1] = {"error": {"message": why}}
                    reply[0].set()
                    del self._pending[message_id]

    def _start_worker(self, session):
        """Lets a worker that waits at its start run, under the page's network cut. Runs on the
        reader thread, which must not wait for replies: the commands go unanswered."""
        with self._lock:
            self._workers.add(session)
            offline = self._offline
        with contextlib.suppress(BrowserError):
            self._write("Runtime.enable", None, session)
            if offline:
                self._write("Network.enable", None, session)
                self._write("Network.emulateNetworkConditions", network_conditions(True), session)
            self._write("Runtime.runIfWaitingForDebugger", None, session)

    def event_mark(self):
        """Returns a mark; wait_event(since=mark) sees only events that arrive after it."""
        with self._lock:
            return self._event_count

    def wait_event(self, method, since, predicate=lambda params: True, timeout=None):
        """Waits for an event of the page after the mark `since`; returns its parameters."""
        deadline = time.monotonic() + (self.timeout if timeout is None else timeout)
        with self._lock:
            while True:
                for number, message in self._events:
                    if (number > since and message.get("method") == method
                            and message.get("sessionId") == self.session
                            and predicate(message.get("params", {}))):
                        return message["params"]
                since = self._event_count
                left = deadline - time.monotonic()
                if left <= 0 or not self._reader.is_alive():
                    raise BrowserError(f"no {method} event in time{self._exit_note()}")
                self._lock.wait(min(left, 0.5))

    def log_text(self):
        """Returns what the page logged, one line each, for a failing test to print."""
        return "\n".join(self.console)

    def stderr_text(self):
        """Returns the end of Chromium's own standard error."""
        with open(self._stderr.name, "rb") as log:
            return log.read()[-4000:].decode(errors="replace")

    def _exit_note(self):
        status = self._process.poll() if hasattr(self, "_process") else None
        return "" if status is None else f" (exit status {status})"

    # --- the page -------------------------------------------------------------------------

    def navigate(self, url, timeout=None):
        """Loads a URL and waits for its load event."""
        mark = self.event_mark()
        result = self.page("Page.navigate", {"url": url}, timeout)
        if result.get("errorText"):
            raise BrowserError(f"navigate {url}: {result['errorText']}")
        loader = result.get("loaderId")
        if loader:  # none for a move within the same document
            self.wait_event("Page.lifecycleEvent", mark,
                            lambda p: p.get("name") == "load" and p.get("loaderId") == loader,
                            timeout)

    def evaluate(self, expression, await_promise=False, timeout=None):
        """Evaluates JavaScript in the page and returns its value as JSON gives it."""
        result = self.page("Runtime.evaluate", {
            "expression": expression, "returnByValue": True, "awaitPromise": await_promise,
            "userGesture": True}, timeout)
        if "exceptionDetails" in result:
            raise JavaScriptError(exception_text(result["exceptionDetails"]))
        return remote_value(result["result"])

    def wait_for(self, expression, timeout=10.0, interval=0.02):
        """Evaluates an expression every `interval` seconds until it is truthy; returns it."""
        deadline = time.monotonic() + timeout
        value = None
        while True:
            try:
                value = self.evaluate(expression, timeout=max(deadline - time.monotonic(), 1))
            except JavaScriptError:
                raise
            except BrowserError as error:
                # A page being replaced has no context for a moment.
                if "context" not in str(error) and "navigated" not in str(error):
                    raise
            if value:
                return value
            if time.monotonic() >= deadline:
                raise BrowserError(f"{expression!r} still {value!r} after {timeout} s")
            time.sleep(interval)

    def key(self, key, code, text=None, modifiers=0, key_code=None):
        """Sends one key's press and release, as Input.dispatchKeyEvent describes them."""
        if text is None and not modifiers & (ALT | CTRL | META):
            text = key if len(key) == 1 else "\r" if key == "Enter" else None
        key_code = key_code_of(code) if key_code is None else key_code
        event = {"key": key, "code": code, "modifiers": modifiers,
                 "windowsVirtualKeyCode": key_code, "nativeVirtualKeyCode": key_code}
        if code.startswith("Numpad"):
            event.update(location=3, isKeypad=True)
        elif re.fullmatch(r"(Shift|Control|Alt|Meta)(Left|Right)", code):
            event["location"] = 1 if code.endswith("Left") else 2
        if text:
            self.page("Input.dispatchKeyEvent",
                      dict(event, type="keyDown", text=text, unmodifiedText=text))
        else:
            self.page("Input.dispatchKeyEvent", dict(event, type="rawKeyDown"))
        self.page("Input.dispatchKeyEvent", dict(event, type="keyUp"))

    def press(self, name, modifiers=0):
        """Types a character or a named key (Enter, Escape, ArrowUp, F1, ...) as a keyboard
        does: the modifier keys go down first, in their own events, and come up last."""
        key, code, shift = key_of_character(name) if len(name) == 1 else (name, name, 0)
        modifiers |= shift
        held = 0
        for bit, modifier_key, modifier_code in MODIFIER_KEYS:
            if modifiers & bit:
                held |= bit  # a modifier's own press already carries its bit
                self._modifier_event("rawKeyDown", modifier_key, modifier_code, held)
        self.key(key, code, modifiers=modifiers)
        for bit, modifier_key, modifier_code in reversed(MODIFIER_KEYS):
            if modifiers & bit:
                held &= ~bit
                self._modifier_event("keyUp", modifier_key, modifier_code, held)

    def _modifier_event(self, kind, key, code, modifiers):
        self.page("Input.dispatchKeyEvent", {
            "type": kind, "key": key, "code": code, "modifiers": modifiers,
            "windowsVirtualKeyCode": key_code_of(code), "location": 1})

    def type_keys(self, text):
        """Types each character of a text on a US keyboard (capitals with Shift)."""
        for character in text:
            self.press(character)

    def click(self, x, y, button="left"):
        """Moves the mouse to (x, y) in CSS pixels and clicks there."""
        for kind, buttons in (("mouseMoved", 0), ("mousePressed", 1), ("mouseReleased", 0)):
            self.page("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "buttons": buttons,
                                                   "button": "none" if kind == "mouseMoved"
                                                   else button, "clickCount": 1})

    def tap(self, x, y):
        """Touches (x, y) in CSS pixels with one finger and lifts it."""
        self.page("Input.dispatchTouchEvent", {"type": "touchStart", "touchPoints": [
            {"x": x, "y": y, "id": 1}]})
        self.page("Input.dispatchTouchEvent", {"type": "touchEnd", "touchPoints": []})

    def set_viewport(self, width, height, device_scale_factor=1, mobile=False, touch=False):
        """Sets the page's size in CSS pixels, its pixel ratio, and phone or desktop behaviour."""
        self.page("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": device_scale_factor,
            "mobile": mobile})
        self.page("Emulation.setTouchEmulationEnabled", {"enabled": touch, "maxTouchPoints": 5})

    def offline(self, cut=True):
        """Cuts the network (fetches fail, navigator.onLine is false) or restores it, for the
        page and its workers alike: a service worker's own fetches are not the page's, and a
        cut that spared them would let a network-first worker pass an offline test."""
        with self._lock:
            self._offline = cut
            workers = list(self._workers)
        self.page("Network.enable")
        self.page("Network.emulateNetworkConditions", network_conditions(cut))
        for session in workers:
            try:
                self.send("Network.enable", session_id=session)
                self.send("Network.emulateNetworkConditions", network_conditions(cut), session)
            except BrowserError:
                pass  # a worker that ended meanwhile

    def screenshot_png(self):
        """Returns a PNG of the page's viewport as shown."""
        return base64.b64decode(self.page("Page.captureScreenshot", {"format": "png"})["data"])

    def canvas_pixels(self, selector="canvas"):
        """Returns (width, height, RGBA bytes, row by row) of the canvas a selector finds.

        The canvas is drawn onto a fresh 2D canvas and read there, so a canvas of any kind
        can be read (a WebGL one needs preserveDrawingBuffer, or to be read in its frame).
        The pixels come back as a Blob read through the IO domain: a 1280 x 800 canvas takes
        about a third of the time that a base64 string returned by value takes."""
        result = self.page("Runtime.evaluate", {"expression": """(selector => {
            const canvas = document.querySelector(selector);
            if (!canvas) throw new Error('no element matches ' + selector);
            const copy = new OffscreenCanvas(canvas.width, canvas.height);
            const context = copy.getContext('2d', {willReadFrequently: true});
            context.drawImage(canvas, 0, 0);
            const pixels = context.getImageData(0, 0, canvas.width, canvas.height).data;
            return new Blob([new Uint32Array([canvas.width, canvas.height]), pixels]);
        })(%s)""" % json.dumps(selector)})
        if "exceptionDetails" in result:
            raise JavaScriptError(exception_text(result["exceptionDetails"]))
        blob = result["result"]["objectId"]
        handle = "blob:" + self.page("IO.resolveBlob", {"objectId": blob})["uuid"]
        data = bytearray()
        try:
            while True:
                chunk = self.page("IO.read", {"handle": handle, "size": 1 << 24})
                data += (base64.b64decode(chunk["data"]) if chunk.get("base64Encoded")
                         else chunk["data"].encode("latin-1"))
                if chunk.get("eof"):
                    break
        finally:
            self.page("IO.close", {"handle": handle})
            self.page("Runtime.releaseObject", {"objectId": blob})
        # The blob starts with the width and height, two 32-bit numbers in the page's order
        # (little-endian on every machine a browser runs on).
        width, height = int.from_bytes(data[0:4], "little"), int.from_bytes(data[4:8], "little")
        return width, height, bytes(data[8:])

    # --- the process ----------------------------------------------------------------------

    def _process_tree(self):
        """Returns {pid: /proc/pid/stat fields after the name} of Chromium and its descendants.

        A descendant whose parent has exited is found by its session, which is Chromium's."""
        root, stats = self._process.pid, {}
        for name in os.listdir("/proc"):
            if name.isdigit():
                try:
                    with open(f"/proc/{name}/stat", "rb") as stat:
                        stats[int(name)] = stat.read().rsplit(b")", 1)[1].split()
                except OSError:
                    pass  # ended meanwhile
        children = collections.defaultdict(list)
        for pid, fields in stats.items():
            children[int(fields[1])].append(pid)
        tree = {pid for pid, fields in stats.items() if pid == root or int(fields[3]) == root}
        todo = list(tree)
        while todo:
            for child in children[todo.pop()]:
                if child not in tree:
                    tree.add(child)
                    todo.append(child)
        return {pid: stats[pid] for pid in tree}

    def cpu_seconds(self):
        """Returns the user + system CPU time the browser's processes have used so far.

        Each live process counts its own time and that of the children it has waited for, so
        every process that ever ran in the tree counts once."""
        ticks = sum(sum(int(fields[i]) for i in (11, 12, 13, 14))  # utime stime cutime cstime
                    for fields in self._process_tree().values())
        return ticks / os.sysconf("SC_CLK_TCK")

    def close(self):
        """Ends the browser (politely, then by force) and removes its profile. Idempotent."""
        with self._lock:
            if self._closed:
                return
            self._closed = True
        _open_browsers.discard(self)
        pid = self._process.pid
        with contextlib.suppress(BrowserError):
            self.send("Browser.close", timeout=2)
        # Chromium is waited for without being reaped, so that its process group id cannot be
        # reused before the group's stragglers are killed.
        deadline = time.monotonic() + 3
        with contextlib.suppress(ChildProcessError):  # already reaped by a poll()
            while os.waitid(os.P_PID, pid, os.WEXITED | os.WNOHANG | os.WNOWAIT) is None:
                if time.monotonic() > deadline:
                    break
                time.sleep(0.01)
        with contextlib.suppress(ProcessLookupError, PermissionError):
            os.killpg(pid, signal.SIGKILL)
        self._process.wait()
        for fd in (self._to_browser, self._from_browser):
            with contextlib.suppress(OSError):
                os.close(fd)
        self._reader.join(5)
        self._stderr.close()
        self._remove_directory()

    def _remove_directory(self):
        shutil.rmtree(self._directory, ignore_errors=True)


def _read_line(stream, timeout):
    """Reads one line from a pipe, giving up after `timeout` seconds or at its end."""
    line = b""
    deadline = time.monotonic() + timeout
    with selectors.DefaultSelector() as selector:
        selector.register(stream, selectors.EVENT_READ)
        while not line.endswith(b"\n") and selector.select(max(deadline - time.monotonic(), 0)):
            byte = os.read(stream.fileno(), 1)
            if not byte:
                break
            line += byte
    return line.decode(errors="replace")


@contextlib.contextmanager
def serve(outdir, isolation=True, timeout=10.0):
    """Serves a folder with scripts/serve-web.py on a free port; yields its base URL."""
    command = [sys.executable, SERVE_WEB, str(outdir), "--port", "0"]
    if not isolation:
        command.append("--no-isolation")
    server = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE)
    try:
        line = _read_line(server.stdout, timeout)
        started = re.fullmatch(r"serving (http://127\.0\.0\.1:\d+/)\n", line)
        if not started:
            raise BrowserError(f"serve-web.py did not start: {line!r}, status {server.poll()}")
        yield started.group(1)
    finally:
        server.terminate()
        try:
            server.wait(5)
        except subprocess.TimeoutExpired:
            server.kill()
            server.wait()
        server.stdout.close()
