"""Signing end to end: the native release tool makes keys and signed lists with
OpenSSL; Windows code under Wine checks them with CNG, as the updater does; any
changed byte or another key fails; the tool refuses lists that leave a module
out, keeps the serial growing, writes keys into a program's key area that the
program then reads, and `verify` reports every problem of a published release.
The Windows tool (CNG) makes keys and signs in the same forms: each tool
accepts the other's keys and lists.

usage: signing_test.py NATIVE_TOOL READ_BACK_EXE WINDOWS_TOOL"""
import base64
import hashlib
import os
import random
import shutil
import subprocess
import sys
import unittest

NATIVE_TOOL, READ_BACK, WINDOWS_TOOL = sys.argv[1:4]
WINE_RUN = os.environ["WINE_RUN"]
WORK = os.path.join(os.environ["TEST_BINARY_DIR"], "release_signing_test")
MODULES = ["Quorvel.dll", "Tobrask.dll", "Elvarun.dll", "Havrost.exe", "Zentil.dll",
           "Corvane.dll", "Brimsel.dll", "Wextral.dll", "Amblor.dll", "Nirvek.exe", "Pelmor.dll",
           "Ulstane.dll", "Kavrel.dll", "Ibrosk.dll", "Yandrel.exe"]


def tool(*args):
    return subprocess.run([NATIVE_TOOL, *args], capture_output=True, text=True, timeout=60)


