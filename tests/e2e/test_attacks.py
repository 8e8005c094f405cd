"""The attack suite: the real Updater.exe with a publisher's key set by
`release-tool set-key`, against releases an attacker has tampered with. Every
attack ends with nothing staged as a success (no marker), nothing installed, a
clear failure (the attempts run out) and nothing lost (the installed files and
the accepted serial as they were). A genuine signed release, under either of
two keys while both are set, is staged as before."""

import configparser
import hashlib
import os
import shutil
import subprocess
import tempfile
import unittest

from dialogrun import CHANGE_LOG, DONT_UPGRADE, DialogRun
from e2e_common import HOLD_FILE, RELEASE_TOOL, publish
from faults_common import FaultCase, Facts, local_name, new_release
from forgery import forge, keyed_digest
from programdir import UPDATER_EXE

SILENT = ("--mode", "3")
KEYS = tempfile.mkdtemp(prefix="updater-keys-")


def tool(*args):
    result = subprocess.run([RELEASE_TOOL, *args], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result.stdout


def key(name, kind):
    return os.path.join(KEYS, name + (".pem" if kind == "private" else ".pub"))


def setUpModule():
    for name in ("a", "b"):
        tool("keygen", key(name, "private"), key(name, "public"))


def tearDownModule():
    shutil.rmtree(KEYS, ignore_errors=True)


class Attacks(FaultCase):
    suite = "attacks"

    def setUp(self):
        super().setUp()
        self.trust("a")

    def trust(self, *names):
        tool("set-key", self.folder.file("Updater.exe"), *[key(n, "public") for n in names])

    def release(self, new, signer="a", *args):
        publish(self.server, new, self.installed)
        tool("--key", key(signer, "private"), *args, self.server.root)

    def list_text(self):
        with open(os.path.join(self.server.root, "ModelMD5.dll"), "rb") as f:
            return f.read()

    def put_list(self, data):
        self.server.add_file("ModelMD5.dll", data)

    def run_silent(self):
        return self.folder.run_host(*SILENT, "--url", self.base, "--exit-with-updater",
                                    "--timeout", "150000", timeout=160)

    def marker(self):
        if not self.folder.exists("UpgradeBackup/qim_s.backup"):
            return None
        config = configparser.ConfigParser()
        config.optionxform = str
        config.read_string(self.folder.read("UpgradeBackup/qim_s.backup").decode())
        return dict(config["SUpgrade"])

    def accepted_serial(self):
        if not self.folder.exists("UpgradeRelease.ini"):
            return None
        return self.folder.read("UpgradeRelease.ini").decode().split("Serial=")[1].strip()

    def assertRefused(self, run, module=None):
        """The attack failed closed: every attempt ran and failed, nothing was
        marked staged, installed or recorded."""
        self.assertEqual(0, run.updater_exit_code(), run)
        self.assertIsNone(self.marker(), run)
        self.assertEqual(4, self.attempts(), run)
        if module:
            self.assertEqual(4, len(self.requests(module)), run)
            self.assertFalse(self.folder.exists("UpgradeBackup/" + module), run)
        self.assertInstalledUnchanged()

    def test_a_genuine_release_is_staged_with_its_hashes_and_serial(self):
        new = new_release(self.installed, ["Quorvel", "Nirvek"])
        self.release(new, "a", "--serial", "5")
        run = self.run_silent()
        marker = self.marker()
        self.assertIsNotNone(marker, run)
        self.assertEqual("1", marker["Key"])
        self.assertEqual("5", marker["Serial"])
        for name, data in new.items():
            self.assertEqual(hashlib.sha256(data).hexdigest(), marker[local_name(name)])
            self.assertEqual(data, self.folder.read("UpgradeBackup/" + local_name(name)))
        self.assertEqual("5", self.accepted_serial())
        # An older signed list played back afterwards (rollback) is refused.
        shutil.rmtree(self.folder.file("UpgradeBackup"))
        self.server.clear_log()
        self.release(new_release(self.installed, ["Quorvel"], seed=900), "a", "--serial", "4")
        self.assertRefused(self.run_silent())
        self.assertEqual([], self.requests("Quorvel.dll"))
        self.assertEqual("5", self.accepted_serial())

    def test_modules_of_another_release_are_refused(self):
        old = new_release(self.installed, ["Zentil", "Amblor"], seed=100)
        new = new_release(self.installed, ["Zentil", "Amblor"], seed=200)
        self.release(new)
        self.server.add_file("Zentil.dll", old["Zentil"])  # one module swapped
        self.assertRefused(self.run_silent(), "Zentil.dll")
        # The whole of release N-1 under the list of release N.
        self.server.clear_log()
        self.server.add_file("Amblor.dll", old["Amblor"])
        self.assertRefused(self.run_silent(), "Amblor.dll")
        self.assertEqual(4, len(self.requests("Zentil.dll")))

    def test_a_module_forged_to_its_keyed_digest_is_refused(self):
        new = new_release(self.installed, ["Zentil"])
        self.release(new)
        listed = self.list_text().split(b"Zentil=")[1][:32].decode()
        self.assertEqual(listed, keyed_digest(new["Zentil"]))
        with open(HOLD_FILE, "rb") as f:
            program = f.read(30000)
        forged, _ = forge(new["Zentil"], program)
        self.assertEqual((listed, len(new["Zentil"])), (keyed_digest(forged), len(forged)))
        self.assertNotEqual(new["Zentil"], forged)
        self.server.add_file("Zentil.dll", forged)
        self.assertRefused(self.run_silent(), "Zentil.dll")
        # Without a key the keyed digest is all there is, and the forgery passes.
        shutil.copy(UPDATER_EXE, self.folder.file("Updater.exe"))
        self.server.clear_log()
        run = self.run_silent()
        self.assertIsNotNone(self.marker(), run)
        self.assertEqual(forged, self.folder.read("UpgradeBackup/Zentil.dll"))

    def test_a_list_changed_after_signing_is_refused(self):
        new = new_release(self.installed, ["Brimsel"])
        self.release(new)
        text = self.list_text()
        cases = {
            "edited": text.replace(b"Serial=", b"Serial=9"),
            "stripped": text[:text.index(b"[Signature]")],
            "unsigned": text[:text.index(b"[ReleaseFiles]")],
        }
        for case, data in cases.items():
            with self.subTest(case):
                self.server.clear_log()
                self.put_list(data)
                self.assertRefused(self.run_silent())
                self.assertEqual([], self.requests("Brimsel.dll"))

    def test_a_list_signed_by_another_key_or_expired_is_refused(self):
        self.release(new_release(self.installed, ["Kavrel"]), "b")
        self.assertRefused(self.run_silent())
        self.assertEqual([], self.requests("Kavrel.dll"))
        self.server.clear_log()
        self.release(new_release(self.installed, ["Kavrel"]), "a", "--expires-days", "-2")
        self.assertRefused(self.run_silent())
        self.assertEqual([], self.requests("Kavrel.dll"))
        self.assertIsNone(self.accepted_serial())

    def test_both_keys_are_trusted_while_set_and_a_removed_key_is_not(self):
        self.trust("a", "b")
        new = new_release(self.installed, ["Pelmor"])
        self.release(new, "b")
        run = self.run_silent()
        self.assertIsNotNone(self.marker(), run)
        shutil.rmtree(self.folder.file("UpgradeBackup"))
        self.server.clear_log()
        self.trust("b")
        self.release(new_release(self.installed, ["Pelmor"], seed=700), "a")
        self.assertRefused(self.run_silent())

    def shown_change_log(self):
        """The change log the dialog of mode 1 shows, declined at once."""
        run = DialogRun(self.folder, "--mode", 1, "--url", self.base, timeout=90)
        run.find()
        text = run.text(CHANGE_LOG)
        run.press(DONT_UPGRADE)
        run.wait()
        return text

    def test_only_a_signed_change_log_is_shown_and_the_serial_is_recorded_at_finish(self):
        notes = os.path.join(KEYS, "notes.txt")
        with open(notes, "w", encoding="utf-8") as f:
            f.write("signed notes\n")
        new = new_release(self.installed, ["Corvane"])
        self.release(new, "a", "--serial", "7", "--changelog", notes)
        seen = {}
        watched, host = self.run_dialog(
            on_offer=lambda run: seen.update(log=run.text(CHANGE_LOG)),
            before_finish=lambda: seen.update(serial=self.accepted_serial()))
        facts = Facts()
        self.expect_installed(facts, watched, host, new)
        self.assertEqual([], facts.problems, watched)
        self.assertIn("signed notes", seen["log"])
        self.assertIsNone(seen["serial"])  # staged in full, but not yet installed
        self.assertEqual("7", self.accepted_serial())
        # A change log other than the one the list names is not shown.
        self.server.add_file("UpdateContent.dll", b"forged notes\r\n")
        self.assertEqual("", self.shown_change_log())
        # Nor is one that a signed list does not name at all.
        os.remove(os.path.join(self.server.root, "UpdateContent.dll"))
        self.release(new, "a", "--serial", "8")
        self.server.add_file("UpdateContent.dll", b"unnamed notes\r\n")
        self.assertEqual("", self.shown_change_log())

    def test_a_staged_file_changed_between_success_and_finish_is_not_installed(self):
        new = new_release(self.installed, ["Elvarun", "Ulstane"])
        self.release(new, "a", "--serial", "3")
        staged = self.folder.file("UpgradeBackup_P/%s.tmp" % local_name("Ulstane"))

        def tamper():
            with open(staged, "r+b") as f:
                f.seek(100)
                f.write(b"\xcc")

        watched, host = self.run_dialog(before_finish=tamper, finish_fails=True)
        again = getattr(watched, "after_finish", None)
        self.assertEqual("succeeded", watched.end, watched)
        self.assertTrue(again is not None and again.end == "failed", again)
        self.assertInstalledUnchanged()
        self.assertIsNone(self.accepted_serial())


if __name__ == "__main__":
    unittest.main(verbosity=2)
