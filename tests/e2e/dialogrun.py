"""The real update dialog driven as a user would drive it, headless: the host
stand-in starts the updater, DialogProbe.exe finds the dialog, presses its
buttons and reads its status text (control 1011) and progress bar (1008)."""

import os
import subprocess
import sys
import time

from programdir import WINE_RUN, HostRun, windows_path

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("TEST_BINARY_DIR", os.path.join(HERE, "..", "..", "build"))
PROBE = os.path.join(BUILD, "tests", "DialogProbe.exe")

UPGRADE, EXIT_SOFTWARE, FINISH, DONT_UPGRADE, CHANGE_LOG = 1000, 1001, 1002, 1003, 1005
FAILED_TEXT = "更新失败！"
SUCCEEDED_TEXT = "更新成功,点击“完成”将重新启动Marnil！"


def probe(*args, timeout=30):
    """Runs DialogProbe with `args`; returns (exit code, output lines)."""
    result = subprocess.run([WINE_RUN, windows_path(PROBE)] + [str(a) for a in args],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.PIPE, timeout=timeout)
    lines = result.stdout.decode("ascii", "replace").replace("\r", "").splitlines()
    if result.returncode != 0:  # Wine's own words, should the probe not have started
        print("DialogProbe %s: exit %s, stderr %r" % (args[0], result.returncode, result.stderr),
              file=sys.stderr)
    return result.returncode, lines


class Watched:
    """What the dialog showed during one watch."""

    def __init__(self, lines):
        self.samples = []  # (milliseconds, progress position, status text)
        self.end = None
        for line in lines:
            parts = line.split(" ")
            if parts[0] == "sample" and len(parts) == 4:
                text = "" if parts[3] == "-" else bytes.fromhex(parts[3]).decode("gbk", "replace")
                self.samples.append((int(parts[1]), int(parts[2]), text))
            elif parts[0] == "end" and len(parts) == 2:
                self.end = parts[1]

    @property
    def status(self):
        return self.samples[-1][2] if self.samples else None

    @property
    def position(self):
        return self.samples[-1][1] if self.samples else None

    def texts(self):
        """The distinct status texts in the order they first showed."""
        seen = []
        for _, _, text in self.samples:
            if text not in seen:
                seen.append(text)
        return seen

    def __repr__(self):
        return "Watched(end=%s, status=%r, %d samples)" % (self.end, self.status,
                                                            len(self.samples))


class DialogRun:
    """One run of the host stand-in in `folder` whose updater shows its dialog.

        run = DialogRun(folder, "--mode", "1", "--url", url)
        run.upgrade()                  # finds the dialog, presses Upgrade
        watched = run.watch()          # until success or failure is shown
        run.press(FINISH)              # or DONT_UPGRADE after a failure
        host = run.wait()              # a HostRun once every program has ended

    Without find() it is just a host run that does not block (e.g. with the
    engine's driver in the updater's place).
    """

    def __init__(self, folder, *host_args, timeout=120, log=None, host_timeout=None):
        self.folder = folder
        self.timeout = timeout
        self.log_path = log or folder.file("host.log")
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        args = ["--exit-with-updater", "--timeout", str(int((host_timeout or timeout) * 1000))]
        if log:
            args += ["--log", windows_path(log)]
        self.started = time.monotonic()
        self.process = subprocess.Popen(
            [WINE_RUN, windows_path(folder.file("Tevrane.exe"))] + [str(a) for a in host_args] +
            args, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.window = None

    def log_text(self):
        if not os.path.exists(self.log_path):
            return ""
        with open(self.log_path, "rb") as f:
            return f.read().decode("gbk", "replace")

    def updater_pid(self, timeout=20):
        """The Windows process id of the updater, from the host's log."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for line in self.log_text().splitlines():
                parts = line.split()
                if len(parts) >= 3 and parts[1] == "updater-started":
                    return int(parts[2].split("=")[1])
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        raise AssertionError("the host did not start the updater: %r, stderr %r" %
                             (self.log_text(), self.folder.host_stderr()[-600:]))

    def find(self, timeout=30):
        code, lines = probe("find", self.updater_pid(), int(timeout * 1000), timeout=timeout + 10)
        if code != 0 or not lines or not lines[0].startswith("window "):
            raise AssertionError("no update dialog appeared: %r" % self.log_text())
        self.window = int(lines[0].split()[1])
        return self.window

    def press(self, control):
        code, _ = probe("click", self.window, control)
        if code != 0:
            raise AssertionError("could not press %d" % control)

    def text(self, control):
        """The window text of a control of the dialog."""
        _, lines = probe("text", self.window, control)
        value = lines[0].split(" ", 1)[1] if lines and lines[0].startswith("text ") else "-"
        return "" if value == "-" else bytes.fromhex(value).decode("gbk", "replace")

    def close(self):
        probe("close", self.window)

    def upgrade(self):
        self.find()
        self.press(UPGRADE)

    def watch(self, interval_ms=100, timeout=90):
        _, lines = probe("watch", self.window, interval_ms, int(timeout * 1000),
                         FAILED_TEXT.encode("gbk").hex(), timeout=timeout + 30)
        return Watched(lines)

    def wait(self, timeout=None, grace=None):
        """Waits for the host and every program it left running (at most
        `grace` seconds from now for the latter, when given); a HostRun.
        The pids of programs that had to be killed are kept in `left`."""
        timeout = timeout or self.timeout
        try:
            code = self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.process.kill()
            code = "timeout"
        if grace is None:
            grace = max(1.0, timeout - (time.monotonic() - self.started))
        self.left = self.folder.wait_for_programs(grace)
        return HostRun(code, self.log_text(), time.monotonic() - self.started,
                       self.folder.host_stderr())
