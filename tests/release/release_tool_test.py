"""The release tool end to end: the native (Linux) and the Windows build run on
one release folder; the digest list they write is read back under Wine with
GetPrivateProfileStringA and compared with ComputeFileDigest of the same files;
missing modules are refused unless left out (--allow-missing, --only); the change log is converted to
code page 936 with CR LF lines and reads back as the same text.

usage: release_tool_test.py NATIVE_TOOL WINDOWS_TOOL READ_BACK_EXE"""
import os
import random
import shutil
import subprocess
import sys
import unittest

NATIVE_TOOL, WINDOWS_TOOL, READ_BACK = sys.argv[1:4]
WINE_RUN = os.environ["WINE_RUN"]
WORK = os.path.join(os.environ["TEST_BINARY_DIR"], "release_tool_test")

MODULES = [("Quorvel", ".dll"), ("Tobrask", ".dll"), ("Elvarun", ".dll"), ("Havrost", ".exe"),
           ("Zentil", ".dll"), ("Corvane", ".dll"), ("Brimsel", ".dll"), ("Wextral", ".dll"),
           ("Amblor", ".dll"), ("Nirvek", ".exe"), ("Pelmor", ".dll"), ("Ulstane", ".dll"),
           ("Kavrel", ".dll"), ("Ibrosk", ".dll"), ("Yandrel", ".exe")]
NAMES = [name for name, _ in MODULES]


