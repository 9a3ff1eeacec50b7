"""A private X display for real-window tests: Xvfb plus openbox, driven with
xdotool, xprop and xwininfo.

openbox is there so that activation and keyboard focus behave as on a
desktop, and so that alt+F4 becomes a close request as from a title bar.
Every call to an X tool runs under a time limit: a window that never shows up
must fail a test, not hang it.
"""

import os
import re
import select
import shutil
import subprocess
import time

TOOL_TIMEOUT = 15
POLL_INTERVAL = 0.1

# _MOTIF_WM_HINTS: flags, functions, decorations, input mode, status.
MWM_HINTS_FUNCTIONS = 0x1
MWM_FUNC_ALL = 0x1
MWM_FUNC_CLOSE = 0x20

REQUIRED_TOOLS = ("Xvfb", "openbox", "xdotool", "xprop", "xwininfo")


class XError(AssertionError):
    """Raised when the display or a window does not behave as waited for."""


class XSession:
    def __init__(self, workdir):
        missing = [tool for tool in REQUIRED_TOOLS if shutil.which(tool) is None]
        if missing:
            raise XError("end-to-end tests need these programs on PATH: " + ", ".join(missing))
        self.workdir = workdir
        self.display = None
        self.xvfb = None
        self.openbox = None
        self._logs = []

    # --- lifetime -------------------------------------------------------

    def start(self, attempts=2):
        # A server that comes up unusable on a loaded machine is started
        # once more before the tests are given up.
        for attempt in range(attempts):
            try:
                self._start_xvfb()
                self._start_openbox()
                return self
            except XError:
                self.stop()
                if attempt + 1 == attempts:
                    raise
        return self

    def stop(self):
        for proc in (self.openbox, self.xvfb):
            if proc is None or proc.poll() is not None:
                continue
            proc.terminate()
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
                proc.wait(timeout=10)
        for log in self._logs:
            log.close()
        self._logs = []

    def pids(self):
        """The processes that make up the session, which test clean-up spares."""
        return {proc.pid for proc in (self.xvfb, self.openbox) if proc is not None}

    def env(self, base=None):
        env = dict(os.environ if base is None else base)
        env["DISPLAY"] = self.display
        return env

    def _log(self, name):
        log = open(os.path.join(self.workdir, name), "wb")
        self._logs.append(log)
        return log

    def _start_xvfb(self):
        # -displayfd makes the server pick a free display and tell us which.
        read_end, write_end = os.pipe()
        try:
            self.xvfb = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                stderr=self._log("xvfb.log"))
        finally:
            os.close(write_end)
        try:
            number = b""
            deadline = time.monotonic() + 30
            while not number.endswith(b"\n"):
                remaining = deadline - time.monotonic()
                ready, _, _ = select.select([read_end], [], [], max(remaining, 0))
                chunk = os.read(read_end, 16) if ready else b""
                if not chunk:
                    raise XError("Xvfb did not report a display: " + self._read_log("xvfb.log"))
                number += chunk
        finally:
            os.close(read_end)
        self.display = ":" + number.decode().strip()

    def _start_openbox(self):
        # A private configuration home keeps a user's openbox settings out.
        config_home = os.path.join(self.workdir, "xdg-config")
        os.makedirs(config_home, exist_ok=True)
        env = self.env()
        env["XDG_CONFIG_HOME"] = config_home
        env["XDG_CACHE_HOME"] = os.path.join(self.workdir, "xdg-cache")
        self.openbox = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdin=subprocess.DEVNULL,
                                        stdout=subprocess.DEVNULL, stderr=self._log("openbox.log"))
        def managed():
            for name, proc in (("Xvfb", self.xvfb), ("openbox", self.openbox)):
                if proc.poll() is not None:
                    raise XError("{} ended with status {} while starting: {}".format(
                        name, proc.returncode, self._read_log(name.lower() + ".log")))
            return "window id" in self._tool(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], check=False)

        wait_until(managed, 30, lambda: "openbox did not take over display {} (openbox {}): {}".format(
            self.display, _process_state(self.openbox.pid), self._read_log("openbox.log")))

    def _read_log(self, name):
        try:
            with open(os.path.join(self.workdir, name), "rb") as log:
                return log.read().decode(errors="replace")[-2000:]
        except OSError as error:
            return str(error)

    # --- X tools --------------------------------------------------------

    def _tool(self, args, check=True):
        env = self.env()
        env["LC_ALL"] = "C.UTF-8"
        try:
            result = subprocess.run(args, env=env, stdin=subprocess.DEVNULL, capture_output=True,
                                    timeout=TOOL_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise XError("timed out: " + " ".join(args)) from None
        out = result.stdout.decode(errors="replace")
        if check and result.returncode != 0:
            raise XError("{} failed ({}): {}".format(" ".join(args), result.returncode,
                                                     result.stderr.decode(errors="replace").strip()))
        return out

    def windows(self, pid):
        """Ids of the viewable top-level windows that process `pid` owns."""
        out = self._tool(["xdotool", "search", "--onlyvisible", "--pid", str(pid)], check=False)
        return [int(word) for word in out.split()]

    def title(self, wid):
        """The window's title, or None when the window is gone."""
        env = self.env()
        env["LC_ALL"] = "C.UTF-8"
        try:
            result = subprocess.run(["xdotool", "getwindowname", str(wid)], env=env, stdin=subprocess.DEVNULL,
                                    capture_output=True, timeout=TOOL_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise XError("timed out reading the title of window {}".format(wid)) from None
        if result.returncode != 0:
            return None
        return result.stdout.decode("utf-8", errors="replace").rstrip("\n")

    def is_viewable(self, wid):
        out = self._tool(["xwininfo", "-id", str(wid)], check=False)
        return "Map State: IsViewable" in out

    def size(self, wid):
        out = self._tool(["xwininfo", "-id", str(wid)])
        width = int(re.search(r"^\s*Width: (\d+)", out, re.MULTILINE).group(1))
        height = int(re.search(r"^\s*Height: (\d+)", out, re.MULTILINE).group(1))
        return width, height

    def property(self, wid, name):
        """xprop's text for one property (without the name), or None if unset."""
        out = self._tool(["xprop", "-id", str(wid), "-notype", name])
        if "not found" in out or "no such atom" in out:
            return None
        return out.split("=", 1)[1].strip() if "=" in out else out.split(":", 1)[1].strip()

    def motif_hints(self, wid):
        value = self.property(wid, "_MOTIF_WM_HINTS")
        return None if value is None else [int(word, 0) for word in value.split(",")]

    def normal_hints(self, wid):
        """WM_NORMAL_HINTS as {'minimum': (w, h), 'maximum': (w, h), ...}."""
        out = self._tool(["xprop", "-id", str(wid), "WM_NORMAL_HINTS"])
        hints = {}
        for kind in ("minimum", "maximum"):
            match = re.search(r"program specified {} size: (\d+) by (\d+)".format(kind), out)
            if match:
                hints[kind] = (int(match.group(1)), int(match.group(2)))
        return hints

    def window_types(self, wid):
        value = self.property(wid, "_NET_WM_WINDOW_TYPE") or ""
        return [word.strip() for word in value.split(",") if word.strip()]

    def press(self, wid, *keys):
        """Activates the window as a user would, then types the keys into it."""
        self._tool(["xdotool", "windowactivate", "--sync", str(wid), "key", "--delay", "60"] + list(keys))

    def type_text(self, wid, text):
        """Activates the window, then types `text` into its focus widget."""
        self._tool(["xdotool", "windowactivate", "--sync", str(wid), "type", "--delay", "20", text])

    def click(self, wid, x, y):
        """Activates the window and clicks at (x, y) inside it, as a user
        would with the mouse."""
        # No --sync on the move: it waits for motion, and the pointer may
        # already be there. The server handles the move before the click.
        self._tool(["xdotool", "windowactivate", "--sync", str(wid), "mousemove", "--window", str(wid),
                    str(x), str(y), "click", "1"])

    def request_size(self, wid, width, height):
        """Asks for a new size the way a client does; the window manager
        decides, as it does for a user's drag."""
        self._tool(["xdotool", "windowsize", str(wid), str(width), str(height)])

    def capture(self, wid):
        """The window's pixels as an Image, taken from the screen."""
        if shutil.which("import") is None:
            raise XError("ImageMagick's import is needed to look at a window's pixels")
        env = self.env()
        try:
            result = subprocess.run(["import", "-silent", "-window", str(wid), "-depth", "8", "ppm:-"], env=env,
                                    stdin=subprocess.DEVNULL, capture_output=True, timeout=TOOL_TIMEOUT)
        except subprocess.TimeoutExpired:
            raise XError("timed out capturing window {}".format(wid)) from None
        if result.returncode != 0:
            raise XError("import failed for window {}: {}".format(wid, result.stderr.decode(errors="replace")))
        return Image.from_ppm(result.stdout)

    # --- waiting --------------------------------------------------------

    def wait_for_window(self, pid, title=None, timeout=30, exclude=(), alive=None, describe=None,
                        window_type=None):
        """Waits for a viewable window of `pid` whose title fully matches the
        regex `title` (any title if None) and returns its id. Windows in
        `exclude` are ignored, and so, when `window_type` is given (such as
        "_NET_WM_WINDOW_TYPE_NORMAL"), are windows whose first type differs:
        Qt's menus carry their window's title too. `alive` is polled so that
        a process that ends meanwhile fails at once; `describe` adds context
        to a failure."""
        pattern = None if title is None else re.compile(title)
        seen = {}

        def find():
            if alive is not None and not alive():
                raise XError("process {} ended while waiting for window {!r}. {}".format(
                    pid, title, describe() if describe else ""))
            for wid in self.windows(pid):
                if wid in exclude:
                    continue
                name = self.title(wid)
                seen[wid] = name
                if name is None or (pattern is not None and not pattern.fullmatch(name)):
                    continue
                if window_type is not None:
                    try:
                        if self.window_types(wid)[:1] != [window_type]:
                            continue
                    except XError:
                        continue  # gone meanwhile, as a closing menu does
                return wid
            return None

        return wait_until(find, timeout, lambda: "no window {!r} of process {} within {} s (saw {}). {}".format(
            title, pid, timeout, seen or "none", describe() if describe else ""))


class Image:
    """RGB pixels of a captured window."""

    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.rgb = rgb

    @classmethod
    def from_ppm(cls, data):
        # Binary PPM: "P6", width, height, maximum value, one whitespace byte, pixels.
        fields = re.match(rb"P6\s+(\d+)\s+(\d+)\s+(\d+)\s", data)
        if fields is None:
            raise XError("not a binary PPM image: {!r}".format(data[:20]))
        width, height, maximum = (int(value) for value in fields.groups())
        pixels = data[fields.end():]
        if maximum > 255:
            pixels = pixels[::2]  # 16-bit samples, big-endian: keep the high byte
        if len(pixels) < width * height * 3:
            raise XError("truncated PPM image: {} bytes for {}x{}".format(len(pixels), width, height))
        return cls(width, height, pixels)

    def colours(self, x, y, width, height):
        """The set of distinct (r, g, b) colours inside the rectangle."""
        found = set()
        for row in range(y, y + height):
            start = (row * self.width + x) * 3
            line = self.rgb[start:start + width * 3]
            found.update(zip(line[0::3], line[1::3], line[2::3]))
        return found


def _process_state(pid):
    try:
        with open("/proc/{}/stat".format(pid)) as stat, open("/proc/{}/wchan".format(pid)) as wchan:
            return "state {}, waiting in {}".format(stat.read().rsplit(")", 1)[1].split()[0], wchan.read())
    except OSError as error:
        return str(error)


def wait_until(condition, timeout, message):
    """Polls `condition` until it returns something true and returns that;
    raises XError with `message()` (or the string) after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise XError(message() if callable(message) else message)
        time.sleep(POLL_INTERVAL)
