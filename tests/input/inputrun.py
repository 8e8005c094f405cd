"""Runs of the real updater on bad input, for the bad-input suites.

A run happens in a sandbox: a temporary folder that holds the program folder
("Program", with the updater, the host stand-in as "Tevrane.exe" and an old
release of the modules) beside a sentinel folder. Everything in the sandbox is
listed before and after the run, so that a run which writes anywhere but the
updater's own files and folders in the program folder is caught. The host's
Unix stderr, which the updater inherits, is kept: Wine writes "wine: Unhandled"
there when a program crashes.

    with Sandbox() as box:
        run = box.run("--mode", "1", "--url", url, probe=["describe", ...])
        run.crashed, run.exit_code, run.strays, run.dialog ...
"""

import contextlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "server"))

from casebook import Casebook  # noqa: E402
from e2e_common import BUILD, old_release  # noqa: E402
from harness import TestServer  # noqa: E402
from programdir import (HOST_EXE, UPDATER_EXE, WINE_RUN, HostRun, ProgramFolder,  # noqa: E402
                        windows_path)

__all__ = ["BUILD", "Casebook", "Dialog", "InputSuite", "Run", "Sandbox", "windows_path"]

PROBE = os.path.join(BUILD, "tests", "DialogProbe.exe")

# What the updater may create or change in the program folder: its transient
# files and its two staging folders; "host.log" is the host stand-in's.
OWN_FILES = ("Version.tmp", "UpdateContent.dat", "host.log")
OWN_FOLDERS = ("UpgradeBackup_P/", "UpgradeBackup/")

CONTROL_NAMES = {1000: "upgrade", 1001: "exit", 1002: "finish", 1003: "dont_upgrade",
                 1004: "close", 1005: "change_log", 1008: "progress", 1011: "status",
                 1012: "footer_before", 1013: "link", 1014: "footer_after"}


class Control:
    def __init__(self, fields, text):
        self.visible, self.enabled = fields[0] == "1", fields[1] == "1"
        self.x, self.y, self.width, self.height = (int(v) for v in fields[2:6])
        self.text = text  # bytes, code page 936

    def __repr__(self):
        return "Control(%s %s, %d,%d %dx%d, %d bytes)" % (
            "visible" if self.visible else "hidden", "enabled" if self.enabled else "disabled",
            self.x, self.y, self.width, self.height, len(self.text))


class Dialog:
    """The dialog as DialogProbe described it."""

    def __init__(self, path):
        self.controls = {}
        self.size = None
        self.peak_memory = None  # bytes, the peak working set of the updater
        with open(path, encoding="ascii") as f:
            for line in f:
                fields = line.split()
                if fields[0] == "window":
                    self.size = (int(fields[2]), int(fields[3]))
                elif fields[0] == "memory":
                    self.peak_memory = int(fields[1])
                elif fields[0] == "control":
                    control_id = int(fields[1])
                    with open("%s.%d" % (path, control_id), "rb") as t:
                        text = t.read()
                    self.controls[CONTROL_NAMES.get(control_id, control_id)] = Control(fields[2:], text)

    def __getattr__(self, name):
        try:
            return self.__dict__["controls"][name]
        except KeyError:
            raise AttributeError(name) from None


class Run:
    """What one run of the host and the updater left behind."""

    def __init__(self, host, stderr, strays, dialog, notes=()):
        self.host = host
        self.stderr = stderr
        self.strays = strays  # changes outside the updater's own files, sorted
        self.dialog = dialog  # a Dialog, or None when none was described
        self.notes = list(notes)  # what the run's own steps saw go wrong

    @property
    def exit_code(self):
        return self.host.updater_exit_code()

    @property
    def crashed(self):
        return "wine: Unhandled" in self.stderr

    def problems(self, expect_exit=True):
        """The ways in which this run did not end in defined behaviour."""
        found = []
        if self.crashed:
            found.append("crash: " + self.stderr.strip().splitlines()[-1])
        if expect_exit and self.exit_code != 0:
            found.append("updater exit code %s" % self.exit_code)
        if self.host.has("timeout") or self.host.returncode == "timeout":
            found.append("no end within the time allowed")
        if self.strays:
            found.append("written outside its own files: %s" % ", ".join(self.strays[:5]))
        return found

    def __repr__(self):
        return "Run(%r, strays=%s, notes=%s, stderr=%r)" % (self.host, self.strays, self.notes,
                                                           self.stderr[-300:])


