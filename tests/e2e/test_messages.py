"""Messages that only the updater itself may send, sent by another program of
the session while an attempt's transfers are held up part-way by the server;
a second updater started for the same program folder; and a success that
arrives while the dialog's question is open. Each case checks
that nothing installed changed and the host was not told to exit when the
foreign messages had been handled, that the updater did not crash, and that
the attempt then ended the honest way: every module arrived, Finish installed
exactly the new release, and nothing was left behind."""

import os
import subprocess
import unittest

from dialogrun import DONT_UPGRADE, FINISH, UPGRADE, DialogRun
from faults_common import Facts, FaultCase, local_name, new_release, publish, wait_until
from programdir import WINE_RUN, windows_path

HERE = os.path.dirname(os.path.abspath(__file__))
BUILD = os.environ.get("TEST_BINARY_DIR", os.path.join(HERE, "..", "..", "build"))
FOREIGN = os.path.join(BUILD, "tests", "e2e", "ForeignPost.exe")

WM_USER = 0x400
WM_DOWNLOAD_DONE = WM_USER + 100
WM_COMMAND = 0x111
BN_CLICKED = 0
IDOK = 1
CHANGED = ["Quorvel", "Zentil", "Nirvek"]
# Each transfer stops after 1000 bytes until the test releases it (at most 100 s).
HOLD = {"stall_at": 1000, "stall": 100, "released": True}


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
        self.server.set_rules({"/%s%s" % (name, ".exe" if name == "Nirvek" else ".dll"): HOLD
                               for name in CHANGED})
        run = DialogRun(self.folder, "--mode", "1", "--url", self.base, timeout=150)
        run.find()
        run.press(UPGRADE)
        staged = ["UpgradeBackup_P/%s.tmp" % local_name(name) for name in CHANGED]
        self.assertTrue(wait_until(lambda: all(
            self.folder.exists(f) and os.path.getsize(self.folder.file(f)) >= HOLD["stall_at"]
            for f in staged), 30), "the transfers did not begin")
        return run, new

    def transfers_held(self):
        """True while no transfer of a changed module has ended (the server
        logs a request once its answer has ended)."""
        return not any(self.requests(n) for n in ("Quorvel.dll", "Zentil.dll", "Nirvek.exe"))

    def case(self, name, triples, done, expected, mend, inputs=1):
        """Another program posts the messages of `triples` (message, wParam,
        lParam, ...) during a held attempt; checks what holds once they have
        been handled, then lets the attempt end, presses Finish and records
        the row."""
        run, new = self.start_held_attempt()
        code, finish = foreign("post", run.window, *triples)
        seen = {"held": self.transfers_held(),
                "unchanged": self.installed_report(new) == ([], []),
                "host told": "exit-event-set" in run.log_text(),
                "alive": finish != "gone", "finish shown": finish == "visible 1"}
        self.server.clear_rules()  # the transfers go on
        facts = Facts()
        facts.expect(code == 0, "the dialog stopped answering (ForeignPost %s)" % code)
        facts.expect(seen["held"], "the transfers had ended before the messages were handled")
        facts.expect(seen["unchanged"], "installed files changed")
        facts.expect(not seen["host told"], "the host was told to exit")
        facts.expect(seen["alive"], "the dialog was gone (a crash)")
        facts.expect(not seen["finish shown"], "success was shown before the transfers ended")
        watched = self.finish(run)
        host = run.wait()
        self.expect_installed(facts, watched, host, new, attempts=1)
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())
        self.record(name, done=done, expected=expected, facts=facts, new=new, inputs=inputs,
                    happened=self.describe(watched, host, new, "right after: %s" % seen),
                    mend=mend)

    @staticmethod
    def finish(run):
        """Waits for the attempt's own end and presses Finish after a success."""
        watched = run.watch(timeout=60)
        if watched.end == "succeeded":
            run.press(FINISH)
        else:
            run.close()
        return watched

    def test_finish_posted_while_downloading(self):
        self.case("Finish command posted while downloading",
                  [WM_COMMAND, (BN_CLICKED << 16) | FINISH, 0] * 3,
                  done="another program posts WM_COMMAND for Finish (1002) three times while the "
                       "three modules' transfers are held by the server part-way",
                  expected="ignored (Finish acts only after success): the host is not told to "
                           "exit, nothing is installed; the attempt then succeeds and Finish "
                           "installs the new release",
                  mend="Finish ran in any state: the host exited and the partial staged files "
                       "were installed; Finish now acts only once the attempt has succeeded")

    def test_progress_messages_with_foreign_records(self):
        messages = list(range(WM_USER + 102, WM_USER + 111)) + list(range(WM_USER + 112,
                                                                          WM_USER + 118))
        self.case("progress messages carrying foreign addresses",
                  [v for m in messages for lparam in (1, 0x10000) for v in (m, 0, lparam)],
                  done="another program posts each of the 15 module progress messages with "
                       "lParam 1 and 0x10000 while the transfers are held part-way",
                  expected="nothing is read at those addresses: no crash; the attempt succeeds "
                           "and Finish installs the new release", inputs=30,
                  mend="WM_USER+104 with lParam 1 crashed the updater; a record is now read only "
                       "while one of the updater's own transfers is sending it")

    def test_completions_posted_before_the_transfers_end(self):
        self.case("completion messages posted before the transfers end",
                  [WM_DOWNLOAD_DONE, 0, 0] * 3 + [WM_DOWNLOAD_DONE, 0, 1] * 3,
                  done="another program posts WM_USER+100 with wParam 0 three times with lParam "
                       "0 and three times with lParam 1 while the three transfers are held "
                       "part-way",
                  expected="none counts: no success until the transfers end; then the attempt "
                           "succeeds and Finish installs the new release", inputs=6,
                  mend="three posts made the unfinished attempt a success, so Finish installed "
                       "partial files; only the workers' own completions count now, each once")

    def test_a_second_updater_for_the_same_folder(self):
        new = new_release(self.installed, CHANGED)
        publish(self.server, new, self.installed)
        run = DialogRun(self.folder, "--mode", "1", "--url", self.base, timeout=150)
        run.find()
        files, requests = self.snapshot(), self.requests("UpdateContent.dll")
        # The same folder, spelt in upper case.
        second = subprocess.run([WINE_RUN, windows_path(self.folder.file("Updater.exe")).upper()],
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL, timeout=60)
        seen = {"exit": second.returncode, "files": self.snapshot() == files,
                "requests": self.requests("UpdateContent.dll") == requests}
        facts = Facts()
        facts.expect(second.returncode == 0, "the second updater ended with %s" % second.returncode)
        facts.expect(seen["files"], "the second updater changed files of the folder")
        facts.expect(seen["requests"], "the second updater made requests")
        run.press(UPGRADE)
        watched = self.finish(run)
        host = run.wait()
        self.expect_installed(facts, watched, host, new, attempts=1)
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())
        self.record("a second updater for the same program folder",
                    done="while the first updater offers the update, Updater.exe of the same "
                         "folder is started again (its path in upper case) under the host's "
                         "launch block",
                    expected="the second ends at once: no window, no request, no file written or "
                             "removed; the first then updates and Finish installs the new release",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new, "second updater: %s" % seen),
                    mend="the second updater fetched the change log into the shared folder and "
                         "showed a dialog of its own, whose attempt would delete and rewrite the "
                         "first one's staged files; one updater per program folder now")

    def test_a_success_while_the_question_is_open(self):
        run, new = self.start_held_attempt()
        run.press(DONT_UPGRADE)
        asked = wait_until(lambda: foreign("answer", run.window, 0)[1] == "box", 20, step=0.2)
        self.server.clear_rules()  # the attempt ends well under the question
        shown = wait_until(lambda: foreign("visible", run.window, FINISH)[1] == "visible 1", 60,
                           step=0.5)
        answered = foreign("answer", run.window, IDOK)[1]
        wait_until(lambda: foreign("answer", run.window, 0)[1] == "no box", 10, step=0.2)
        seen = {"asked": asked, "success under the question": shown, "answer": answered,
                "after OK": foreign("visible", run.window, FINISH)[1],
                "host told": "exit-event-set" in run.log_text()}
        facts = Facts()
        facts.expect(asked and shown and answered == "answered", "no success under the question")
        facts.expect(seen["after OK"] == "visible 1", "after OK the dialog showed %r" %
                     seen["after OK"])
        facts.expect(not seen["host told"], "the host was told to exit before Finish")
        if seen["after OK"] == "visible 1":
            run.press(FINISH)
        elif seen["after OK"] != "gone":
            run.close()
        host = run.wait()
        changed, corrupted = self.installed_report(new)
        facts.expect(changed == sorted(local_name(n) for n in CHANGED) and not corrupted,
                     "installed %s, corrupted %s" % (changed, corrupted))
        facts.expect(host.has("restarted"), "the host was not restarted")
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())
        self.record("a success while the question is open", done="Don't upgrade pressed while "
                    "the transfers are held, so 是否确定要退出运行 is asked; the transfers then "
                    "end well under the question, and OK is pressed",
                    expected="OK keeps the success: the dialog offers Finish, the host is not "
                             "told to exit; Finish installs the new release",
                    facts=facts, new=new, happened=self.describe(None, host, new, str(seen)),
                    mend="OK ended the dialog without installing, after the attempt had "
                         "succeeded; the success now stands")

    def snapshot(self):
        """Every file of the program folder but the host's log, with its size
        and modification time."""
        return {name: (os.stat(self.folder.file(name)).st_size,
                       os.stat(self.folder.file(name)).st_mtime_ns)
                for name in self.folder.listing() if name != "host.log"}


if __name__ == "__main__":
    unittest.main()
