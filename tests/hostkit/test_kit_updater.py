"""The host kit against the real updater under Wine. The host stand-in runs
every launch through the kit: each mode, a second start while an updater is
at work (reported busy, or the idle one closed first), and a silent stage
applied at the host's next start (a good one, and a tampered one)."""

import hashlib
import os
import shutil
import subprocess
import sys
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from e2e_common import BUILD, EndToEnd, newer_host, pattern_bytes, publish  # noqa: E402
from programdir import WINE_RUN, HostRun, windows_path  # noqa: E402


class KitWithUpdater(EndToEnd):
    def stage_silently(self):
        new = {"Quorvel": pattern_bytes(40000, 5), "Zentil": pattern_bytes(900, 6),
               "Nirvek": newer_host(self.installed["Tevrane.exe"], b"2.0")}
        publish(self.server, new, self.installed)
        run = self.folder.run_host("--mode", "3", "--url", self.base, "--exit-with-updater",
                                   "--timeout", "120000", timeout=130)
        self.assertIn("kit=1", run.details("start")[0], run)
        self.assertEqual(0, run.updater_exit_code(), run)
        self.assertTrue(self.folder.exists("UpgradeBackup/qim_s.backup"), run)
        return {"Quorvel.dll": new["Quorvel"], "Zentil.dll": new["Zentil"],
                "Tevrane.exe": new["Nirvek"]}

    def apply_stage(self):
        run = self.folder.run_host("--recover", "--apply-stage", timeout=60)
        self.assertEqual(["result=HOSTKIT_NOTHING"], run.details("recover"), run)
        return run.details("stage")[0]

    def test_each_mode_runs_the_updater_through_the_kit(self):
        publish(self.server, {"Quorvel": pattern_bytes(5000, 9)}, self.installed)
        for mode, window in [(1, True), (2, True)]:
            with self.subTest(mode=mode):
                shown = lambda: "updater-window-visible" in self.folder.host_log()  # noqa: E731
                run = self.folder.run_host_closing(shown, "--mode", mode, "--url", self.base,
                                                   "--exit-with-updater", "--timeout", "60000",
                                                   timeout=70)
                self.assertIn("kit=1", run.details("start")[0], run)
                self.assertEqual(window, run.has("updater-window-visible"), run)
                self.assertEqual(0, run.updater_exit_code(), run)
                self.assertInstalledUnchanged()

    def test_a_silent_stage_is_applied_at_the_next_start(self):
        new = self.stage_silently()
        applied = self.apply_stage()
        self.assertTrue(applied.startswith("result=HOSTKIT_OK files=3 "), applied)
        for name, data in new.items():
            self.assertEqual(data, self.folder.read(name), name)
        self.assertInstalledUnchanged(except_=new.keys())
        self.assertFalse(self.folder.exists("UpgradeBackup"))

    def test_a_tampered_stage_is_refused_and_nothing_installed(self):
        new = self.stage_silently()
        marker = self.folder.read("UpgradeBackup/qim_s.backup").decode()
        if "Quorvel.dll=" not in marker:  # a marker without hashes: name the files here
            marker += "".join("%s=%s\r\n" % (name, hashlib.sha256(data).hexdigest())
                              for name, data in sorted(new.items()))
            self.folder.write("UpgradeBackup/qim_s.backup", marker)
        self.folder.write("UpgradeBackup/Zentil.dll", new["Zentil.dll"][:-1] + b"X")
        refused = self.apply_stage()
        self.assertTrue(refused.startswith("result=HOSTKIT_STAGE_REFUSED files=3 hashed=1 "
                                           "reason=hash mismatch"), refused)
        self.assertInstalledUnchanged()
        self.assertFalse(self.folder.exists("UpgradeBackup"))

    def test_the_documented_example_updates_silently_and_applies_the_stage(self):
        shutil.copy(os.path.join(BUILD, "tests", "hostkit", "DocExample.exe"),
                    self.folder.file("Example.exe"))
        publish(self.server, {"Zentil": pattern_bytes(700, 3)}, self.installed)

        def example(*args):
            return subprocess.run([WINE_RUN, windows_path(self.folder.file("Example.exe")), *args],
                                  stdin=subprocess.DEVNULL, capture_output=True, timeout=150
                                  ).stdout.decode("gbk", "replace").replace("\r", "")

        said = example("3", self.base)
        self.assertIn("stage: HOSTKIT_NOTHING", said)
        self.assertIn("start: HOSTKIT_OK\nthe updater ended\n", said)
        self.assertInstalledUnchanged()
        said = example()
        self.assertIn("stage: HOSTKIT_OK, 1 file(s)", said)
        self.assertEqual(pattern_bytes(700, 3), self.folder.read("Zentil.dll"))

    def start_second(self, log, *args, close_when_shown=False):
        """Another host of the folder, logging to `log`, run to its end; with
        `close_when_shown` it closes its updater once the dialog is visible."""
        go = self.folder.path + ".go"

        def said():
            return self.folder.read(log).decode("gbk", "replace") if self.folder.exists(log) else ""

        process = subprocess.Popen(
            [WINE_RUN, windows_path(self.folder.file("Tevrane.exe")), "--log",
             windows_path(self.folder.file(log)), "--mode", "1", "--url", self.base,
             "--exit-with-updater", *args] +
            (["--updater-exit-on", windows_path(go)] if close_when_shown else []),
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if close_when_shown:
            deadline = time.monotonic() + 60
            while (process.poll() is None and time.monotonic() < deadline and
                   "updater-window-visible" not in said()):
                time.sleep(0.1)
            open(go, "wb").close()
        return HostRun(process.wait(timeout=90), said(), 0)

    def test_a_second_start_reports_busy_or_closes_the_idle_updater_first(self):
        first = self.folder.start_host("--mode", "1", "--url", self.base, "--exit-with-updater",
                                       "--timeout", "90000")
        deadline = time.monotonic() + 60
        while not HostRun(None, self.folder.host_log(), 0).has("updater-window-visible"):
            self.assertLess(time.monotonic(), deadline, self.folder.host_log())
            time.sleep(0.2)
        busy = self.start_second("busy.log", "--timeout", "20000")
        self.assertEqual(2, busy.returncode, busy)
        self.assertEqual(["start-result HOSTKIT_BUSY"], busy.details("error"), busy)
        self.assertFalse(HostRun(None, self.folder.host_log(), 0).has("updater-exited"))

        second = self.start_second("second.log", "--if-running", "close", "--timeout", "60000",
                                   close_when_shown=True)
        self.assertEqual(0, first.wait(timeout=30))
        self.assertEqual(0, HostRun(None, self.folder.host_log(), 0).updater_exit_code())
        self.assertEqual(0, second.returncode, second)
        self.assertTrue(second.has("updater-window-visible"), second)
        self.assertEqual(0, second.updater_exit_code(), second)


if __name__ == "__main__":
    unittest.main()