def snapshot(root):
    """Every file and folder below `root`: relative name -> (size, mtime) or None for a folder."""
    found = {}
    for path, folders, files in os.walk(root):
        for name in folders:
            found[os.path.relpath(os.path.join(path, name), root).replace(os.sep, "/") + "/"] = None
        for name in files:
            full = os.path.join(path, name)
            stat = os.stat(full)
            found[os.path.relpath(full, root).replace(os.sep, "/")] = (stat.st_size, stat.st_mtime_ns)
    return found


def strays_between(before, after, program="Program/"):
    """Names created, changed or removed between two snapshots that are not the
    updater's own files in the program folder."""
    changed = sorted(name for name in set(before) | set(after) if before.get(name, 0) != after.get(name, 0))

    def own(name):
        if not name.startswith(program):
            return False
        inside = name[len(program):]
        return inside in OWN_FILES or any(inside.startswith(f) for f in OWN_FOLDERS)

    return [name for name in changed if not own(name)]


class SandboxFolder(ProgramFolder):
    """A program folder at a given place (ProgramFolder picks its own)."""

    def __init__(self, path):
        self.path = path
        os.makedirs(path)
        shutil.copy(UPDATER_EXE, self.file("Updater.exe"))
        shutil.copy(HOST_EXE, self.file("Tevrane.exe"))


class Sandbox:
    def __init__(self):
        self.root = tempfile.mkdtemp(prefix="updater-input-")
        try:
            self.folder = SandboxFolder(os.path.join(self.root, "Program"))
        except BaseException:
            shutil.rmtree(self.root, ignore_errors=True)
            raise
        self.installed = old_release(self.folder.read("Tevrane.exe"))
        self.folder.install_modules(self.installed)
        sentinel = os.path.join(self.root, "Sentinel")
        os.makedirs(os.path.join(sentinel, "qimtools", "Skin"))
        with open(os.path.join(sentinel, "keep.txt"), "wb") as f:
            f.write(b"must stay as it is\r\n")
        self.runs = 0

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.remove()

    def remove(self):
        self.folder.wait_for_programs(5)
        shutil.rmtree(self.root, ignore_errors=True)

    def run(self, *host_args, probe=None, close=True, timeout=40):
        """Runs the host with `host_args` (it ends with the updater). With
        `probe`, once the updater has started: ["describe", ...] describes the
        dialog (DialogProbe describe with those arguments), or a function
        given a Prober drives the dialog and returns a Dialog or None; the
        Run holds that Dialog. With `close` the dialog is then sent a close
        request (as the system menu's Close sends)."""
        self.runs += 1
        before = snapshot(self.root)
        work = tempfile.mkdtemp(prefix="updater-input-run-")
        try:
            return self._run(work, before, host_args, probe, close, timeout)
        finally:
            shutil.rmtree(work, ignore_errors=True)

    def _run(self, work, before, host_args, probe, close, timeout):
        log = self.folder.file("host.log")
        if os.path.exists(log):
            os.remove(log)
        before.pop("Program/host.log", None)
        stderr_path = os.path.join(work, "stderr.txt")
        start = time.monotonic()
        args = list(host_args) + ["--exit-with-updater", "--timeout", str(timeout * 1000)]
        with open(stderr_path, "wb") as stderr:
            host = subprocess.Popen(
                [WINE_RUN, windows_path(self.folder.file("Tevrane.exe"))] + [str(a) for a in args],
                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=stderr)
        dialog, notes = None, []
        if probe is not None:
            prober = Prober(work, timeout, self.folder.path)
            dialog = probe(prober) if callable(probe) else prober.describe(*probe[1:])
            if dialog is None:
                notes.append("no dialog described")
            if close:
                result = prober.run("close")
                if result != 0:
                    notes.append("close request not delivered: probe %s" % result)
        try:
            returncode = host.wait(timeout=timeout + 10)
        except subprocess.TimeoutExpired:
            host.kill()
            returncode = "timeout"
        self.folder.wait_for_programs(max(1.0, timeout + 10 - (time.monotonic() - start)))
        text = self.folder.read("host.log").decode("gbk", "replace") if os.path.exists(log) else ""
        with open(stderr_path, "rb") as f:
            stderr_text = f.read().decode("utf-8", "replace")
        after = snapshot(self.root)
        after.pop("Program/host.log", None)
        return Run(HostRun(returncode, text, time.monotonic() - start), stderr_text,
                   strays_between(before, after), dialog, notes)


