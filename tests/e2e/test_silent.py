"""Silent mode end to end: the host starts the updater with mode 3; the
differing modules land under their final names in "UpgradeBackup\\" with the
marker, and the updater closes itself without ever showing a window."""

import configparser
import os
import threading
import time
import unittest

from e2e_common import MODULES, EndToEnd, newer_host, pattern_bytes, publish

SILENT = ("--mode", "3")


class Silent(EndToEnd):
    def run_silent(self, *extra, timeout=120):
        return self.folder.run_host(*SILENT, "--url", self.base, "--exit-with-updater",
                                    "--timeout", str(timeout * 1000), *extra, timeout=timeout + 10)

    def run_silent_closing(self, ready, timeout=120):
        """A silent run that the host closes once `ready()` is true."""
        return self.folder.run_host_closing(ready, *SILENT, "--url", self.base,
                                            "--exit-with-updater", "--timeout",
                                            str(timeout * 1000), timeout=timeout + 10)

    def marker(self):
        if not self.folder.exists("UpgradeBackup/qim_s.backup"):
            return None
        config = configparser.ConfigParser()
        config.read_string(self.folder.read("UpgradeBackup/qim_s.backup").decode())
        return config.get("SUpgrade", "Key", fallback=None)

    def test_differing_modules_are_staged_under_their_final_names(self):
        new = {"Quorvel": pattern_bytes(70000, 101), "Zentil": pattern_bytes(1, 102),
               "Nirvek": newer_host(self.installed["Tevrane.exe"], b"2.0"), "Yandrel": b""}
        publish(self.server, new, self.installed)
        run = self.run_silent()
        self.assertEqual(0, run.updater_exit_code(), run)
        self.assertFalse(run.has("updater-window-visible"), run)
        self.assertEqual(["Quorvel.dll", "Tevrane.exe", "Yandrel.exe", "Zentil.dll", "qim_s.backup"],
                         self.folder.listing("UpgradeBackup"))
        self.assertEqual(new["Quorvel"], self.folder.read("UpgradeBackup/Quorvel.dll"))
        self.assertEqual(new["Nirvek"], self.folder.read("UpgradeBackup/Tevrane.exe"))
        self.assertEqual(new["Zentil"], self.folder.read("UpgradeBackup/Zentil.dll"))
        self.assertEqual(b"", self.folder.read("UpgradeBackup/Yandrel.exe"))
        self.assertEqual("1", self.marker())
        # Only what differs is fetched; nothing installed changes.
        fetched = sorted(r["path"] for r in self.server.log() if r["path"] != "/ModelMD5.dll")
        self.assertEqual(["/Nirvek.exe", "/Quorvel.dll", "/Yandrel.exe", "/Zentil.dll"], fetched)
        self.assertEqual(1, len(self.requests("ModelMD5.dll")))
        self.assertEqual([], self.requests("UpdateContent.dll"))
        self.assertInstalledUnchanged()
        self.assertFalse(self.folder.exists("Version.tmp"))
        self.assertFalse(self.folder.exists("UpgradeBackup_P"))

    def test_digest_list_keys_decide_what_is_fetched(self):
        # Quorvel has no key but is installed: fetched. Kavrel has no key and is
        # not installed: skipped. Tobrask's digest differs only in letter case:
        # fetched.
        del self.installed["Kavrel.dll"]
        import os
        os.remove(self.folder.file("Kavrel.dll"))
        publish(self.server, {}, self.installed)
        digest = self.server.root + "/ModelMD5.dll"
        with open(digest, "rb") as f:
            lines = f.read().decode().split("\r\n")
        out = []
        for line in lines:
            if line.startswith("Quorvel=") or line.startswith("Kavrel="):
                continue
            if line.startswith("Tobrask="):
                line = line.upper().replace("TOBRASK=", "Tobrask=")
            out.append(line)
        with open(digest, "wb") as f:
            f.write("\r\n".join(out).encode())
        run = self.run_silent()
        self.assertEqual("1", self.marker(), run)
        self.assertEqual(["Quorvel.dll", "Tobrask.dll", "qim_s.backup"],
                         self.folder.listing("UpgradeBackup"))
        self.assertEqual([], self.requests("Kavrel.dll"))

    def test_a_module_that_always_fails_gives_four_attempts_and_no_marker(self):
        publish(self.server, {"Ibrosk": pattern_bytes(5000, 7), "Amblor": pattern_bytes(9000, 8)},
                self.installed)
        self.server.set_rules({"/Ibrosk.dll": {"status": 404, "body": "<html>not here</html>"}})
        run = self.run_silent()
        self.assertEqual(0, run.updater_exit_code(), run)
        self.assertEqual(4, len(self.requests("ModelMD5.dll")))
        self.assertEqual(4, len(self.requests("Ibrosk.dll")))
        self.assertIsNone(self.marker())
        # The error page never takes the module's place.
        if self.folder.exists("UpgradeBackup/Ibrosk.dll"):
            self.assertNotIn(b"not here", self.folder.read("UpgradeBackup/Ibrosk.dll"))
        self.assertInstalledUnchanged()

    def test_a_module_cut_short_is_resumed_by_the_retry(self):
        data = pattern_bytes(400000, 9)
        publish(self.server, {"Wextral": data}, self.installed)
        self.server.set_rules({"/Wextral.dll": {"cut_at": 150000, "times": 1}})
        run = self.run_silent()
        self.assertEqual("1", self.marker(), run)
        self.assertEqual(data, self.folder.read("UpgradeBackup/Wextral.dll"))
        ranges = [r["range"] for r in self.requests("Wextral.dll")]
        self.assertEqual([None, "bytes=150000-"], ranges)
        self.assertEqual(2, len(self.requests("ModelMD5.dll")))

    def test_a_resumed_file_that_no_longer_matches_is_fetched_again_whole(self):
        # The first attempt is cut short on the old copy; the server's copy then
        # changes: resuming splices the two, which the digest check catches.
        old, new = pattern_bytes(400000, 21), pattern_bytes(400000, 22)
        publish(self.server, {"Ulstane": new}, self.installed)
        self.server.add_file("Ulstane.dll", old)
        self.server.set_rules({"/Ulstane.dll": {"cut_at": 100000, "times": 1}})

        def swap_when_cut():
            deadline = time.monotonic() + 30
            while time.monotonic() < deadline:
                if self.requests("Ulstane.dll"):
                    self.server.add_file("Ulstane.dll", new)
                    return
                time.sleep(0.01)

        swapper = threading.Thread(target=swap_when_cut)
        swapper.start()
        run = self.run_silent()
        swapper.join()
        self.assertEqual("1", self.marker(), run)
        self.assertEqual(new, self.folder.read("UpgradeBackup/Ulstane.dll"))
        ranges = [r["range"] for r in self.requests("Ulstane.dll")]
        self.assertEqual([None, "bytes=100000-", None], ranges)

    def test_a_module_that_is_not_the_listed_one_is_never_staged(self):
        publish(self.server, {"Ibrosk": pattern_bytes(5000, 31)}, self.installed)
        self.server.add_file("Ibrosk.dll", b"<html>a page served in the module's place</html>")
        run = self.run_silent()
        self.assertEqual(0, run.updater_exit_code(), run)
        self.assertEqual(4, len(self.requests("Ibrosk.dll")))
        self.assertFalse(self.folder.exists("UpgradeBackup/Ibrosk.dll"))
        self.assertIsNone(self.marker())
        self.assertInstalledUnchanged()

    def test_a_module_that_arrives_before_the_last_comparison_waits_for_the_whole_list(self):
        # Quorvel is compared first and fetched at once; the installed Yandrel
        # (the last row) takes long to digest, so Quorvel has long arrived when
        # Yandrel is listed. Its report must still count against both.
        with open(self.folder.file("Yandrel.exe"), "r+b") as f:
            f.truncate(512 << 20)  # sparse: quick to write, slow to digest
        del self.installed["Yandrel.exe"]
        new = {"Quorvel": pattern_bytes(5000, 61), "Yandrel": pattern_bytes(7000, 62)}
        publish(self.server, new, self.installed)
        run = self.run_silent()
        self.assertEqual(0, run.updater_exit_code(), run)
        self.assertEqual(["Quorvel.dll", "Yandrel.exe", "qim_s.backup"],
                         self.folder.listing("UpgradeBackup"))
        self.assertEqual(new["Yandrel"], self.folder.read("UpgradeBackup/Yandrel.exe"))
        self.assertEqual("1", self.marker())

    def test_failed_digest_list_is_a_failed_attempt(self):
        self.server.set_rules({"/ModelMD5.dll": {"status": 500}})
        run = self.run_silent()
        self.assertEqual(0, run.updater_exit_code(), run)
        self.assertEqual(4, len(self.requests("ModelMD5.dll")))
        self.assertIsNone(self.marker())

    def test_nothing_differing_waits_for_the_host_to_close_the_updater(self):
        publish(self.server, {}, self.installed)
        listed = []

        def a_while_after_the_list():
            # Long after the comparison: an updater that ended on its own has.
            if not listed and self.requests("ModelMD5.dll"):
                listed.append(time.monotonic())
            return bool(listed) and time.monotonic() - listed[0] > 2

        run = self.run_silent_closing(a_while_after_the_list)
        exited = [t for t, e, _ in run.events if e == "updater-exited"]
        set_at = [t for t, e, _ in run.events if e == "updater-exit-event-set"]
        self.assertTrue(exited and set_at, run)
        self.assertGreaterEqual(exited[0], set_at[0])
        self.assertEqual(1, len(self.requests("ModelMD5.dll")))
        self.assertEqual(["ModelMD5.dll"], sorted(r["path"][1:] for r in self.server.log()))
        self.assertIsNone(self.marker())

    def test_an_earlier_marker_goes_when_a_new_update_starts(self):
        # A marker left from before must not vouch for files that are being
        # replaced: when this update fails there is no marker.
        self.folder.write("UpgradeBackup/qim_s.backup", "[SUpgrade]\r\nKey=1\r\n")
        publish(self.server, {"Brimsel": pattern_bytes(5000, 11)}, self.installed)
        self.server.set_rules({"/Brimsel.dll": {"status": 500}})
        self.run_silent()
        self.assertIsNone(self.marker())

    def test_closing_in_the_middle_of_fifteen_slow_transfers_ends_everything(self):
        new = {name: pattern_bytes(2000000, 50 + i) for i, (name, _, _) in enumerate(MODULES)}
        new["Nirvek"] = newer_host(self.installed["Tevrane.exe"], pattern_bytes(2000000, 49))
        publish(self.server, new, self.installed)
        self.server.set_rules({"/" + n + e: {"rate": 50000} for n, e, _ in MODULES})

        def all_fifteen_receiving():
            staged = self.folder.file("UpgradeBackup")
            try:
                return sum(os.path.getsize(os.path.join(staged, n)) > 0
                           for n in os.listdir(staged)) >= 15
            except OSError:
                return False

        run = self.run_silent_closing(all_fifteen_receiving)
        set_at = [t for t, e, _ in run.events if e == "updater-exit-event-set"][0]
        exited = [t for t, e, _ in run.events if e == "updater-exited"][0]
        # The transfers need 40 s more: an updater that finishes them first
        # is caught, and a loaded machine still has room.
        self.assertLess(exited - set_at, 20000, run)
        # The server logs a transfer once its client has gone away.
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            transfers = [r for r in self.server.log() if r["path"] != "/ModelMD5.dll"]
            if len(transfers) == 15:
                break
            time.sleep(0.2)
        self.assertEqual(15, len(transfers))
        self.assertTrue(all(r["aborted"] for r in transfers), transfers)
        self.assertIsNone(self.marker())


if __name__ == "__main__":
    unittest.main()
