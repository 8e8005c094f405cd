"""A program folder for end-to-end runs: the updater, the host stand-in as
"Tevrane.exe" and the installed modules, in a temporary folder that Wine sees
as Z:\\...; and the runs of the host under the test run's Wine prefix."""

import os
import shutil
import signal
import subprocess
import tempfile
import time

WINE_RUN = os.environ.get("WINE_RUN") or os.path.join(
    os.path.dirname(__file__), "..", "..", "scripts", "wine-run")
UPDATER_EXE = os.environ.get("UPDATER_EXE", "")
HOST_EXE = os.environ.get("HOST_EXE", "")

# The module table: (module name, extension, installed file name).
MODULES = [
    ("Quorvel", ".dll", "Quorvel.dll"), ("Tobrask", ".dll", "Tobrask.dll"),
    ("Elvarun", ".dll", "Elvarun.dll"), ("Havrost", ".exe", "Havrost.exe"),
    ("Zentil", ".dll", "Zentil.dll"), ("Corvane", ".dll", "Corvane.dll"),
    ("Brimsel", ".dll", "Brimsel.dll"), ("Wextral", ".dll", "Wextral.dll"),
    ("Amblor", ".dll", "Amblor.dll"), ("Nirvek", ".exe", "Tevrane.exe"),
    ("Pelmor", ".dll", "Pelmor.dll"), ("Ulstane", ".dll", "Ulstane.dll"),
    ("Kavrel", ".dll", "Kavrel.dll"), ("Ibrosk", ".dll", "Ibrosk.dll"),
    ("Yandrel", ".exe", "Yandrel.exe"),
]


def windows_path(path):
    """The path under Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class HostRun:
    """What one run of the host stand-in recorded."""

    def __init__(self, returncode, log_text, seconds, stderr=""):
        self.returncode = returncode
        self.seconds = seconds
        self.stderr = stderr  # what Wine and the programs wrote, e.g. why one could not start
        self.events = []  # (milliseconds, event, details)
        for line in log_text.splitlines():
            parts = line.strip().split(" ", 2)
            if len(parts) >= 2 and parts[0].isdigit():
                self.events.append((int(parts[0]), parts[1], parts[2] if len(parts) > 2 else ""))

    def has(self, event):
        return any(e == event for _, e, _ in self.events)

    def details(self, event):
        return [d for _, e, d in self.events if e == event]

    def updater_exit_code(self):
        codes = self.details("updater-exited")
        return int(codes[0].split("=")[1]) if codes else None

    def __repr__(self):
        said = ", stderr %r" % self.stderr[-600:] if self.stderr.strip() else ""
        return "HostRun(rc=%s, %.1fs, %s%s)" % (self.returncode, self.seconds, self.events, said)


class ProgramFolder:
    """A program folder: a new temporary one, or `path` (created if need be)."""

    def __init__(self, updater=UPDATER_EXE, host=HOST_EXE, path=None):
        if path:
            os.makedirs(path, exist_ok=True)
            self.path = os.path.abspath(path)
        else:
            self.path = tempfile.mkdtemp(prefix="updater-e2e-")
        if updater:
            shutil.copy(updater, self.file("Updater.exe"))
        if host:
            shutil.copy(host, self.file("Tevrane.exe"))

    def file(self, name):
        return os.path.join(self.path, *name.replace("\\", "/").split("/"))

    def write(self, name, data):
        path = self.file(name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data if isinstance(data, bytes) else data.encode())

    def read(self, name):
        with open(self.file(name), "rb") as f:
            return f.read()

    def exists(self, name):
        return os.path.exists(self.file(name))

    def listing(self, folder=""):
        """Every file below `folder`, as relative names with forward slashes."""
        base = self.file(folder) if folder else self.path
        names = []
        for root, _, files in os.walk(base):
            for f in files:
                names.append(os.path.relpath(os.path.join(root, f), base))
        return sorted(names)

    def install_modules(self, contents):
        """contents: installed file name -> bytes."""
        for name, data in contents.items():
            self.write(name, data)

    def start_host(self, *args, env=None, launcher=()):
        """Starts Tevrane.exe with `args` (after removing an earlier host.log)
        and returns its process at once; `env` replaces the environment, and
        `launcher` (a Windows program and its first arguments) runs the host."""
        if os.path.exists(self.file("host.log")):
            os.remove(self.file("host.log"))
        # The error output (the host's, the updater's and Wine's) is kept beside
        # the folder, so that a program that cannot start says why.
        with open(self.path + ".stderr", "wb") as stderr:
            return subprocess.Popen(
                [WINE_RUN, *launcher, windows_path(self.file("Tevrane.exe"))] +
                [str(a) for a in args],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr, env=env)

    def host_stderr(self):
        try:
            with open(self.path + ".stderr", "rb") as f:
                return f.read().decode("utf-8", "replace")
        except OSError:
            return ""

    def host_log(self):
        """The text of host.log so far ("" when there is none)."""
        return self.read("host.log").decode("gbk", "replace") if self.exists("host.log") else ""

    def run_host(self, *args, timeout=60):
        """Runs Tevrane.exe with `args` and waits for it and for every program
        it left running in this folder (the updater, a restarted host)."""
        start = time.monotonic()
        return self._finish_host(self.start_host(*args), start, timeout)

    def run_host_closing(self, ready, *args, timeout=60):
        """As run_host, and the host closes the updater ("*_UPDATER_EXIT_*")
        as soon as `ready()` is true (checked until the host ends or
        `timeout`): a test waits for the state it needs, never for a fixed
        time that a loaded machine can outrun."""
        go = self.path + ".go"
        if os.path.exists(go):
            os.remove(go)
        start = time.monotonic()
        process = self.start_host(*args, "--updater-exit-on", windows_path(go))
        while process.poll() is None and time.monotonic() - start < timeout and not ready():
            time.sleep(0.05)
        open(go, "wb").close()
        return self._finish_host(process, start, timeout)

    def _finish_host(self, process, start, timeout):
        try:
            returncode = process.wait(timeout=max(1.0, timeout - (time.monotonic() - start)))
        except subprocess.TimeoutExpired:
            process.kill()
            returncode = "timeout"
        self.wait_for_programs(max(1.0, timeout - (time.monotonic() - start)))
        return HostRun(returncode, self.host_log(), time.monotonic() - start, self.host_stderr())

    def run(self, program, *args, timeout=60):
        """Runs a program of this folder directly; returns (exit code, seconds)."""
        start = time.monotonic()
        process = subprocess.Popen(
            [WINE_RUN, windows_path(self.file(program))] + [str(a) for a in args],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            code = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            code = "timeout"
        return code, time.monotonic() - start

    def programs(self):
        """Linux pids of the Wine processes running a program of this folder."""
        needle = windows_path(self.path).lower().encode()
        found = []
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    cmdline = f.read().lower()
            except OSError:
                continue
            if needle in cmdline.replace(b"/", b"\\") and b"wine-run" not in cmdline:
                found.append(int(pid))
        return found

    def wait_for_programs(self, timeout):
        """Waits until no program of this folder runs; kills what is left after
        `timeout` seconds and returns the pids it had to kill."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if not self.programs():
                return []
            time.sleep(0.05)
        left = self.programs()
        for pid in left:
            try:
                os.kill(pid, signal.SIGKILL)
            except OSError:
                pass
        return left

    def remove(self):
        self.wait_for_programs(5)
        shutil.rmtree(self.path, ignore_errors=True)
        for beside in (".stderr", ".go"):
            if os.path.exists(self.path + beside):
                os.remove(self.path + beside)
