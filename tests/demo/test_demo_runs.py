"""Whole runs of the demo (tools/demo/demo.py) under Wine: the silent update
end to end (staged, then applied by the sample host at its next start), and
runs that must fail clearly and in bounded time.

usage: test_demo_runs.py ENDS_AT_ONCE_EXE ENGINE_DRIVER_EXE
(programs run in the updater's place: one that ends at once without
arguments, and the engine without the dialog, which runs the update and
Finish by itself)"""

import os
import contextlib
import io
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
DEMO = os.path.join(REPO, "tools", "demo", "demo.py")
sys.path.insert(0, os.path.join(REPO, "tools", "demo"))
sys.path.insert(0, os.path.join(REPO, "tests", "e2e"))

import demo as demo_script  # noqa: E402
import xdisplay  # noqa: E402
from demo_release import CHANGED_SIZES  # noqa: E402
from programdir import ProgramFolder  # noqa: E402

ENDS_AT_ONCE, ENGINE_DRIVER = (sys.argv[1:3] + ["", ""])[:2]


class NoClicks:
    """In place of the dialog driver, for an updater that shows no dialog."""

    def __init__(self, *args, **kwargs):
        pass

    def run(self, transfer_timeout):
        pass


class DemoRuns(unittest.TestCase):
    def setUp(self):
        self.out = tempfile.mkdtemp(prefix="demo-run-")
        self.addCleanup(shutil.rmtree, self.out, True)

    def demo(self, *args, timeout=240):
        env = dict(os.environ, BUILD=os.environ["TEST_BINARY_DIR"])
        env.pop("DISPLAY", None)
        start = time.monotonic()
        done = subprocess.run([sys.executable, DEMO, "--out", self.out, *args], env=env,
                              stdin=subprocess.DEVNULL, capture_output=True, text=True,
                              timeout=timeout)
        done.seconds = time.monotonic() - start
        self.assertEqual([], self.left_running(), "the demo left programs running")
        return done

    def left_running(self):
        """Processes that name the output folder (nginx, Wine programs)."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    cmdline = f.read().replace(b"\\", b"/")
            except OSError:
                continue
            if self.out.encode() in cmdline and int(pid) != os.getpid():
                found.append(cmdline.decode(errors="replace"))
        return found

    def test_silent_run_stages_the_new_release_with_a_skin(self):
        done = self.demo("--mode", "3", "--skin", "--rate", "2000")
        self.assertEqual(0, done.returncode, done.stdout + done.stderr)
        self.assertIn("Staged 6 modules in UpgradeBackup\\", done.stdout)
        for name in list(CHANGED_SIZES) + ["Nirvek"]:
            self.assertRegex(done.stdout, r"\n  %s .* -> [0-9a-f]{32}\n" % name)
        self.assertIn('The marker "UpgradeBackup\\qim_s.backup" was written', done.stdout)
        self.assertIn("The silent update completed", done.stdout)
        # The host, started again, applied the stage of the six changed modules.
        self.assertIn("At its next start the host applied the stage: result=HOSTKIT_OK files=6 ",
                      done.stdout)
        folder = ProgramFolder(updater="", host="", path=os.path.join(self.out, "program"))
        self.assertFalse(folder.exists("UpgradeBackup"))
        self.assertTrue(os.path.getsize(os.path.join(self.out, "screenshots",
                                                     "silent-applied.png")) > 1000)
        self.assertTrue(folder.exists("qimtools/Skin/Skin1/General/BoxBtn_S.png"))
        # The change log was published in code page 936.
        with open(os.path.join(self.out, "release", "UpdateContent.dll"), "rb") as f:
            self.assertIn("更新内容".encode("gbk"), f.read())

    def test_an_updater_that_stages_nothing_fails_the_run_and_keep_adds_runs(self):
        for n in (1, 2):
            done = self.demo("--mode", "3", "--keep", "--updater", ENDS_AT_ONCE)
            self.assertEqual(1, done.returncode, done.stdout + done.stderr)
            self.assertIn("The update did not complete", done.stdout)
            self.assertIn("UpgradeBackup/Quorvel.dll is missing", done.stdout)
            self.assertIn("the marker UpgradeBackup/qim_s.backup was not written", done.stdout)
            self.assertTrue(os.path.isdir(os.path.join(self.out, "run-%d" % n, "program")))
        self.assertEqual(["run-1", "run-2"], sorted(os.listdir(self.out)))

    def test_no_dialog_on_the_own_display_is_a_clear_failure(self):
        done = self.demo("--mode", "1", "--xvfb", "--updater", ENDS_AT_ONCE, timeout=120)
        self.assertEqual(1, done.returncode, done.stdout + done.stderr)
        self.assertRegex(done.stderr, 'no window "Updater" appeared on :\\d+: the updater '
                                      'ended \\(code=2\\) without showing it')
        display = done.stdout.split("own X server on ")[1].split()[0]
        self.assertFalse(xdisplay.display_reachable(display), "Xvfb was left running")
        self.assertLess(done.seconds, 60)

    def test_what_follows_finish_is_judged_from_the_host_and_the_files(self):
        # The engine driver updates and restarts the host without a dialog;
        # an updater that ends at once is a declined offer: no hang, a failure.
        original = demo_script.DialogDriver
        demo_script.DialogDriver = NoClicks
        self.addCleanup(setattr, demo_script, "DialogDriver", original)
        self.addCleanup(os.environ.__setitem__, "BUILD", os.environ.get("BUILD", ""))
        for updater, code, expected in (
                (ENGINE_DRIVER, 0, "The host was restarted"),
                (ENDS_AT_ONCE, 1, "the host's exit event was never set (the updater ended, "
                                  "code=2)")):
            with self.subTest(updater=os.path.basename(updater)):
                output = io.StringIO()
                with contextlib.redirect_stdout(output), contextlib.redirect_stderr(output):
                    result = demo_script.main(
                        ["--mode", "1", "--xvfb", "--out", self.out, "--updater", updater,
                         "--rate", "2000", "--build", os.environ["TEST_BINARY_DIR"]])
                self.assertEqual(code, result, output.getvalue())
                self.assertIn(expected, output.getvalue())
                self.assertEqual([], self.left_running())

    def test_bad_options_are_refused(self):
        for args in (("--mode", "4"), ("--rate", "-1"), ("--timeout", "0")):
            with self.subTest(args=args):
                done = self.demo(*args, timeout=30)
                self.assertEqual(2, done.returncode)
                self.assertFalse(os.listdir(self.out))
        done = self.demo("--updater", os.path.join(self.out, "none.exe"), timeout=30)
        self.assertEqual(1, done.returncode)
        self.assertIn("no program", done.stderr)
        # A folder of other files is never emptied to make room for a run.
        with open(os.path.join(self.out, "notes.txt"), "w") as f:
            f.write("mine")
        done = self.demo("--mode", "3", timeout=30)
        self.assertEqual(1, done.returncode)
        self.assertIn("not emptying it", done.stderr)
        self.assertEqual(["notes.txt"], os.listdir(self.out))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
