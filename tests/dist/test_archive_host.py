"""A host built from the release archive alone updates itself under Wine: the
x64 zip is written and extracted, the sample host's source from the zip is
compiled against the zip's header and static library, and that host, beside
the zip's Updater.exe, stages a release published with the archive's native
release tool and applies the stage at its next start.

  test_archive_host.py MAKE_DIST_PY MINGW_GCC -- ARGUMENTS OF make_dist.py
"""
import os
import shutil
import subprocess
import sys
import tarfile
import tempfile
import unittest
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))

from check_dist import SYSTEM_LIBS, argument  # noqa: E402
from e2e_common import newer_host, old_release, pattern_bytes, publish  # noqa: E402
from harness import TestServer  # noqa: E402
from programdir import ProgramFolder  # noqa: E402

MAKE_DIST, GCC, INPUTS = sys.argv[1], sys.argv[2], sys.argv[4:]


def extracted_archives(work):
    """Writes the archives as `make dist` does and unpacks them into `work`;
    returns (the zip's top folder, the native release tool)."""
    out = os.path.join(work, "dist")
    subprocess.run([sys.executable, MAKE_DIST, *INPUTS, "--out", out], check=True,
                   stdout=subprocess.DEVNULL)
    version, arch = argument(INPUTS, "--version"), argument(INPUTS, "--arch")
    top = "updater-%s-%s" % (version, arch)
    with zipfile.ZipFile(os.path.join(out, top + ".zip")) as z:
        z.extractall(work)
    native = "release-tool-%s-linux-x86_64" % version
    with tarfile.open(os.path.join(out, native + ".tar.gz")) as t:
        t.extractall(work)
    return os.path.join(work, top), os.path.join(work, native, "release-tool")


def build_sample_host(top, exe):
    """The zip's sample host source against the zip's static kit; the error
    output of the compiler, empty when it built."""
    kit = os.path.join(top, "kit")
    done = subprocess.run([GCC, "-I" + os.path.join(kit, "include"), "-o", exe,
                           os.path.join(top, "sample", "SampleHost.c"),
                           os.path.join(kit, "lib", "libhostkit.a"), *SYSTEM_LIBS,
                           "-mwindows", "-static"], capture_output=True, text=True)
    return done.stderr if done.returncode or not os.path.exists(exe) else ""


class ArchiveHost(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="archive-host-")
        self.addCleanup(shutil.rmtree, self.work, True)
        self.top, self.release_tool = extracted_archives(self.work)
        host = os.path.join(self.work, "SampleHost.exe")
        self.assertEqual("", build_sample_host(self.top, host))
        self.folder = ProgramFolder(updater=os.path.join(self.top, "Updater.exe"), host=host)
        self.addCleanup(self.folder.remove)
        self.server = TestServer(lifetime=600)
        self.server.start()
        self.addCleanup(self.server.stop)

    def test_a_host_built_from_the_zip_stages_and_applies_an_update(self):
        # Linked statically: the program folder has no hostkit.dll.
        self.assertFalse(self.folder.exists("hostkit.dll"))
        installed = old_release(self.folder.read("Tevrane.exe"))
        self.folder.install_modules(installed)
        new = {"Quorvel": pattern_bytes(30000, 21), "Ibrosk": pattern_bytes(1200, 22),
               "Nirvek": newer_host(installed["Tevrane.exe"], b"archive")}
        publish(self.server, new, installed, tool=self.release_tool)

        staged = self.folder.run_host("--url", self.server.base_url, "--check", "3",
                                      "--quit-with-updater", "--close-after", "150000",
                                      timeout=160)
        self.assertEqual(0, staged.updater_exit_code(), staged)
        self.assertEqual(["result=HOSTKIT_NOTHING files=0 hashed=0 reason="],
                         staged.details("stage"), staged)
        self.assertTrue(self.folder.exists("UpgradeBackup/qim_s.backup"), staged)
        self.assertEqual(installed["Quorvel.dll"], self.folder.read("Quorvel.dll"))

        applied = self.folder.run_host("--close-after", "2000", timeout=60)
        self.assertEqual(1, len(applied.details("stage")), applied)
        self.assertTrue(applied.details("stage")[0].startswith("result=HOSTKIT_OK files=3 "),
                        applied)
        expected = dict(installed, **{"Quorvel.dll": new["Quorvel"],
                                      "Ibrosk.dll": new["Ibrosk"], "Tevrane.exe": new["Nirvek"]})
        for name, data in expected.items():
            self.assertEqual(data, self.folder.read(name), name)
        self.assertFalse(self.folder.exists("UpgradeBackup"))


if __name__ == "__main__":
    unittest.main(argv=[sys.argv[0], "-v"])
