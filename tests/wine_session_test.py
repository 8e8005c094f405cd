"""The test run's Wine session: every one of its processes, and a program
started the way the tests start theirs, runs with the address space laid out
without randomization. With randomization the Wine loader's heap can take the
page Wine needs at 0x7ffe0000, and a program then ends with exit code 1 before
it runs (about one start in a few thousand; see scripts/wine-loader).

usage: wine_session_test.py PROGRAM_THAT_WAITS"""

import os
import subprocess
import sys
import time
import unittest

ADDR_NO_RANDOMIZE = 0x0040000
# Where Debian puts Wine's loader and server.
WINE_DIR = "/usr/lib/wine/"
PREFIX = os.path.join(os.environ["TEST_BINARY_DIR"], "wineprefix")
WINE_RUN = os.environ["WINE_RUN"]
WAITER = sys.argv[1] if len(sys.argv) > 1 else ""


def personality(pid):
    with open("/proc/%s/personality" % pid) as f:
        return int(f.read(), 16)


def session_processes():
    """pid -> executable of Wine's processes running in this run's prefix.
    Other tests start programs meanwhile; a process still in the wrapper's
    shell (bash, uname, setarch, before it executes Wine's loader) or a test
    driver is not one of Wine's and does not count."""
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/environ" % pid, "rb") as f:
                if ("WINEPREFIX=" + PREFIX).encode() not in f.read().split(b"\0"):
                    continue
            exe = os.readlink("/proc/%s/exe" % pid)
        except OSError:
            continue
        if exe.startswith(WINE_DIR):
            found[pid] = exe
    return found


class Session(unittest.TestCase):
    def test_session_and_started_programs_run_without_address_randomization(self):
        # The waiter looks for a dialog of a process that has none, for 5 s.
        waiter = subprocess.Popen([WINE_RUN, WAITER, "find", "1", "5000"],
                                  stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        try:
            time.sleep(1.0)
            processes = session_processes()
            self.assertIn(waiter.pid, map(int, processes), processes)
            self.assertTrue(any("wineserver" in exe for exe in processes.values()), processes)
            randomized = {pid: exe for pid, exe in processes.items()
                          if not personality(pid) & ADDR_NO_RANDOMIZE}
            self.assertEqual({}, randomized)
        finally:
            try:
                waiter.wait(timeout=30)
            except subprocess.TimeoutExpired:
                waiter.kill()
                waiter.wait()


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1])
