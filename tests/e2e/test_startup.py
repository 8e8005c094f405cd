"""Start-up: the launch block decides whether the updater runs at all and
whether it asks the server for the change log."""

import time
import unittest

from e2e_common import EndToEnd


class StartUp(EndToEnd):
    def test_without_a_launch_block_the_updater_ends_at_once_and_shows_nothing(self):
        run = self.folder.run_host("--no-block", "--exit-with-updater", "--timeout", "20000")
        self.assertEqual(0, run.updater_exit_code(), run)
        started = [t for t, e, _ in run.events if e == "updater-started"][0]
        ended = [t for t, e, _ in run.events if e == "updater-exited"][0]
        # Not a speed check: an updater that waits for anything ends only at
        # the host's time-out; the bound leaves room for a loaded machine.
        self.assertLess(ended - started, 15000, run)
        self.assertFalse(run.has("updater-window-visible"), run)
        self.assertEqual([], self.server.log())

    def test_change_log_is_requested_in_modes_1_and_2_only(self):
        self.server.add_file("UpdateContent.dll", "line\r\n")
        for mode, asked in [(1, True), (2, True), (3, False), (0, False), (4, False), (-1, False)]:
            with self.subTest(mode=mode):
                self.server.clear_log()
                # The host closes an updater that waits for the user: once it
                # has asked for the change log, or after a while when it must not.
                began = time.monotonic()
                ready = ((lambda: self.requests("UpdateContent.dll")) if asked else
                         (lambda: time.monotonic() - began > 1.5))
                run = self.folder.run_host_closing(ready, "--mode", mode, "--url", self.base,
                                                   "--exit-with-updater", "--timeout", "30000",
                                                   timeout=40)
                self.assertIsNotNone(run.updater_exit_code(), run)
                self.assertEqual(asked, bool(self.requests("UpdateContent.dll")), run)
                self.assertFalse(self.folder.exists("UpdateContent.dat"))


if __name__ == "__main__":
    unittest.main()
