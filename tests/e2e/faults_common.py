"""What the fault suites share: a program folder with the old release, a new
release on the test server, the dialog driven through an attempt, and the
facts every case checks and records in its casebook row: what the user saw,
how many attempts ran, what lies on disk, and whether anything installed
changed."""

import os
import time

from casebook import Casebook
from dialogrun import (DONT_UPGRADE, EXIT_SOFTWARE, FAILED_TEXT, FINISH, SUCCEEDED_TEXT, UPGRADE,
                       DialogRun)
from e2e_common import MODULES, EndToEnd, newer_host, pattern_bytes, publish

# Long versions (many kills, big files) run with `make faults`.
FULL = os.environ.get("FAULTS_FULL") == "1"


def new_release(installed, names, size=40000, seed=500):
    """New bytes for the modules `names`; the host stays a runnable program."""
    release = {}
    for i, name in enumerate(names):
        if name == "Nirvek":
            release[name] = newer_host(installed["Tevrane.exe"], pattern_bytes(size, seed + i))
        else:
            release[name] = pattern_bytes(size + 101 * i, seed + i)
    return release


def local_name(module_name):
    return next(local for name, _, local in MODULES if name == module_name)


class Facts:
    """The checks of one case: each failed expectation is kept, in words."""

    def __init__(self):
        self.problems = []

    def expect(self, condition, what):
        if not condition:
            self.problems.append(what)
        return condition

    @property
    def passed(self):
        return not self.problems