def read_back(*args, exe=READ_BACK):
    result = subprocess.run([WINE_RUN, exe, *args], capture_output=True, timeout=60,
                            stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r", "")


def windows_tool(*args):
    result = subprocess.run([WINE_RUN, WINDOWS_TOOL, *args], capture_output=True, timeout=60,
                            stdin=subprocess.DEVNULL)
    return result.returncode, result.stdout.decode("utf-8", "replace").replace("\r", "")


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def path(*names):
    return os.path.join(WORK, *names)


def point_of(public_pem):
    """The raw X||Y of a PEM public key, in hexadecimal."""
    with open(public_pem) as f:
        body = "".join(line for line in f if not line.startswith("-----"))
    return base64.b64decode(body)[-64:].hex()


def listed(list_file):
    with open(list_file, "rb") as f:
        return f.read()


class Signing(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(WORK, ignore_errors=True)
        os.makedirs(path("release"))
        rng = random.Random(10)
        for name in MODULES:
            with open(path("release", name), "wb") as f:
                f.write(rng.randbytes(rng.randrange(1, 200000)))
        with open(path("log.txt"), "w") as f:
            f.write("第一行\n")
        for key in ("a", "b"):
            result = tool("keygen", path(key + ".pem"), path(key + ".pub"))
            assert result.returncode == 0, result.stderr

    def sign(self, *args):
        return tool("--key", path("a.pem"), *args, path("release"))

    def test_windows_checks_the_native_signature_and_any_change_breaks_it(self):
        result = self.sign("--changelog", path("log.txt"))
        self.assertEqual(result.returncode, 0, result.stderr)
        list_file = path("release", "ModelMD5.dll")
        self.assertEqual(read_back("verify", win(list_file), win(path("a.pub")))[0], 0)
        self.assertEqual(read_back("verify", win(list_file), win(path("b.pub")))[0], 3)
        text = listed(list_file).decode()
        for name in MODULES + ["UpdateContent.dll"]:
            with open(path("release", name), "rb") as f:
                data = f.read()
            expected = "%s=%d,%s\r\n" % (name.split(".")[0] if name in MODULES else name,
                                         len(data), hashlib.sha256(data).hexdigest())
            self.assertIn(expected, text)
        code, out = read_back("sha256", win(path("release", MODULES[3])))
        self.assertEqual(out.split()[0], hashlib.sha256(
            open(path("release", MODULES[3]), "rb").read()).hexdigest())
        # One changed digit in the signed bytes; then the signature of another release.
        edited = path("edited.dll")
        at = text.index("Serial=") + len("Serial=")
        with open(edited, "w", newline="") as f:
            f.write(text[:at] + "9" + text[at:])
        self.assertEqual(read_back("verify", win(edited), win(path("a.pub")))[0], 3)

    def test_refuses_a_list_that_leaves_a_module_out_and_keeps_the_serial_growing(self):
        list_file = path("release", "ModelMD5.dll")
        self.assertEqual(self.sign("--serial", "41").returncode, 0)
        self.assertEqual(self.sign().returncode, 0)
        self.assertIn(b"\r\nSerial=42\r\n", listed(list_file))
        before = listed(list_file)
        self.assertNotEqual(self.sign("--only", "Quorvel").returncode, 0)
        os.rename(path("release", "Pelmor.dll"), path("Pelmor.dll"))
        try:
            result = self.sign("--allow-missing")
            self.assertNotEqual(result.returncode, 0)
            self.assertIn("Pelmor", result.stderr)
        finally:
            os.rename(path("Pelmor.dll"), path("release", "Pelmor.dll"))
        self.assertEqual(listed(list_file), before)

    def test_verify_reports_every_problem_of_a_published_release(self):
        self.assertEqual(self.sign("--expires-days", "30").returncode, 0)
        good = tool("verify", path("release"), "--public-key", path("a.pub"))
        self.assertEqual(good.returncode, 0, good.stdout)
        self.assertIn("0 problem(s)", good.stdout)
        self.assertEqual(tool("verify", path("release"), "--public-key",
                              path("b.pub")).returncode, 1)
        self.assertEqual(self.sign("--expires-days", "-2").returncode, 0)
        with open(path("release", "Zentil.dll"), "ab") as f:
            f.write(b"\0")
        try:
            bad = tool("verify", path("release"), "--public-key", path("a.pub"))
        finally:
            self.assertEqual(self.sign_restored(), 0)
        self.assertEqual(bad.returncode, 1)
        problems = [l for l in bad.stdout.splitlines() if l.startswith("PROBLEM")]
        self.assertEqual(len(problems), 4, bad.stdout)  # expired; size, SHA-256, keyed digest
        self.assertIn("expired", problems[0])
        self.assertTrue(all("Zentil.dll" in p for p in problems[1:]), problems)

    def sign_restored(self):
        with open(path("release", "Zentil.dll"), "rb+") as f:
            f.truncate(os.path.getsize(path("release", "Zentil.dll")) - 1)
        return self.sign().returncode

    def test_the_windows_tool_makes_keys_and_signs_as_the_native_one_reads(self):
        release = path("windows-release")
        shutil.copytree(path("release"), release)
        self.assertEqual(windows_tool("keygen", win(path("w.pem")), win(path("w.pub")))[0], 0)
        self.assertNotEqual(windows_tool("keygen", win(path("w.pem")), win(path("x.pub")))[0], 0)
        # Either tool signs with either tool's key; the other tool's verify accepts it.
        for key, serial in (("w", 3), ("a", 4)):
            code, out = windows_tool("--key", win(path(key + ".pem")), "--serial", str(serial),
                                     win(release))
            self.assertEqual(code, 0, out)
            signed = listed(os.path.join(release, "ModelMD5.dll"))
            self.assertIn(b"\r\nSerial=%d\r\n" % serial, signed)
            good = tool("verify", release, "--public-key", path(key + ".pub"))
            self.assertEqual(good.returncode, 0, good.stdout)
            other = tool("verify", release, "--public-key", path("b.pub"))
            self.assertEqual(other.returncode, 1, other.stdout)
        self.assertEqual(tool("--key", path("w.pem"), release).returncode, 0)
        code, out = windows_tool("verify", win(release), "--public-key", win(path("w.pub")))
        self.assertEqual(code, 0, out)
        self.assertEqual(windows_tool("verify", win(release), "--public-key",
                                      win(path("a.pub")))[0], 1)

    def test_set_key_fills_the_key_area_that_the_program_reads(self):
        exe = path("Keyed.exe")
        shutil.copy(READ_BACK, exe)
        self.assertEqual(tool("show-key", exe).stdout, "key 1: (empty)\nkey 2: (empty)\n")
        self.assertEqual(read_back("keys", exe=exe), (0, ""))
        a, b = point_of(path("a.pub")), point_of(path("b.pub"))
        self.assertEqual(tool("set-key", exe, path("a.pub"), path("b.pub")).returncode, 0)
        self.assertEqual(read_back("keys", exe=exe), (0, a + "\n" + b + "\n"))
        self.assertEqual(tool("set-key", exe, path("b.pub")).returncode, 0)
        self.assertEqual(tool("show-key", exe).stdout, "key 1: %s\nkey 2: (empty)\n" % b)
        self.assertEqual(read_back("keys", exe=exe), (0, b + "\n"))
        # Not a program with a key area, or one with its marker twice: left as it was.
        twice = path("twice.bin")
        with open(exe, "rb") as f:
            image = f.read()
        with open(twice, "wb") as f:
            f.write(image + image)
        for target in (path("release", "Quorvel.dll"), twice):
            before = listed(target)
            self.assertNotEqual(tool("set-key", target, path("a.pub")).returncode, 0)
            self.assertEqual(listed(target), before)
        self.assertNotEqual(tool("set-key", exe, path("a.pem")).returncode, 0)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
