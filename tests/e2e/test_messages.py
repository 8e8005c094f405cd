"""Messages that only the updater itself may send, sent by another program of
the session while an attempt's transfers are held up part-way by the server;
and a second updater started for the same program folder. Each case checks
that nothing installed changed and the host was not told to exit when the
foreign messages arrived, that the updater did not crash, and that the
attempt then ended the honest way: every module arrived, Finish installed
exactly the new release, and nothing was left behind."""

import os
import subprocess
import unittest

from dialogrun import FINISH, UPGRADE, DialogRun
from faults_common import Facts, FaultCase, local_name, new_release, publish, wait_until
from programdir import WINE_RUN, windows_path

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("TEST_BINARY_DIR", os.path.join(HERE, "..", "..", "build"))
FOREIGN = os.path.join(BUILD, "tests", "e2e", "ForeignPost.exe")

WM_USER = 0x400
WM_DOWNLOAD_DONE = WM_USER + 100
WM_COMMAND = 0x111
BN_CLICKED = 0
CHANGED = ["Quorvel", "Zentil", "Nirvek"]
HOLD_AT, HOLD_SECONDS = 1000, 6  # each transfer stops after 1000 bytes for 6 s


def foreign(*args):
    """Runs ForeignPost; (exit code, first line of its output)."""
    result = subprocess.run([WINE_RUN, windows_path(FOREIGN)] + [str(a) for a in args],
                            stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                            stderr=subprocess.DEVNULL, timeout=60)
    lines = result.stdout.decode("ascii", "replace").replace("\r", "").splitlines()
    return result.returncode, (lines[0] if lines else "")


