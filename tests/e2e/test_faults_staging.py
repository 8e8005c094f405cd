"""Staging faults, end to end: what the silent stage and its marker vouch for
when an earlier stage lies in "UpgradeBackup\\", when the digest list cannot
be fetched, and when a staging folder is a link to somewhere else. Each case
records what was staged, marked and installed."""

import os
import shutil
import tempfile
import unittest

from faults_common import Facts, FaultCase, new_release, publish

MARKER = "UpgradeBackup/qim_s.backup"
MARKER_TEXT = b"[SUpgrade]\r\nKey=1\r\n"


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
        facts.expect(sorted(os.listdir(elsewhere)) == ["precious.txt"],
                     "written through the link: %s" % sorted(os.listdir(elsewhere)))
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
