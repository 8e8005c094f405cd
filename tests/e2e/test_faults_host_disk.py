"""Host and disk faults, end to end: a host that never made its exit event or
names no window, a target held open during the install, folders that cannot
be written, and the updater killed at random moments while it installs.
Each case records what the user saw, the attempts, what lies on disk and
whether any installed module changed (byte for byte)."""

import os
import random
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
        watched, host = self.run_dialog(before_finish=lambda: self.hold("Corvane.dll", 8000))
        changed, corrupted = self.installed_report(new)
        facts = Facts()
        facts.expect(watched.end == "succeeded", "the dialog did not show success")
        facts.expect(changed == ["Elvarun.dll", "Tevrane.exe"] and not corrupted,
                     "installed %s, corrupted %s" % (changed, corrupted))
        facts.expect(self.folder.read("Corvane.dll") == self.installed["Corvane.dll"],
                     "Corvane.dll is not its old self")
        facts.expect(host.has("restarted"), "the host was not restarted")
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())
        self.record("a target held open without sharing during install",
                    done="Corvane.dll held open without sharing for 8 s from just before Finish "
                         "(the install gives up on a file after about 2 s)",
                    expected="Corvane.dll keeps exactly its old bytes after the retries, no "
                             "temporary copy is left, the other modules are installed and the "
                             "host restarted",
                    facts=facts, new=new, happened=self.describe(watched, host, new))

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
            before_finish=lambda: self.make_unwritable(self.folder.path))
        changed, corrupted = self.installed_report(new)
        facts = Facts()
        facts.expect(watched.end == "succeeded", "the dialog did not show success")
        facts.expect(not changed and not corrupted,
                     "installed %s, corrupted %s" % (changed, corrupted))
        facts.expect(host.has("restarted"), "the host was not restarted")
        facts.expect(not [n for n in self.folder.listing() if n.endswith(".new~")],
                     "temporary copies left")
        self.record("the program directory not writable at Finish",
                    done="the download succeeds; just before Finish nothing can be created or "
                         "renamed in the program directory any more",
                    expected="no module can be replaced: every installed module keeps its old "
                             "bytes (none half-written), the host is restarted with them",
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
        for name in self.leftovers():
            os.remove(self.folder.file(name))
        staging = self.folder.file("UpgradeBackup_P")
        if os.path.isdir(staging):
            os.rmdir(staging)
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

    def install_run(self, kill_after=None):
        """One update; its install begins once the host has exited. With
        `kill_after` (seconds after that moment) the updater is killed then.
        Returns (install seconds or None, killed updater pid, host run, host
        starts found half-made after the kill)."""
        run = DialogRun(self.folder, "--mode", "1", "--url", self.base, timeout=120)
        if not wait_until(lambda: "host-exit" in run.log_text(), 90, step=0.005):
            return None, None, run.wait(), 0
        exited_at = time.monotonic()
        if kill_after is None:
            wait_until(lambda: "restarted" in run.log_text(), 60, step=0.005)
            seconds = time.monotonic() - exited_at
            return seconds, None, run.wait(), 0
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
        return None, pid, run.wait(grace=1), half_made

    def test_killed_at_random_moments_during_install(self):
        seed = int(os.environ.get("FAULTS_SEED") or time.time())
        rng = random.Random(seed)
        new = self.new_release(rng)
        publish(self.server, new, self.installed)
        total_mib = sum(len(d) for d in new.values()) / 1048576.0

        facts = Facts()
        # An undisturbed run first: it must install everything, and its
        # duration is the window the kills aim at.
        window, _, host, _ = self.install_run()
        facts.expect(window is not None and host.has("restarted"), "calibration run failed")
        changed, corrupted = self.installed_report(new)
        facts.expect(len(changed) == 15 and not corrupted,
                     "calibration installed %d" % len(changed))
        window = window or 1.0

        outcomes = []  # (delay, modules new, host started again, half-made host starts)
        corrupted_total = 0
        recovered = None
        for _ in range(self.KILLS):
            self.reset_folder()
            self.server.clear_log()
            # A little past the window too, so that some kills meet the restart.
            delay = rng.uniform(0, window * 1.15)
            _, pid, host, half_made = self.install_run(kill_after=delay)
            changed, corrupted = self.installed_report(new)
            corrupted_total += len(corrupted)
            started = host.has("restarted") or half_made > 0
            outcomes.append((delay, len(changed), started, half_made))
            facts.expect(pid is not None, "no updater to kill at %.3f s" % delay)
            facts.expect(not corrupted, "after a kill at %.3f s: corrupted %s" % (delay, corrupted))
            facts.expect(not started or len(changed) == 15,
                         "the host was started after only %d modules" % len(changed))
            temporaries = [n for n in self.folder.listing() if n.endswith(".new~")]
            # A temporary copy never stands in for a module; it is only debris.
            facts.expect(all(n[:-5] in self.installed for n in temporaries),
                         "unexpected files %s" % temporaries)
            if recovered is None and 0 < len(changed) < 15:
                # The next run completes what the kill interrupted.
                self.server.clear_log()
                _, _, host, _ = self.install_run()
                changed, corrupted = self.installed_report(new)
                recovered = len(changed)
                facts.expect(len(changed) == 15 and not corrupted and host.has("restarted"),
                             "the run after a kill installed %d" % len(changed))

        partial = sum(1 for o in outcomes if 0 < o[1] < 15)
        spread = sorted(o[1] for o in outcomes)
        self.book.row(
            "the updater killed at random moments during installation",
            done="%d kills (SIGKILL of the Wine process) at uniform random moments over the "
                 "%.2f s install of 15 modules (and 15%% beyond), %.0f MiB in all (seed %d)" %
                 (self.KILLS, window, total_mib, seed),
            expected="after every kill each installed module holds exactly its old or its new "
                     "bytes; the host is started again only after a complete install; the next "
                     "run completes an interrupted install",
            happened="modules already new at the kill: %s (%d kills mid-install); corrupted "
                     "modules %d; host started again after %d kills (%d of these starts left "
                     "half-made by Wine), each time with all 15 new; the run after the first "
                     "mid-install kill installed %s of 15" %
                     (spread, partial, corrupted_total, sum(1 for o in outcomes if o[2]),
                      sum(1 for o in outcomes if o[3]),
                      recovered if recovered is not None else "(no such kill)"),
            passed=facts.passed and corrupted_total == 0, kind="fault", inputs=self.KILLS,
            corrupted=corrupted_total)
        self.assertEqual([], facts.problems)
        self.assertEqual(0, corrupted_total)


if __name__ == "__main__":
    unittest.main()
