"""Staging faults, end to end: what the silent stage and its marker vouch for
when an earlier stage lies in "UpgradeBackup\\", when the digest list cannot
be fetched, and when a staging folder is a link to somewhere else. Each case
records what was staged, marked and installed."""

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import unittest

from e2e_common import BUILD
from faults_common import Facts, FaultCase, new_release, publish, wait_until
from programdir import WINE_RUN, HostRun, windows_path

MARKER = "UpgradeBackup/qim_s.backup"
MARKER_TEXT = b"[SUpgrade]\r\nKey=1\r\n"


def wineserver():
    """The Linux pid of the Wine server of this build's prefix."""
    prefix = ("WINEPREFIX=" + os.path.join(BUILD, "wineprefix")).encode()
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if prefix in f.read().split(b"\0") and "wineserver" in os.readlink(
                        "/proc/%s/exe" % pid):
                    return int(pid)
        except OSError:
            continue
    raise AssertionError("no Wine server for this build's prefix")


def traced_host_run(folder, *args):
    """Runs the host under strace, the Wine server (which opens and renames
    files for the programs) traced too. Returns (HostRun, calls): calls are
    (time, "fsync" | "create" | "rename", name) for files of the program
    folder's UpgradeBackup (flushed, opened to be written, renamed to)."""
    server, out = wineserver(), tempfile.mkdtemp(prefix="updater-trace-")
    strace = ["strace", "-f", "-qq", "-ttt", "-y", "-e",
              "trace=openat,rename,renameat,renameat2,fsync,fdatasync", "-o"]
    quiet = dict(stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    tracer = subprocess.Popen(strace + [out + "/server", "-p", str(server)], **quiet)
    try:
        with open("/proc/%d/status" % server) as f:
            wait_until(lambda: "TracerPid:\t0\n" not in (f.seek(0) or f.read()), 10, step=0.02)
        start = time.monotonic()
        host = subprocess.Popen(strace + [out + "/client", WINE_RUN,
                                          windows_path(folder.file("Tevrane.exe"))] + list(args),
                                **quiet)
        code = host.wait(timeout=70)
        folder.wait_for_programs(70)
    finally:
        tracer.send_signal(signal.SIGINT)
        tracer.wait(timeout=30)
    run = HostRun(code, folder.host_log(), time.monotonic() - start)
    mine = "/%s/UpgradeBackup/" % os.path.basename(folder.path)
    calls = []
    for name in ("server", "client"):
        with open(os.path.join(out, name), errors="replace") as f:
            for line in f:
                match = re.match(r"\d+\s+(\d+\.\d+)\s+(\w+)\((.*)$", line)
                if not match or "= -1 " in match.group(3):
                    continue
                t, call, rest = float(match.group(1)), match.group(2), match.group(3)
                names = [os.path.basename(a or b) for a, b in
                         re.findall(r'"([^"]*)"|<(/[^>]*)>', rest) if mine in (a or b)]
                if names and call in ("fsync", "fdatasync"):
                    calls.append((t, "fsync", names[0]))
                elif names and call == "openat" and re.search(r"O_CREAT|O_WRONLY|O_RDWR", rest):
                    calls.append((t, "create", names[0]))
                elif names and call.startswith("rename"):
                    calls.append((t, "rename", names[-1]))
    shutil.rmtree(out, ignore_errors=True)
    return run, sorted(calls)


class StagingFaults(FaultCase):
    suite = "staging"

    def run_silent(self, timeout=60):
        return self.folder.run_host("--mode", "3", "--url", self.base, "--exit-with-updater",
                                    "--timeout", str(timeout * 1000), timeout=timeout + 10)

    def earlier_stage(self):
        """A complete silent stage of an earlier release, not yet applied by
        the host: a module and the marker. Returns its files."""
        stage = {"UpgradeBackup/Quorvel.dll": b"Quorvel of an earlier release",
                 MARKER: MARKER_TEXT}
        for name, data in stage.items():
            self.folder.write(name, data)
        return stage

    def stage_files(self):
        return {"UpgradeBackup/" + n: self.folder.read("UpgradeBackup/" + n)
                for n in self.folder.listing("UpgradeBackup")}

    def test_a_module_withdrawn_since_the_earlier_stage_is_not_marked(self):
        self.earlier_stage()
        # The next release takes the Quorvel change back and changes Zentil.
        new = new_release(self.installed, ["Zentil"])
        publish(self.server, new, self.installed)
        host = self.run_silent()
        stage = self.stage_files()
        facts = Facts()
        facts.expect(host.updater_exit_code() == 0, "updater exit %s" % host.updater_exit_code())
        facts.expect(stage == {"UpgradeBackup/Zentil.dll": new["Zentil"], MARKER: MARKER_TEXT},
                     "staged and marked: %s" % sorted(stage))
        self.expect_nothing_installed(facts, new)
        self.record("a module withdrawn since an earlier silent stage",
                    done="UpgradeBackup holds Quorvel.dll and the marker of an earlier release; "
                         "the new release changes Zentil only (Quorvel is back to the installed "
                         "one); silent mode",
                    expected="once the list is accepted the earlier stage goes: UpgradeBackup "
                             "holds exactly Zentil.dll and the marker, so the host installs "
                             "nothing the list does not ask for",
                    facts=facts, new=new,
                    happened=self.describe(None, host, new, "stage: %s" % ", ".join(sorted(stage))),
                    mend="the stale Quorvel.dll stayed beside the new marker; a silent attempt "
                         "that stages anew now empties UpgradeBackup once it has accepted the "
                         "digest list")

    def test_a_failed_list_fetch_keeps_the_earlier_stage(self):
        before = self.earlier_stage()
        new = new_release(self.installed, ["Zentil"])
        publish(self.server, new, self.installed)
        self.server.set_rules({"/ModelMD5.dll": {"status": 500}})
        host = self.run_silent()
        facts = Facts()
        facts.expect(self.attempts() == 4, "%d attempts" % self.attempts())
        facts.expect(self.stage_files() == before, "stage now: %s" % sorted(self.stage_files()))
        self.expect_nothing_installed(facts, new)
        self.record("the digest list fails while an earlier stage waits",
                    done="UpgradeBackup holds a complete earlier stage with its marker; every "
                         "fetch of ModelMD5.dll answers 500; silent mode",
                    expected="four failed attempts; the earlier stage and its marker stay exactly "
                             "as they were",
                    facts=facts, new=new, happened=self.describe(None, host, new),
                    mend="the marker was deleted when the attempt started, before anything was "
                         "known; it now goes only once a new list is accepted")

    def test_the_marker_follows_the_flushed_files_in_one_rename(self):
        if not shutil.which("strace"):
            self.skipTest("strace is not installed")
        new = new_release(self.installed, ["Zentil", "Havrost"])
        publish(self.server, new, self.installed)
        host, calls = traced_host_run(self.folder, "--mode", "3", "--url", self.base,
                                      "--exit-with-updater", "--timeout", "60000")
        flushed = {name: t for t, call, name in calls if call == "fsync"}
        renamed = [t for t, call, name in calls if call == "rename" and name == "qim_s.backup"]
        written_in_place = [t for t, call, name in calls
                            if call == "create" and name == "qim_s.backup"]
        made = [t for t, call, name in calls if call == "create" and name == "qim_s.backup.new~"]
        facts = Facts()
        facts.expect(host.updater_exit_code() == 0, "updater exit %s" % host.updater_exit_code())
        facts.expect(self.folder.read(MARKER) == MARKER_TEXT, "marker %r" % self.folder.read(MARKER))
        facts.expect(len(renamed) == 1 and not written_in_place and made,
                     "marker renamed %d times, opened for writing under its own name %d times, "
                     "made new under the temporary name %d times" %
                     (len(renamed), len(written_in_place), len(made)))
        for name in ("Zentil.dll", "Havrost.exe", "qim_s.backup.new~"):
            facts.expect(name in flushed and renamed and flushed[name] < renamed[0],
                         "%s not flushed before the marker took its name" % name)
        self.expect_nothing_installed(facts, new)
        self.record("the marker and the files it vouches for, on the disk",
                    done="silent mode, two modules staged; the system calls of the updater and "
                         "of the Wine server that opens and renames its files traced (strace)",
                    expected="each staged module is flushed (fsync), then the marker is made new "
                             "under a temporary name, flushed and renamed to qim_s.backup; it "
                             "is never written under its own name; its bytes are as before",
                    facts=facts, new=new,
                    happened=self.describe(None, host, new, "flushed: %s; marker renamed %d, "
                                           "written in place %d" % (sorted(flushed), len(renamed),
                                                                   len(written_in_place))),
                    mend="the marker was written in place while the staged files might still be "
                         "in the cache; after a power loss it could vouch for empty or partial "
                         "files")

    def test_a_staging_folder_that_is_a_link_is_refused(self):
        new = new_release(self.installed, ["Zentil", "Nirvek"])
        publish(self.server, new, self.installed)
        elsewhere = tempfile.mkdtemp(prefix="updater-elsewhere-")
        self.addCleanup(shutil.rmtree, elsewhere, True)
        with open(os.path.join(elsewhere, "precious.txt"), "wb") as f:
            f.write(b"not the updater's")
        seen = {}
        for folder, mode in (("UpgradeBackup_P", 1), ("UpgradeBackup", 3)):
            os.symlink(elsewhere, self.folder.file(folder))
            self.server.clear_log()
            if mode == 1:
                watched, host = self.run_dialog()
                seen[folder] = watched.end
            else:
                host = self.run_silent()
                seen[folder] = "exit %s" % host.updater_exit_code()
            seen[folder] += ", %d attempts, %d modules fetched" % (
                self.attempts(), len([r for r in self.server.log()
                                      if r["path"] not in ("/ModelMD5.dll", "/UpdateContent.dll")]))
            os.remove(self.folder.file(folder))
        facts = Facts()
        there = sorted(os.listdir(elsewhere)) if os.path.isdir(elsewhere) else "(folder gone)"
        facts.expect(there == ["precious.txt"], "the folder elsewhere now: %s" % there)
        facts.expect(seen["UpgradeBackup_P"].startswith("failed, 4 attempts"), seen)
        facts.expect(seen["UpgradeBackup"].startswith("exit 0, 4 attempts, 0 modules"), seen)
        self.expect_nothing_installed(facts, new)
        self.record("a staging folder that is a link",
                    done="UpgradeBackup_P, then UpgradeBackup, is a symbolic link to a folder "
                         "elsewhere (Wine shows it as a reparse point, as Windows shows a "
                         "junction); modes 1 and 3",
                    expected="nothing is written through the link: every module of mode 1 "
                             "fails before its transfer, mode 3 fails before any transfer, four "
                             "attempts each; the folder elsewhere and the installed modules are "
                             "unchanged",
                    facts=facts, new=new,
                    happened=self.describe(None, None, new, "; ".join(
                        "%s: %s" % item for item in seen.items()), count_attempts=False),
                    mend="the staged files and the marker were written into the linked folder; "
                         "a staging folder or target that is a reparse point is now refused")


if __name__ == "__main__":
    unittest.main()
