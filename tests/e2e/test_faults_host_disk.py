"""Host and disk faults, end to end: a host that never made its exit event or
names no window, a target held open during the install, folders that cannot
be written, and the updater killed at random moments while it installs.
Each case records what the user saw, the attempts, what lies on disk and
whether any installed module changed (byte for byte)."""

import os
import random
import shutil
import signal
import subprocess
import time
import unittest

from dialogrun import CHANGE_LOG, DialogRun
from e2e_common import ENGINE_DRIVER, HOLD_FILE, newer_host
from faults_common import (FULL, MODULES, Facts, FaultCase, new_release, publish, wait_until)
from programdir import WINE_RUN, windows_path

ALL_MODULES = [name for name, _, _ in MODULES]


def chattr(flag, path):
    subprocess.run(["chattr", flag, path], check=True, stdout=subprocess.DEVNULL)


class HostDiskFaults(FaultCase):
    suite = "host_disk"

    def setUp(self):
        super().setUp()
        self.immutable = []  # folders made unwritable, made writable again in tearDown
        self.holders = []

    def tearDown(self):
        for holder in self.holders:
            holder.kill()
            holder.wait()
            holder.stdout.close()
        for path in self.immutable:
            chattr("-i", path)
        super().tearDown()

    def make_unwritable(self, path):
        """Nothing can be created, renamed or removed in `path` (even by root)."""
        os.makedirs(path, exist_ok=True)
        chattr("+i", path)
        self.immutable.append(path)

    def hold(self, name, milliseconds):
        """Holds an installed file open without sharing for `milliseconds`."""
        holder = subprocess.Popen([WINE_RUN, windows_path(HOLD_FILE),
                                   windows_path(self.folder.file(name)), str(milliseconds)],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                  stderr=subprocess.DEVNULL)
        self.holders.append(holder)
        self.assertEqual(b"held", holder.stdout.readline().strip())
        return holder

    def publish_three(self):
        new = new_release(self.installed, ["Corvane", "Elvarun", "Nirvek"])
        publish(self.server, new, self.installed)
        return new

    # ---- the host -----------------------------------------------------------------
    def test_host_never_created_its_exit_event(self):
        new = self.publish_three()
        seen = {}

        def while_waiting(run):
            # Finish has been pressed; the host runs on, so nothing may be installed.
            time.sleep(2)
            seen["unchanged"] = self.installed_report(new) == ([], [])
            seen["updater running"] = bool(self.folder.programs())
        watched, host = self.run_dialog(host_args=("--no-exit-event",), host_timeout=12,
                                        after_finish=while_waiting)
        names = [e for _, e, _ in host.events]
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=1)
        facts.expect(seen.get("unchanged"), "modules were installed while the host ran")
        facts.expect(seen.get("updater running"), "the updater had ended")
        facts.expect("timeout" in names and not host.has("exit-event-set"),
                     "the host did not end by itself: %s" % names)
        self.record("the host never created *_ORVAK_EXIT_*",
                    done="the host stand-in runs without its exit event and ends on its own 12 s "
                         "after the start; Finish is pressed after the update succeeded",
                    expected="Finish signals nothing and waits for the host's process: nothing "
                             "is installed while the host runs; once it has ended the modules are "
                             "installed and the host restarted",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new,
                                           "2 s after Finish: installed unchanged %s, updater "
                                           "waiting %s" % (seen.get("unchanged"),
                                                           seen.get("updater running"))))

    def test_host_window_names_no_window(self):
        new = self.publish_three()
        watched, host = self.run_dialog(host_args=("--host-window", "0x7ff0"))
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=1)
        facts.expect(host.has("exit-event-set"), "the host was not told to exit")
        self.record("hostWindow names no window",
                    done="the launch block's host window is 0x7ff0, not a window",
                    expected="Finish sets the host's exit event and, having no process to wait "
                             "for, installs at once and restarts the host",
                    facts=facts, new=new, happened=self.describe(watched, host, new))

    # ---- a target in use ----------------------------------------------------------
    def test_a_target_held_open_without_sharing_during_install(self):
        new = self.publish_three()
        watched, host = self.run_dialog(before_finish=lambda: self.hold("Corvane.dll", 8000),
                                        finish_fails=True)
        facts = Facts()
        self.expect_install_failed(facts, watched, host, new)
        self.record("a target held open without sharing during install",
                    done="Corvane.dll held open without sharing for 8 s from just before Finish "
                         "(the install gives up on a file after about 2 s)",
                    expected="Corvane.dll cannot even be read for its backup, so the set is not "
                             "installed: every module keeps its old bytes, the old host is "
                             "restarted, the dialog shows 更新失败！ with Upgrade enabled, the "
                             "staged files are kept and nothing else is left",
                    facts=facts, new=new, happened=self.describe(watched, host, new),
                    mend="the other modules were installed beside the old Corvane.dll and its "
                         "staged copy deleted; the set is now installed whole or not at all")

    def test_a_target_held_open_briefly_during_install(self):
        new = self.publish_three()
        watched, host = self.run_dialog(before_finish=lambda: self.hold("Corvane.dll", 1000))
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=1)
        self.record("a target held open briefly during install",
                    done="Corvane.dll held open without sharing for 1 s from just before Finish",
                    expected="the replacement is retried until the file is free: every module "
                             "installed, host restarted",
                    facts=facts, new=new, happened=self.describe(watched, host, new))

    # ---- folders that cannot be written -----------------------------------------
    def test_staging_folder_not_writable(self):
        new = self.publish_three()
        self.make_unwritable(self.folder.file("UpgradeBackup_P"))
        watched, host = self.run_dialog()
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        self.expect_nothing_installed(facts, new)
        facts.expect(self.folder.listing("UpgradeBackup_P") == [], "files were staged")
        self.record("the staging folder not writable",
                    done="UpgradeBackup_P exists and nothing can be created in it (immutable)",
                    expected="every module download fails locally: update failed after 4 "
                             "attempts, the host is not asked to exit, nothing installed changed",
                    facts=facts, new=new, happened=self.describe(watched, host, new))

    def test_silent_staging_folder_not_writable(self):
        new = self.publish_three()
        self.make_unwritable(self.folder.file("UpgradeBackup"))
        host = self.folder.run_host("--mode", "3", "--url", self.base, "--exit-with-updater",
                                    "--timeout", "60000", timeout=70)
        facts = Facts()
        facts.expect(host.updater_exit_code() == 0, "updater exit %s" % host.updater_exit_code())
        facts.expect(not host.has("updater-window-visible"), "a window was shown")
        facts.expect(self.attempts() == 4, "%d attempts" % self.attempts())
        facts.expect(self.folder.listing("UpgradeBackup") == [], "files or a marker were written")
        self.expect_nothing_installed(facts, new)
        self.record("the silent staging folder not writable",
                    done="silent mode; UpgradeBackup exists and nothing can be created in it",
                    expected="no window, 4 failed attempts, no marker, the updater ends by "
                             "itself; nothing installed changed",
                    facts=facts, new=new,
                    happened=self.describe(None, host, new, "updater exit code %s" %
                                           host.updater_exit_code()))

    def test_program_directory_not_writable(self):
        new = self.publish_three()
        self.server.add_file("UpdateContent.dll", "new features\r\n")
        log = os.path.join(self.server.root, "..", os.path.basename(self.folder.path) + ".log")
        self.make_unwritable(self.folder.path)
        shown = {}
        try:
            watched, host = self.run_dialog(
                log=log, on_offer=lambda run: shown.update(log=run.text(CHANGE_LOG)))
        finally:
            if os.path.exists(log):
                os.remove(log)
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        fetched = [r["path"] for r in self.server.log()
                   if r["path"] not in ("/ModelMD5.dll", "/UpdateContent.dll")]
        facts.expect(not fetched, "modules fetched: %s" % fetched)
        facts.expect(len(self.requests("UpdateContent.dll")) == 1, "change log not requested once")
        facts.expect(shown.get("log") == "", "change log box shows %r" % shown.get("log"))
        self.expect_nothing_installed(facts, new)
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())
        self.record("the program directory not writable",
                    done="nothing can be created in the program directory (immutable)",
                    expected="the change log and the digest list cannot be stored: the dialog "
                             "opens without a change log, every attempt fails at the digest "
                             "list, update failed after 4; nothing installed changed",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new,
                                           "change log box %r; modules fetched %d" %
                                           (shown.get("log"), len(fetched))))

    def test_program_directory_becomes_not_writable_before_finish(self):
        new = self.publish_three()
        watched, host = self.run_dialog(
            before_finish=lambda: self.make_unwritable(self.folder.path), finish_fails=True)
        facts = Facts()
        self.expect_install_failed(facts, watched, host, new)
        self.record("the program directory not writable at Finish",
                    done="the download succeeds; just before Finish nothing can be created or "
                         "renamed in the program directory any more",
                    expected="no module can be replaced, so none is: every installed module "
                             "keeps its old bytes, the host is restarted with them and the dialog "
                             "shows 更新失败！ with Upgrade enabled; the staged files are kept",
                    facts=facts, new=new, happened=self.describe(watched, host, new))