class FaultCase(EndToEnd):
    """A test class whose cases each record one row in the suite's casebook."""

    suite = None  # casebook name, set by each suite
    book = None

    @classmethod
    def setUpClass(cls):
        if FaultCase.book is None or FaultCase.book.suite != cls.suite:
            FaultCase.book = Casebook(cls.suite)

    # ---- running -------------------------------------------------------------
    def run_dialog(self, mode=1, url=None, after_success=FINISH, watch_timeout=120,
                   interval_ms=100, host_args=(), log=None, before_finish=None,
                   host_timeout=None, after_finish=None, on_offer=None, finish_fails=False):
        """Runs the host with the real dialog: presses Upgrade, watches until
        the attempt is decided, then presses Finish after a success (or
        `after_success`, None for nothing) or declines after a failure.
        `before_finish` runs just before Finish is pressed, `after_finish`
        (with the DialogRun) right after; `on_offer` (with the DialogRun)
        once the dialog offers the update, before Upgrade is pressed. With
        `finish_fails` the dialog is watched again after Finish (kept in
        `watched.after_finish`) and declined once it shows the failure.
        Returns (watched, host run)."""
        run = DialogRun(self.folder, "--mode", mode, "--url", url or self.base, *host_args,
                        timeout=watch_timeout + 60, log=log, host_timeout=host_timeout)
        run.find()
        if on_offer:
            on_offer(run)
        run.press(UPGRADE)
        watched = run.watch(interval_ms=interval_ms, timeout=watch_timeout)
        if watched.end == "succeeded" and after_success:
            if before_finish:
                before_finish()
            run.press(after_success)
            if after_finish:
                after_finish(run)
            if finish_fails:
                watched.after_finish = run.watch(interval_ms=interval_ms, timeout=watch_timeout)
                if watched.after_finish.end == "failed":
                    run.press(DONT_UPGRADE if mode == 1 else EXIT_SOFTWARE)
                else:
                    run.close()
        elif watched.end == "failed":
            run.press(DONT_UPGRADE if mode == 1 else EXIT_SOFTWARE)
        elif watched.end == "timeout":
            run.close()
        return watched, run.wait()

    # ---- facts ---------------------------------------------------------------
    def attempts(self):
        """Attempts that reached the server: requests of the digest list."""
        return len(self.requests("ModelMD5.dll"))

    def installed_report(self, new):
        """Compares every installed module with its old bytes and with the new
        release `new` (module name -> bytes). Returns (changed, corrupted):
        the installed names holding new bytes, and those holding neither."""
        changed, corrupted = [], []
        new_by_local = {local_name(name): data for name, data in new.items()}
        for local, old in self.installed.items():
            data = self.folder.read(local) if self.folder.exists(local) else None
            if data == old:
                continue
            if local in new_by_local and data == new_by_local[local]:
                changed.append(local)
            else:
                corrupted.append(local)
        return sorted(changed), sorted(corrupted)

    def leftovers(self):
        """Files in the program folder that the old release did not have."""
        ours = set(self.installed) | {"Updater.exe", "host.log"}
        return [name for name in self.folder.listing() if name not in ours]

    def describe(self, watched=None, host=None, new=None, extra="", count_attempts=True):
        """The observed facts of a case, in one line for its row."""
        parts = []
        if watched is not None:
            parts.append("dialog: %s, status %r" % (watched.end, watched.status))
        if count_attempts:
            parts.append("attempts %d" % self.attempts())
        if new is not None:
            changed, corrupted = self.installed_report(new)
            parts.append("installed: %d of %d replaced by the new release, %d unchanged, "
                         "%d corrupted" % (len(changed), len(new), len(self.installed) -
                                           len(changed) - len(corrupted), len(corrupted)))
        left = self.leftovers()
        parts.append("left on disk: %s" % (", ".join(left) if left else "nothing"))
        if host is not None:
            parts.append("host %s" % ("restarted" if host.has("restarted") else "not restarted"))
        if extra:
            parts.append(extra)
        return "; ".join(parts)

    def record(self, case, done, expected, facts, happened, new=None, inputs=1, mend=None):
        corrupted = len(self.installed_report(new)[1]) if new is not None else 0
        self.book.row(case, done=done, expected=expected, happened=happened,
                      passed=facts.passed and corrupted == 0, kind="fault", inputs=inputs,
                      corrupted=corrupted, mend=mend)
        self.assertEqual([], facts.problems, happened)
        self.assertEqual(0, corrupted, happened)

    # ---- common expectations ------------------------------------------------
    def expect_failure_shown(self, facts, watched, host, attempts=4):
        facts.expect(watched.end == "failed", "the dialog did not show the failure")
        facts.expect(watched.status == FAILED_TEXT, "status %r" % watched.status)
        if attempts is not None:
            facts.expect(self.attempts() == attempts, "%d attempts" % self.attempts())
        facts.expect(not host.has("exit-event-set"), "the host was told to exit")
        facts.expect(not host.has("restarted"), "the host was restarted")

    def expect_install_failed(self, facts, watched, host, new):
        """Finish could not install the set: the old set stays whole, the old
        host runs again, the dialog offers Upgrade again beside the failure,
        and the staged files wait for the next try (nothing else is left)."""
        facts.expect(watched.end == "succeeded", "the dialog did not show success")
        again = getattr(watched, "after_finish", None)
        facts.expect(again is not None and again.end == "failed" and again.status == FAILED_TEXT,
                     "after Finish the dialog showed %r" % again)
        self.expect_nothing_installed(facts, new)
        names = [e for _, e, _ in host.events]
        facts.expect("host-exit" in names and "restarted" in names and
                     names.index("host-exit") < names.index("restarted"),
                     "the host was not restarted after its exit: %s" % names)
        staged = {"UpgradeBackup_P/%s.tmp" % local_name(n): data for n, data in new.items()}
        others = [n for n in self.leftovers() if n not in staged]
        facts.expect(not others, "left on disk: %s" % others)
        facts.expect(all(self.folder.exists(n) and self.folder.read(n) == data
                         for n, data in staged.items()),
                     "the staged files were not kept: %s" % self.folder.listing("UpgradeBackup_P"))

    def expect_nothing_installed(self, facts, new):
        changed, corrupted = self.installed_report(new)
        facts.expect(not changed and not corrupted,
                     "installed files changed: %s" % (changed + corrupted))

    def expect_installed(self, facts, watched, host, new, attempts=None):
        facts.expect(watched.end == "succeeded", "the dialog did not show success")
        facts.expect(watched.status == SUCCEEDED_TEXT, "status %r" % watched.status)
        facts.expect(watched.position == 100, "progress %r" % watched.position)
        if attempts is not None:
            facts.expect(self.attempts() == attempts, "%d attempts" % self.attempts())
        changed, corrupted = self.installed_report(new)
        facts.expect(changed == sorted(local_name(n) for n in new) and not corrupted,
                     "installed %s, corrupted %s" % (changed, corrupted))
        log = host.events
        names = [e for _, e, _ in log]
        facts.expect("host-exit" in names and "restarted" in names and
                     names.index("host-exit") < names.index("restarted"),
                     "the host was not restarted after its exit: %s" % names)
        facts.expect(not self.folder.exists("UpgradeBackup_P"), "the staging folder is left")

    def no_error_page_staged(self, module_name):
        """True unless an error page took a staged module's place."""
        staged = "UpgradeBackup_P/%s.tmp" % local_name(module_name)
        return not self.folder.exists(staged) or b"error" not in self.folder.read(staged)[:64]


def wait_until(condition, timeout, step=0.05):
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(step)
    return condition()
