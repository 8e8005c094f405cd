"""The interactive flow driven through the engine without the dialog: the
attempt runs at once and Finish follows its success."""

import os
import subprocess
import unittest

from e2e_common import ENGINE_DRIVER, HOLD_FILE, EndToEnd, newer_host, pattern_bytes, publish
from programdir import WINE_RUN, windows_path


class InteractiveEngine(EndToEnd):
    updater = ENGINE_DRIVER

    def test_finish_makes_the_host_exit_installs_and_restarts_it(self):
        new = {"Nirvek": newer_host(self.installed["Tevrane.exe"], b"2.0"),
               "Havrost": pattern_bytes(123457, 1), "Pelmor": pattern_bytes(64 * 1024, 2)}
        publish(self.server, new, self.installed)
        self.folder.write("UpgradeBackup_P/Stray.dll.tmp", b"left by an earlier attempt")
        run = self.folder.run_host("--mode", "1", "--url", self.base, "--timeout", "60000",
                                   timeout=70)
        self.assertTrue(run.has("exit-event-set"), run)
        self.assertEqual(new["Havrost"], self.folder.read("Havrost.exe"))
        self.assertEqual(new["Pelmor"], self.folder.read("Pelmor.dll"))
        self.assertEqual(new["Nirvek"], self.folder.read("Tevrane.exe"))
        self.assertFalse(self.folder.exists("UpgradeBackup_P"))
        log = self.folder.read("host.log").decode("gbk", "replace")
        self.assertIn("restarted", log)
        # The restart comes after the host's exit.
        self.assertLess(log.index("host-exit"), log.index("restarted"))
        self.assertInstalledUnchanged(except_=("Havrost.exe", "Pelmor.dll", "Tevrane.exe"))

    def test_a_target_held_open_keeps_the_whole_set_old_and_the_stage(self):
        new = {"Corvane": pattern_bytes(30000, 3), "Elvarun": pattern_bytes(40000, 4)}
        publish(self.server, new, self.installed)
        holder = subprocess.Popen([WINE_RUN, windows_path(HOLD_FILE),
                                   windows_path(self.folder.file("Corvane.dll")), "15000"],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        self.assertEqual(b"held", holder.stdout.readline().strip())
        run = self.folder.run_host("--mode", "2", "--url", self.base, "--timeout", "60000",
                                   timeout=70)
        holder.kill()
        holder.wait()
        holder.stdout.close()
        self.assertTrue(run.has("exit-event-set"), run)
        self.assertTrue(run.has("restarted"), run)
        self.assertInstalledUnchanged()
        self.assertEqual(["Corvane.dll.tmp", "Elvarun.dll.tmp"],
                         self.folder.listing("UpgradeBackup_P"))
        self.assertEqual(new["Elvarun"], self.folder.read("UpgradeBackup_P/Elvarun.dll.tmp"))
        self.assertEqual(["UpgradeBackup_P"], [n for n in os.listdir(self.folder.path)
                                               if n not in self.installed and
                                               n not in ("Updater.exe", "host.log")])

if __name__ == "__main__":
    unittest.main()
