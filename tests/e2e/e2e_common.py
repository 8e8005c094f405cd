"""Shared set-up of the end-to-end tests: an old release installed in a
program folder, a new release published on the local test server with the
release tool, and a run of the host stand-in against it."""

import os
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "server"))

from harness import TestServer, pattern_bytes  # noqa: E402
from programdir import MODULES, ProgramFolder  # noqa: E402

BUILD = os.environ.get("TEST_BINARY_DIR", os.path.join(HERE, "..", "..", "build"))
RELEASE_TOOL = os.path.join(BUILD, "native", "release-tool")
ENGINE_DRIVER = os.path.join(BUILD, "tests", "e2e", "EngineDriver.exe")
HOLD_FILE = os.path.join(BUILD, "tests", "e2e", "HoldFile.exe")


def old_release(host_bytes):
    """Installed file name -> bytes of the old version. The installed host is
    the host stand-in (`host_bytes`), which the tests run as "Tevrane.exe"."""
    release = {local: pattern_bytes(3000 + 97 * i, seed=i) for i, (_, _, local) in enumerate(MODULES)}
    release["Tevrane.exe"] = host_bytes
    return release


def newer_host(host_bytes, tag):
    """Another version of the host stand-in that still runs: bytes appended
    to a program are not loaded."""
    return host_bytes + b"\0" + tag


def remote_name(module):
    name, ext, _ = module
    return name + ext


def publish(server, changed, installed, changelog=None, only=None, tool=None):
    """Puts a new release on `server` (anything with `root` and `add_file`):
    the modules named in `changed` (module name -> new bytes) and the
    installed bytes for every other module, then the digest list (and change
    log) written by the release tool. Returns what the tool printed."""
    for module in MODULES:
        name, _, local = module
        data = changed.get(name, installed.get(local))
        if data is not None:
            server.add_file(remote_name(module), data)
    args = [tool or RELEASE_TOOL]
    if only is not None:
        args += ["--only", ",".join(only)]
    elif any(installed.get(local) is None and name not in changed for name, _, local in MODULES):
        args.append("--allow-missing")
    if changelog is not None:
        path = os.path.join(server.root, "notes.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(changelog)
        args += ["--changelog", path]
    return subprocess.run(args + [server.root], check=True, stdout=subprocess.PIPE,
                          text=True).stdout


class EndToEnd(unittest.TestCase):
    """A program folder with the old release and a test server per test."""

    updater = None  # None: the real updater; or a path to run in its place

    def setUp(self):
        self.folder = ProgramFolder()
        if self.updater:
            import shutil
            shutil.copy(self.updater, self.folder.file("Updater.exe"))
        self.installed = old_release(self.folder.read("Tevrane.exe"))
        self.folder.install_modules(self.installed)
        self.server = TestServer(lifetime=600)
        self.server.start()
        self.base = self.server.base_url

    def tearDown(self):
        left = self.folder.wait_for_programs(5)
        self.server.stop()
        self.folder.remove()
        self.assertEqual([], left, "programs were still running after the test")

    def requests(self, name):
        return [r for r in self.server.log() if r["path"] == "/" + name]

    def assertInstalledUnchanged(self, except_=()):
        for local, data in self.installed.items():
            if local not in except_:
                self.assertEqual(data, self.folder.read(local), local)