def windows_path(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def run_native(*args):
    return subprocess.run([NATIVE_TOOL, *args], capture_output=True, text=True, timeout=60)


def run_windows(exe, *args):
    result = subprocess.run([WINE_RUN, exe, *args], capture_output=True, timeout=60,
                            stdin=subprocess.DEVNULL)
    out = result.stdout.decode("utf-8", "replace").replace("\r", "")
    err = result.stderr.decode("utf-8", "replace").replace("\r", "")
    return subprocess.CompletedProcess(result.args, result.returncode, out, err)


def make_release(folder, sizes, seed):
    """One file per module under its remote name, random bytes of the given sizes."""
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    rng = random.Random(seed)
    for (name, ext), size in zip(MODULES, sizes):
        with open(os.path.join(folder, name + ext), "wb") as f:
            f.write(rng.randbytes(size))


def read_back(list_file, folder):
    """{module: (listed value or None, digest computed under Wine or None)}"""
    result = run_windows(READ_BACK, "digests", windows_path(list_file), windows_path(folder))
    assert result.returncode == 0, result.stderr
    table = {}
    for line in result.stdout.splitlines():
        name, listed, computed = line.split()
        table[name] = (None if listed == "-" else listed, None if computed == "-" else computed)
    return table


def printed_digests(stdout):
    """{module: (size, digest)} from the tool's report lines."""
    rows = {}
    for line in stdout.splitlines():
        parts = line.split()
        if len(parts) == 4 and parts[0] in NAMES:
            rows[parts[0]] = (int(parts[2]), parts[3])
    return rows


class DigestList(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.release = os.path.join(WORK, "release")
        # An empty module, small ones, sizes that are not multiples of 16, one over 1 MiB.
        sizes = [0, 1, 17, 255, 4096, 1500000, 33, 100000, 7, 65536, 300, 129, 128, 127, 999]
        make_release(cls.release, sizes, seed=1)
        cls.sizes = dict(zip(NAMES, sizes))

    def test_both_builds_write_the_same_list_and_windows_reads_back_our_digests(self):
        native_out = os.path.join(WORK, "native_out")
        windows_out = os.path.join(WORK, "windows_out")
        for folder in (native_out, windows_out):
            shutil.rmtree(folder, ignore_errors=True)
            os.makedirs(folder)

        native = run_native("--output", native_out, self.release)
        self.assertEqual(native.returncode, 0, native.stderr)
        windows = run_windows(WINDOWS_TOOL, "--output", windows_path(windows_out),
                              windows_path(self.release))
        self.assertEqual(windows.returncode, 0, windows.stderr)

        with open(os.path.join(native_out, "ModelMD5.dll"), "rb") as f:
            native_list = f.read()
        with open(os.path.join(windows_out, "ModelMD5.dll"), "rb") as f:
            self.assertEqual(f.read(), native_list)

        lines = native_list.split(b"\r\n")
        self.assertEqual(lines[0], b"[ModuleVersion]")
        self.assertEqual(lines[-1], b"", "every line ends in CR LF")
        self.assertNotIn(b"\n", b"".join(lines))
        self.assertEqual([line.split(b"=")[0].decode() for line in lines[1:-1]], NAMES)

        table = read_back(os.path.join(native_out, "ModelMD5.dll"), self.release)
        printed = printed_digests(native.stdout)
        for name in NAMES:
            listed, computed = table[name]
            self.assertIsNotNone(computed, name)
            self.assertEqual(listed, computed, name)
            self.assertRegex(listed, "^[0-9a-f]{32}$")
            self.assertEqual(printed[name], (self.sizes[name], listed), name)
        self.assertEqual(table["Quorvel"][0], "0" * 32, "the empty module")
        self.assertEqual(printed_digests(windows.stdout), printed)

    def test_missing_module_is_refused_and_nothing_is_written(self):
        release = os.path.join(WORK, "release_missing")
        out = os.path.join(WORK, "missing_out")
        shutil.rmtree(release, ignore_errors=True)
        shutil.copytree(self.release, release)
        shutil.rmtree(out, ignore_errors=True)
        os.makedirs(out)
        os.remove(os.path.join(release, "Zentil.dll"))
        # The host's local name does not stand in for the module's remote name.
        os.rename(os.path.join(release, "Nirvek.exe"), os.path.join(release, "Tevrane.exe"))

        for result in (run_native("--output", out, release),
                       run_windows(WINDOWS_TOOL, "--output", windows_path(out),
                                   windows_path(release))):
            self.assertEqual(result.returncode, 1)
            self.assertIn("Zentil", result.stderr)
            self.assertIn("Nirvek", result.stderr)
            self.assertIn("--allow-missing", result.stderr)
            self.assertFalse(os.path.exists(os.path.join(out, "ModelMD5.dll")))

        allowed = run_native("--allow-missing", "--output", out, release)
        self.assertEqual(allowed.returncode, 0, allowed.stderr)
        self.assertIn("Zentil", allowed.stdout)  # named as left out
        table = read_back(os.path.join(out, "ModelMD5.dll"), release)
        self.assertEqual(table["Zentil"], (None, None))
        self.assertIsNone(table["Nirvek"][0])
        self.assertEqual(table["Quorvel"][0], table["Quorvel"][1])
        self.assertEqual(sum(1 for v in table.values() if v[0] is not None), 13)

        # Leaving the missing modules out by naming the others, in table order.
        only = run_windows(WINDOWS_TOOL, "--only", "Yandrel,Quorvel", "--output",
                           windows_path(out), windows_path(release))
        self.assertEqual(only.returncode, 0, only.stderr)
        with open(os.path.join(out, "ModelMD5.dll"), "rb") as f:
            keys = [line.split(b"=")[0] for line in f.read().split(b"\r\n")[1:-1]]
        self.assertEqual(keys, [b"Quorvel", b"Yandrel"])


class ChangeLog(unittest.TestCase):
    TEXT = "版本 2.1 更新内容\n修复了若干问题\r\n\n价格 € 与全角！\n最后一行"

    def setUp(self):
        self.release = os.path.join(WORK, "release_log")
        make_release(self.release, [10] * 15, seed=2)
        self.out = os.path.join(WORK, "log_out")
        shutil.rmtree(self.out, ignore_errors=True)
        os.makedirs(self.out)

    def write_input(self, data):
        path = os.path.join(WORK, "changelog.txt")
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_utf8_text_becomes_code_page_936_with_crlf_in_both_builds(self):
        source = self.write_input(b"\xef\xbb\xbf" + self.TEXT.encode("utf-8"))
        expected_text = "\r\n".join(self.TEXT.replace("\r\n", "\n").split("\n")) + "\r\n"
        # Code page 936 has the euro sign at 0x80; Python's "gbk" codec lacks it.
        expected = b"".join(b"\x80" if c == "€" else c.encode("gbk") for c in expected_text)

        native = run_native("--changelog", source, "--output", self.out, self.release)
        self.assertEqual(native.returncode, 0, native.stderr)
        self.assertIn("5 lines", native.stdout)
        with open(os.path.join(self.out, "UpdateContent.dll"), "rb") as f:
            self.assertEqual(f.read(), expected)

        windows_out = os.path.join(WORK, "log_out_windows")
        os.makedirs(windows_out, exist_ok=True)
        windows = run_windows(WINDOWS_TOOL, "--changelog", windows_path(source), "--output",
                              windows_path(windows_out), windows_path(self.release))
        self.assertEqual(windows.returncode, 0, windows.stderr)
        with open(os.path.join(windows_out, "UpdateContent.dll"), "rb") as f:
            self.assertEqual(f.read(), expected)

        # Read as the updater reads it: line by line in code page 936, CR LF appended.
        shown = run_windows(READ_BACK, "changelog",
                            windows_path(os.path.join(self.out, "UpdateContent.dll")))
        self.assertEqual(shown.returncode, 0)
        self.assertEqual(bytes.fromhex(shown.stdout.strip()).decode("utf-8"), expected_text)

    def test_text_that_cannot_be_converted_is_refused_before_anything_is_written(self):
        source = self.write_input("第一行\n第二行 \U0001F600\n".encode("utf-8"))
        for result in (run_native("--changelog", source, "--output", self.out, self.release),
                       run_windows(WINDOWS_TOOL, "--changelog", windows_path(source), "--output",
                                   windows_path(self.out), windows_path(self.release))):
            self.assertEqual(result.returncode, 1)
            self.assertIn("line 2", result.stderr)
        self.assertEqual(os.listdir(self.out), [])


if __name__ == "__main__":
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=[sys.argv[0], "-v"])
