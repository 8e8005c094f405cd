"""The X side of the demo: whether a display can be reached, a private Xvfb
server, and finding, clicking and photographing a Wine window with xdotool
and ImageMagick's import. Every wait is bounded."""

import os
import re
import select
import subprocess
import time

import children


class DisplayError(RuntimeError):
    pass


def display_reachable(display, timeout=5):
    """Whether an X server answers on `display` (":0", "host:1.0", ...)."""
    if not display:
        return False
    try:
        return subprocess.run(["xdpyinfo", "-display", display], stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                              timeout=timeout).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


class Xvfb:
    """A virtual X server on the first free display number (Xvfb picks it
    itself and reports it through -displayfd, so two runs cannot collide)."""

    def __init__(self, width=1024, height=768, log_path=os.devnull):
        self.size = (width, height)
        self.log_path = log_path
        self.process = None
        self.display = None

    def start(self, timeout=15):
        read_end, write_end = os.pipe()
        try:
            with open(self.log_path, "wb") as log:
                self.process = children.start(
                    ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                     "%dx%dx24" % self.size, "-nolisten", "tcp"],
                    stdout=log, stderr=log, pass_fds=(write_end,))
        finally:
            os.close(write_end)
        try:
            number = _read_line(read_end, timeout)
        finally:
            os.close(read_end)
        if not number.isdigit():
            self.stop()
            raise DisplayError("Xvfb did not start within %s s (see %s)" % (timeout, self.log_path))
        self.display = ":" + number
        if not display_reachable(self.display):
            self.stop()
            raise DisplayError("Xvfb started on %s but does not answer" % self.display)
        return self

    def stop(self):
        if self.process is not None:
            children.stop(self.process)
            self.process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


def _read_line(fd, timeout):
    """One line from `fd`, or what came before the writer closed it or
    `timeout` passed."""
    data = b""
    deadline = time.monotonic() + timeout
    while not data.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([fd], [], [], left)[0]:
            break
        chunk = os.read(fd, 64)
        if not chunk:
            break
        data += chunk
    return data.decode(errors="replace").strip()


def client_origin(geometry, client_size):
    """Screen position of the client area's top-left corner of a window whose
    outer rectangle is `geometry` (x, y, width, height): a window without a
    frame is all client area; with a frame the borders are taken as equal on
    the left, right and bottom, the rest of the height as the title."""
    x, y, width, height = geometry
    border = max(0, (width - client_size[0]) // 2)
    top = max(0, height - client_size[1] - border)
    return x + border, y + top


def centre(rect):
    """Centre of the rectangle (x, y, width, height)."""
    x, y, width, height = rect
    return x + width // 2, y + height // 2


_GEOMETRY_KEYS = ("X", "Y", "WIDTH", "HEIGHT")


def parse_geometry(shell_text):
    """(x, y, width, height) from `xdotool getwindowgeometry --shell`."""
    values = dict(re.findall(r"^(\w+)=(-?\d+)\s*$", shell_text, re.M))
    if not all(k in values for k in _GEOMETRY_KEYS):
        raise DisplayError("unexpected answer of xdotool: %r" % shell_text)
    return tuple(int(values[k]) for k in _GEOMETRY_KEYS)


class Screen:
    """xdotool and import on one display."""

    def __init__(self, display):
        self.display = display
        self.env = dict(os.environ, DISPLAY=display)

    def _run(self, command, timeout=15, text=True):
        try:
            done = subprocess.run(command, env=self.env, stdin=subprocess.DEVNULL,
                                  capture_output=True, text=text, timeout=timeout)
        except subprocess.TimeoutExpired:
            raise DisplayError("%s did not answer within %s s" % (command[0], timeout))
        return done

    def windows(self, title):
        """Ids of the visible windows whose whole title is `title`."""
        done = self._run(["xdotool", "search", "--onlyvisible", "--name",
                          "^%s$" % re.escape(title)])
        return [int(w) for w in done.stdout.split() if w.isdigit()]

    def wait_for_window(self, title, timeout, gone=lambda: None, poll=0.25):
        """The first visible window titled `title`. Raises DisplayError after
        `timeout` seconds, or as soon as `gone()` returns a reason why the
        window can no longer come."""
        deadline = time.monotonic() + timeout
        while True:
            found = self.windows(title)
            if found:
                return found[0]
            reason = gone()
            if reason:
                raise DisplayError('no window "%s" appeared on %s: %s'
                                   % (title, self.display, reason))
            if time.monotonic() >= deadline:
                raise DisplayError('no window "%s" appeared on %s within %s s'
                                   % (title, self.display, timeout))
            time.sleep(poll)

    def geometry(self, window):
        done = self._run(["xdotool", "getwindowgeometry", "--shell", str(window)])
        if done.returncode != 0:
            raise DisplayError("window %d is gone" % window)
        return parse_geometry(done.stdout)

    def click(self, point):
        done = self._run(["xdotool", "mousemove", str(point[0]), str(point[1]), "click", "1"])
        if done.returncode != 0:
            raise DisplayError("xdotool could not click at %s: %s" % (point, done.stderr.strip()))

    def pixels(self, rect):
        """The raw RGB bytes of the rectangle (x, y, width, height) of the screen."""
        done = self._run(["import", "-display", self.display, "-window", "root", "-crop",
                          "%dx%d+%d+%d" % (rect[2], rect[3], rect[0], rect[1]), "+repage",
                          "-depth", "8", "rgb:-"], timeout=30, text=False)
        return done.stdout if done.returncode == 0 else b""

    def wait_still(self, rect, quiet=0.6, timeout=8, poll=0.2):
        """Waits until the rectangle has not changed for `quiet` seconds;
        returns False when it still changes after `timeout` seconds."""
        deadline = time.monotonic() + timeout
        last, since = None, time.monotonic()
        while time.monotonic() < deadline:
            now = self.pixels(rect)
            if now != last:
                last, since = now, time.monotonic()
            elif now and time.monotonic() - since >= quiet:
                return True
            time.sleep(poll)
        return False

    def screenshot(self, path, rect=None):
        """Saves the screen, or the rectangle (x, y, width, height) of it, as PNG."""
        command = ["import", "-display", self.display, "-window", "root"]
        if rect:
            command += ["-crop", "%dx%d+%d+%d" % (rect[2], rect[3], rect[0], rect[1]), "+repage"]
        done = self._run(command + [path], timeout=30)
        if done.returncode != 0 or not os.path.exists(path):
            raise DisplayError("import could not save %s: %s" % (path, done.stderr.strip()))
        return path
