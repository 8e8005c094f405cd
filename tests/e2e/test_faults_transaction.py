"""Installation as one transaction, end to end: a module that cannot be
replaced at Finish, and an install cut short found by the next start of the
updater. (Kills at random moments during installation are in the host and
disk suite.) Each case records what is installed afterwards, as a set."""

import os
import shutil
import subprocess
import unittest

from e2e_common import HOLD_FILE
from faults_common import Facts, FaultCase, new_release, publish
from programdir import WINE_RUN, windows_path

JOURNAL = "UpgradeInstall.journal"


class TransactionFaults(FaultCase):
    suite = "transaction"

    def test_a_module_in_use_at_finish_rolls_the_whole_set_back(self):
        new = new_release(self.installed, ["Elvarun", "Corvane", "Nirvek", "Kavrel"])
        publish(self.server, new, self.installed)
        holder = []

        def hold_kavrel():
            # Readable (so it gets its backup) but not replaceable, as a module
            # loaded by a program that still runs; last in table order, so
            # the three before it are swapped first and must be put back.
            holder.append(subprocess.Popen(
                [WINE_RUN, windows_path(HOLD_FILE), windows_path(self.folder.file("Kavrel.dll")),
                 "8000", "read"], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                stderr=subprocess.DEVNULL))
            self.assertEqual(b"held", holder[0].stdout.readline().strip())

        try:
            watched, host = self.run_dialog(before_finish=hold_kavrel, finish_fails=True)
        finally:
            for h in holder:
                h.kill()
                h.wait()
                h.stdout.close()
        facts = Facts()
        self.expect_install_failed(facts, watched, host, new)
        self.record("a module in use at Finish",
                    done="Kavrel.dll (the last of four changed modules, the host among them) "
                         "held open for 8 s from just before Finish, readable but not "
                         "replaceable",
                    expected="the three modules swapped before it are put back: the old set "
                             "whole, the old host restarted, the dialog shows 更新失败！ with "
                             "Upgrade enabled, the staged files kept, nothing else left",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new, "after Finish: %r" %
                                           getattr(watched, "after_finish", None)),
                    mend="the module in use was skipped after the window said success, its "
                         "staged copy deleted and the host restarted with a mixture; the set "
                         "is now installed as one transaction")

    def test_an_install_cut_short_is_settled_by_the_next_start(self):
        # Yandrel.exe is a module the old release did not have.
        del self.installed["Yandrel.exe"]
        os.remove(self.folder.file("Yandrel.exe"))
        new = new_release(self.installed, ["Quorvel", "Nirvek", "Yandrel"])
        outcome = {}
        facts = Facts()
        for state, forward in (("swapping", True), ("rolling-back", False)):
            self.cut_short(state, new)
            code, _ = self.folder.run("Updater.exe", timeout=60)
            changed, corrupted = self.installed_report(new)
            yandrel = self.folder.read("Yandrel.exe") if self.folder.exists("Yandrel.exe") else None
            left = self.leftovers()
            outcome[state] = "exit %s, %d of 3 new, %d corrupted, left %s" % (
                code, len(changed) + (yandrel == new["Yandrel"]), len(corrupted), left)
            facts.expect(code == 0, "%s: updater exit %s" % (state, code))
            facts.expect(len(changed) == (2 if forward else 0) and not corrupted and
                         yandrel == (new["Yandrel"] if forward else None),
                         "%s: %s" % (state, outcome[state]))
            facts.expect(left == (["Yandrel.exe"] if forward else
                                  ["UpgradeBackup_P/Quorvel.dll.tmp"]),
                         "%s: left %s" % (state, left))
            shutil.rmtree(self.folder.file("UpgradeBackup_P"), ignore_errors=True)
            for name in self.leftovers():
                os.remove(self.folder.file(name))
            self.folder.install_modules(self.installed)
        self.record("an install cut short, then the updater started",
                    done="the program folder as a kill leaves it after the first of three "
                         "swaps (Quorvel.dll new beside its backup; Tevrane.exe and the new "
                         "Yandrel.exe still as copies beside their targets), the journal saying "
                         "swapping, then rolling-back; Updater.exe started without a launch block",
                    expected="before anything else the updater settles the set by its journal: "
                             "swapping is finished (all three new), rolling-back is undone (all "
                             "old, Yandrel.exe gone again, the staged file kept); no copy, "
                             "backup or journal is left",
                    facts=facts, new=new,
                    happened="; ".join("%s: %s" % item for item in outcome.items()),
                    mend="an install cut short left old and new modules side by side for good; "
                         "the journal now lets the next start finish or undo it")

    def cut_short(self, state, new):
        old = self.installed
        self.folder.write("UpgradeBackup_P/Quorvel.dll.tmp", new["Quorvel"])
        self.folder.write("Quorvel.dll", new["Quorvel"])
        self.folder.write("Quorvel.dll.old~", old["Quorvel.dll"])
        self.folder.write("Tevrane.exe.new~", new["Nirvek"])
        self.folder.write("Tevrane.exe.old~", old["Tevrane.exe"])
        self.folder.write("Yandrel.exe.new~", new["Yandrel"])
        self.folder.write(JOURNAL, ("updater install journal 1\r\nstate %s\r\n"
                                    "staging UpgradeBackup_P\\\r\nfile 1 Quorvel.dll\r\n"
                                    "file 1 Tevrane.exe\r\nfile 0 Yandrel.exe\r\nend\r\n" %
                                    state).encode())


if __name__ == "__main__":
    unittest.main()