class KilledDuringInstall(FaultCase):
    """The updater (the engine's own driver, which runs Finish as soon as the
    update has succeeded) killed with SIGKILL at random moments while it
    installs 15 large modules."""

    suite = "host_disk"
    updater = ENGINE_DRIVER

    KILLS = 30 if FULL else 6
    SIZES = (8, 16) if FULL else (4, 8)  # MiB, per module

    def new_release(self, rng):
        low, high = self.SIZES
        new = {}
        for name in ALL_MODULES:
            size = rng.randint(low * 1024 * 1024, high * 1024 * 1024)
            data = rng.randbytes(size)
            if name == "Nirvek":
                data = newer_host(self.installed["Tevrane.exe"], data)
            new[name] = data
        return new

    def reset_folder(self):
        """The old release again, nothing else."""
        shutil.rmtree(self.folder.file("UpgradeBackup_P"), ignore_errors=True)
        for name in self.leftovers():
            os.remove(self.folder.file(name))
        for local, data in self.installed.items():
            if self.folder.read(local) != data:
                self.folder.write(local, data)

    def program_names(self):
        """Linux pid -> command line of the Wine processes of this folder."""
        names = {}
        for pid in self.folder.programs():
            try:
                with open("/proc/%d/cmdline" % pid, "rb") as f:
                    names[pid] = f.read().replace(b"\0", b" ").decode("utf-8", "replace").lower()
            except OSError:
                pass
        return names

    def swapping(self):
        """Whether the install journal says the set is being swapped."""
        try:
            with open(self.folder.file("UpgradeInstall.journal"), "rb") as f:
                return b"state swapping" in f.read()
        except OSError:
            return False

    def install_run(self, kill_after=None, from_swap=False):
        """One update; its install begins once the host has exited. With
        `kill_after` (seconds after that moment, or with `from_swap` after the
        journal first says "swapping") the updater is killed then. Returns
        (install seconds or None, seconds from "swapping" to the restart or
        None, killed updater pid, host run, host starts found half-made after
        the kill)."""
        run = DialogRun(self.folder, "--mode", "1", "--url", self.base, timeout=120)
        if not wait_until(lambda: "host-exit" in run.log_text(), 90, step=0.005):
            return None, None, None, run.wait(), 0
        exited_at = time.monotonic()
        restarted = lambda: "restarted" in run.log_text()  # noqa: E731
        if kill_after is None:
            wait_until(lambda: self.swapping() or restarted(), 60, step=0.002)
            swap_at = time.monotonic()
            wait_until(restarted, 60, step=0.002)
            now = time.monotonic()
            return now - exited_at, now - swap_at, None, run.wait(), 0
        if from_swap:
            wait_until(lambda: self.swapping() or restarted(), 60, step=0.001)
            exited_at = time.monotonic()
        pid = next((p for p, c in self.program_names().items() if "updater.exe" in c), None)
        time.sleep(max(0.0, exited_at + kill_after - time.monotonic()))
        if pid:
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        # Under Wine, a process that the updater was creating when it was
        # killed can be left waiting for ever for its creator, before it runs
        # any code of its own (on Windows the creation would complete). Such a
        # host start still counts as a restart.
        wait_until(lambda: not self.folder.programs(), 3)
        half_made = sum(1 for c in self.program_names().values() if "tevrane.exe" in c)
        return None, None, pid, run.wait(grace=1), half_made

    def test_killed_at_random_moments_during_install(self):
        seed = int(os.environ.get("FAULTS_SEED") or time.time())
        rng = random.Random(seed)
        new = self.new_release(rng)
        publish(self.server, new, self.installed)
        total_mib = sum(len(d) for d in new.values()) / 1048576.0

        facts = Facts()
        # An undisturbed run first: it must install everything, and its
        # duration is the window the kills aim at.
        window, swap_window, _, host, _ = self.install_run()
        facts.expect(window is not None and host.has("restarted"), "calibration run failed")
        changed, corrupted = self.installed_report(new)
        facts.expect(len(changed) == 15 and not corrupted,
                     "calibration installed %d" % len(changed))
        window = window or 1.0
        swap_window = swap_window or 0.05

        # (delay, modules new at the kill, host started again, half-made host
        # starts, modules new after one more start of the updater)
        outcomes = []
        corrupted_total = 0
        for kill in range(self.KILLS):
            self.reset_folder()
            self.server.clear_log()
            # A little past the window too, so that some kills meet the restart.
            # Copying and checking take most of the install; every other kill
            # aims at the short stretch from the first swap to the restart.
            from_swap = kill % 2 == 1
            delay = rng.uniform(0, (swap_window if from_swap else window) * 1.15)
            _, _, pid, host, half_made = self.install_run(kill_after=delay, from_swap=from_swap)
            at_kill, corrupted = self.installed_report(new)
            started = host.has("restarted") or half_made > 0
            # One start of the updater, with nothing else to do (no launch
            # block): it settles what the kill interrupted, then ends.
            code, _ = self.folder.run("Updater.exe", timeout=60)
            after, corrupted_after = self.installed_report(new)
            corrupted_total += len(corrupted) + len(corrupted_after)
            outcomes.append((delay, len(at_kill), started, half_made, len(after)))
            facts.expect(pid is not None, "no updater to kill at %.3f s" % delay)
            facts.expect(code == 0, "the start after a kill at %.3f s: exit %s" % (delay, code))
            facts.expect(not corrupted and not corrupted_after,
                         "after a kill at %.3f s: corrupted %s" % (delay, corrupted + corrupted_after))
            facts.expect(not started or len(at_kill) == 15,
                         "the host was started after only %d modules" % len(at_kill))
            facts.expect(len(after) in (0, 15), "after a kill at %.3f s and one start: %d of 15 "
                         "new" % (delay, len(after)))
            staged = [n for n in self.leftovers() if n.startswith("UpgradeBackup_P/")]
            others = [n for n in self.leftovers() if n not in staged]
            facts.expect(not others, "left after a kill at %.3f s: %s" % (delay, others))
            # An undone install keeps the whole stage for the next try.
            facts.expect(len(staged) == (0 if len(after) == 15 else 15),
                         "staged after a kill at %.3f s: %d" % (delay, len(staged)))

        partial = sum(1 for o in outcomes if 0 < o[1] < 15)
        spread = sorted(o[1] for o in outcomes)
        self.book.row(
            "the updater killed at random moments during installation",
            done="%d kills (SIGKILL of the Wine process) at uniform random moments, half over "
                 "the %.2f s install of 15 modules, half over the %.3f s from the journal's "
                 "\"swapping\" to the restart (each 15%% beyond), %.0f MiB in all (seed %d); "
                 "after each, Updater.exe started once without a launch block" %
                 (self.KILLS, window, swap_window, total_mib, seed),
            expected="after every kill each installed module holds exactly its old or its new "
                     "bytes; the host is started again only after a complete set; after the "
                     "next start the 15 modules are all old (the stage kept) or all new, and no "
                     "copy, backup or journal is left",
            happened="modules new at the kill: %s (%d kills between swaps); corrupted modules "
                     "%d; host started again after %d kills (%d of these starts left half-made "
                     "by Wine), each time with all 15 new; after the next start: %d sets all "
                     "new, %d all old, %d mixed" %
                     (spread, partial, corrupted_total, sum(1 for o in outcomes if o[2]),
                      sum(1 for o in outcomes if o[3]), sum(1 for o in outcomes if o[4] == 15),
                      sum(1 for o in outcomes if o[4] == 0),
                      sum(1 for o in outcomes if 0 < o[4] < 15)),
            passed=facts.passed and corrupted_total == 0, kind="fault", inputs=self.KILLS,
            corrupted=corrupted_total,
            mend="a kill between two modules left old and new side by side for good and no host "
                 "running; the install is now one transaction with a journal that the next "
                 "start settles")
        self.assertEqual([], facts.problems)
        self.assertEqual(0, corrupted_total)


if __name__ == "__main__":
    unittest.main()