class ForeignMessages(FaultCase):
    suite = "messages"

    def start_held_attempt(self):
        """A mode 1 dialog whose attempt is downloading: every changed module
        has its first bytes staged and its transfer is held by the server.
        Returns (run, new release)."""
        new = new_release(self.installed, CHANGED)
        publish(self.server, new, self.installed)
        self.server.set_rules({"/%s%s" % (name, ".exe" if name == "Nirvek" else ".dll"):
                               {"stall_at": HOLD_AT, "stall": HOLD_SECONDS} for name in CHANGED})
        run = DialogRun(self.folder, "--mode", "1", "--url", self.base, timeout=150)
        run.find()
        run.press(UPGRADE)
        staged = ["UpgradeBackup_P/%s.tmp" % local_name(name) for name in CHANGED]
        self.assertTrue(wait_until(lambda: all(
            self.folder.exists(f) and os.path.getsize(self.folder.file(f)) >= HOLD_AT
            for f in staged), 30), "the transfers did not begin")
        return run, new

    def transfers_held(self):
        """True while no transfer of a changed module has ended (the server
        logs a request once its answer has ended)."""
        return not any(self.requests(local) for local in
                       ("Quorvel.dll", "Zentil.dll", "Nirvek.exe"))

    def finish_honestly(self, run, facts, seen):
        """Waits for the attempt's own end, presses Finish and checks the
        outcome. Returns (watched, host run)."""
        watched = run.watch(timeout=60)
        if watched.end == "succeeded":
            run.press(FINISH)
        else:
            run.close()
        host = run.wait()
        facts.expect(seen["held"], "the transfers had ended before the messages were handled")
        facts.expect(seen["unchanged"], "installed files changed when the messages arrived")
        facts.expect(not seen["host told"], "the host was told to exit when the messages arrived")
        facts.expect(seen["alive"], "the dialog was gone after the messages (a crash)")
        return watched, host

    def after_messages(self, run, new):
        """What holds right after the foreign messages were dispatched."""
        finish = foreign("visible", run.window, FINISH)[1]
        return {"held": self.transfers_held(),
                "unchanged": self.installed_report(new) == ([], []),
                "host told": "exit-event-set" in run.log_text(),
                "alive": finish != "gone", "finish shown": finish == "visible 1"}

    def expect_honest_end(self, facts, watched, host, new):
        self.expect_installed(facts, watched, host, new, attempts=1)
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())

    def test_finish_posted_while_downloading(self):
        run, new = self.start_held_attempt()
        code, _ = foreign("post", *[run.window] + [WM_COMMAND, (BN_CLICKED << 16) | FINISH, 0] * 3)
        seen = self.after_messages(run, new)
        facts = Facts()
        facts.expect(code == 0, "the dialog stopped answering (ForeignPost %s)" % code)
        watched, host = self.finish_honestly(run, facts, seen)
        self.expect_honest_end(facts, watched, host, new)
        self.record("Finish command posted while downloading",
                    done="another program posts WM_COMMAND for Finish (1002) three times while "
                         "the three modules' transfers are held by the server part-way",
                    expected="the command is ignored (Finish acts only after success): the "
                             "host is not told to exit, nothing is installed; the attempt then "
                             "succeeds and Finish installs the new release",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new, "when posted: %s" % seen),
                    mend="Finish ran in any state: the host exited and the partial staged "
                         "files were installed; Finish now acts only once the attempt succeeded")

    def test_progress_messages_with_foreign_records(self):
        run, new = self.start_held_attempt()
        triples = []
        for message in list(range(WM_USER + 102, WM_USER + 111)) + \
                list(range(WM_USER + 112, WM_USER + 118)):
            for lparam in (1, 0x10000):
                triples += [message, 0, lparam]
        code, _ = foreign("post", run.window, *triples)
        seen = self.after_messages(run, new)
        facts = Facts()
        facts.expect(code == 0, "the dialog stopped answering (ForeignPost %s)" % code)
        watched, host = self.finish_honestly(run, facts, seen)
        self.expect_honest_end(facts, watched, host, new)
        self.record("progress messages carrying foreign addresses",
                    done="another program posts each of the 15 module progress messages with "
                         "lParam 1 and 0x10000 while the transfers are held part-way",
                    expected="no record is read at those addresses: the updater does not crash, "
                             "the attempt succeeds and Finish installs the new release",
                    facts=facts, new=new, inputs=30,
                    happened=self.describe(watched, host, new, "when posted: %s" % seen),
                    mend="WM_USER+104 with lParam 1 crashed the updater; a record is now read "
                         "only while one of its own transfers is sending it")

    def test_completions_posted_before_the_transfers_end(self):
        run, new = self.start_held_attempt()
        code, _ = foreign("post", run.window, *[WM_DOWNLOAD_DONE, 0, 0] * 3 +
                          [WM_DOWNLOAD_DONE, 0, 1] * 3)
        seen = self.after_messages(run, new)
        facts = Facts()
        facts.expect(code == 0, "the dialog stopped answering (ForeignPost %s)" % code)
        facts.expect(not seen["finish shown"], "success was shown before the transfers ended")
        watched, host = self.finish_honestly(run, facts, seen)
        self.expect_honest_end(facts, watched, host, new)
        self.record("completion messages posted before the transfers end",
                    done="another program posts WM_USER+100 with wParam 0 three times with "
                         "lParam 0 and three times with lParam 1 while the three transfers are "
                         "held part-way",
                    expected="none counts: no success is shown until the transfers end; then "
                             "the attempt succeeds and Finish installs the new release",
                    facts=facts, new=new, inputs=6,
                    happened=self.describe(watched, host, new, "when posted: %s" % seen),
                    mend="three posts declared the unfinished attempt a success, so Finish "
                         "installed partial files; only the workers' own completions count now, "
                         "each once")

    def test_a_second_updater_for_the_same_folder(self):
        run, new = self.start_held_attempt()
        before = self.snapshot()
        changelogs = len(self.requests("UpdateContent.dll"))
        # The same folder, spelt in upper case.
        second = subprocess.run([WINE_RUN, windows_path(self.folder.file("Updater.exe")).upper()],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=60)
        seen = self.after_messages(run, new)
        seen.update({"files": self.snapshot() == before,
                     "requests": len(self.requests("UpdateContent.dll")) - changelogs})
        facts = Facts()
        facts.expect(second.returncode == 0, "the second updater ended with %s" % second.returncode)
        facts.expect(seen["files"], "the second updater changed files of the folder")
        facts.expect(seen["requests"] == 0, "the second updater made requests")
        watched, host = self.finish_honestly(run, facts, seen)
        self.expect_honest_end(facts, watched, host, new)
        self.record("a second updater for the same program folder",
                    done="while the first updater's transfers are held part-way, Updater.exe of "
                         "the same folder is started again (its path in upper case) under the "
                         "host's launch block",
                    expected="the second ends at once: no window, no request, no file written "
                             "or removed; the first succeeds and Finish installs the new release",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new, "second updater: exit %s, %s" %
                                           (second.returncode, seen)),
                    mend="the second updater fetched the change log into the shared folder and "
                         "showed a dialog of its own, whose attempt would delete and rewrite the "
                         "first one's staged files; one updater per program folder now")

    def snapshot(self):
        """Every file of the program folder with its size and modification time
        (but the host's log)."""
        state = {}
        for name in self.folder.listing():
            if name == "host.log":
                continue
            info = os.stat(self.folder.file(name))
            state[name] = (info.st_size, info.st_mtime_ns)
        return state


if __name__ == "__main__":
    unittest.main()