class Prober:
    """DialogProbe commands on the dialog of the current run."""

    def __init__(self, work, timeout, program_folder):
        self.work = work
        self.timeout = timeout
        self.program_folder = program_folder
        self.count = 0

    def describe(self, wait_ms=20000):
        """The dialog as it is now (waiting up to `wait_ms` for it), or None."""
        self.count += 1
        out = os.path.join(self.work, "dialog%d.txt" % self.count)
        if self.run("describe", windows_path(out), wait_ms, timeout=self.timeout) != 0:
            return None
        return Dialog(out)

    def click(self, control_id):
        return self.run("click", control_id) == 0

    def close(self):
        return self.run("close") == 0

    def run(self, command, *args, timeout=10):
        return probe_run(command, *args, timeout=timeout, program_folder=self.program_folder)

    def wait_for(self, condition, seconds):
        """Describes the dialog until condition(dialog) holds, for at most
        `seconds`; returns the last description."""
        deadline = time.monotonic() + seconds
        while True:
            dialog = self.describe()
            if dialog is None or condition(dialog) or time.monotonic() > deadline:
                return dialog
            time.sleep(0.2)


def probe_run(command, *args, timeout=30, program_folder=None):
    """Runs DialogProbe with `command` and `args` on the dialog of a program
    in `program_folder`; returns its exit code."""
    env = dict(os.environ)
    if program_folder:
        env["DIALOG_PROBE_FOLDER"] = windows_path(program_folder) + "\\"
    try:
        done = subprocess.run([WINE_RUN, windows_path(PROBE), command] + [str(a) for a in args],
                              env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return "timeout"
    if done.returncode != 0:  # Wine's own words, should the probe not have started
        print("DialogProbe %s: exit %s, stderr %r" % (command, done.returncode, done.stderr),
              file=sys.stderr)
    return done.returncode


class CaseNotes:
    """What a case saw, for its row."""

    def __init__(self):
        self.happened = []

    def note(self, text):
        self.happened.append(text)


class InputSuite(unittest.TestCase):
    """A sandbox per test and a test server per class; `case` records a row
    of kind "input" in the suite's casebook (a class attribute `book`)."""

    book = None

    @classmethod
    def setUpClass(cls):
        cls.server = TestServer(lifetime=900)
        cls.server.start()
        cls.base = cls.server.base_url

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.box = Sandbox()
        self.folder = self.box.folder
        self.server.clear_rules()
        self.server.clear_log()

    def tearDown(self):
        left = self.folder.wait_for_programs(5)
        self.box.remove()
        self.assertEqual([], left, "programs were still running after the test")

    @contextlib.contextmanager
    def case(self, name, done, expected, inputs, mend=None):
        notes = CaseNotes()
        try:
            yield notes
        except Exception as failure:
            notes.note("FAILED: %s" % (str(failure).splitlines() or [repr(failure)])[0][:300])
            self.book.row(name, done=done, expected=expected, happened="; ".join(notes.happened),
                          passed=False, kind="input", inputs=inputs, mend=mend)
            raise
        self.book.row(name, done=done, expected=expected, happened="; ".join(notes.happened),
                      passed=True, kind="input", inputs=inputs, mend=mend)

    def assertDefined(self, run, what, expect_exit=True):
        """No crash, a sane exit, an end in time, nothing written elsewhere."""
        self.assertEqual([], run.problems(expect_exit), "%s: %r" % (what, run))

    def requested(self, name):
        return [r for r in self.server.log() if r["path"].endswith("/" + name)]
