"""The benchmarks' own tools where a mistake would give a wrong figure rather
than an error: the peak-memory watch must read the updater's process and no
other, a failed run must never yield a time, and the private nginx must serve
the folder's bytes and be gone afterwards (the machine is shared)."""

import os
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "bench", "lib"))
sys.path.insert(0, os.path.join(ROOT, "bench", "attempt"))

import benchlib  # noqa: E402
import measure as attempt  # noqa: E402

# A stand-in for a Wine process: its command line names a Windows program
# path, as Wine's do, and it keeps `mib` MiB resident until its stdin closes.
HOLDER = ("import sys; block = bytearray(int(sys.argv[1]) << 20)\n"
          "for i in range(0, len(block), 4096): block[i] = 1\n"
          "print('ready', flush=True); sys.stdin.read()")


class PeakWatch(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp(prefix="peak-watch-")
        self.holders = []

    def tearDown(self):
        for p in self.holders:
            if p.poll() is None:
                p.kill()
                p.wait()
        shutil.rmtree(self.folder, ignore_errors=True)

    def hold(self, program, mib):
        path = benchlib.windows_path(os.path.join(self.folder, program))
        p = subprocess.Popen([sys.executable, "-c", HOLDER, str(mib), path],
                             stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.holders.append(p)
        self.assertEqual(b"ready\n", p.stdout.readline())
        return p

    def test_reads_the_updaters_peak_and_not_the_hosts(self):
        watch = attempt.PeakWatch(self.folder)
        self.hold("Tevrane.exe", 96)                # the host, larger: must not count
        updater = self.hold("Updater.exe", 48)
        watch.start()
        try:
            while watch.peak_kib == 0 and watch.is_alive():
                watch.stop.wait(0.01)
            self.assertEqual(str(updater.pid), watch.pid)
        finally:
            updater.stdin.close()
            updater.wait()
            watch.join(5)
        # It ends by itself once the updater's process has gone.
        self.assertFalse(watch.is_alive())
        self.assertGreaterEqual(watch.peak_kib, 48 << 10)
        self.assertLess(watch.peak_kib, 96 << 10)

    def test_a_process_started_before_the_watch_is_not_taken_for_the_updater(self):
        self.hold("Updater.exe", 1)                 # an earlier run's, still ending
        watch = attempt.PeakWatch(self.folder)
        watch.start()
        watch.stop.wait(0.1)
        watch.stop.set()
        watch.join(5)
        self.assertIsNone(watch.pid)
        self.assertEqual(0, watch.peak_kib)


class Timed(unittest.TestCase):
    def test_a_failed_command_ends_the_benchmark_instead_of_giving_a_time(self):
        with self.assertRaises(SystemExit) as raised:
            benchlib.timed([sys.executable, "-c", "import sys; sys.stderr.write('bad'); sys.exit(3)"])
        self.assertIn("bad", str(raised.exception))
        ms, out = benchlib.timed([sys.executable, "-c", "print('a\\r\\nb')"])
        self.assertEqual("a\nb\n", out)
        self.assertGreater(ms, 0)


@unittest.skipUnless(shutil.which("nginx"), "nginx is not installed")
class Nginx(unittest.TestCase):
    def test_serves_the_folder_and_ranges_then_is_gone(self):
        work = tempfile.mkdtemp(prefix="bench-nginx-")
        os.chmod(work, 0o755)  # nginx's workers run as another user
        try:
            os.makedirs(os.path.join(work, "www"))
            data = bytes(range(256)) * 4096
            with open(os.path.join(work, "www", "f.bin"), "wb") as f:
                f.write(data)
            with benchlib.Nginx(os.path.join(work, "www"), work) as server:
                with urllib.request.urlopen(server.base_url + "f.bin", timeout=10) as r:
                    self.assertEqual(data, r.read())
                request = urllib.request.Request(server.base_url + "f.bin",
                                                 headers={"Range": "bytes=1000-"})
                with urllib.request.urlopen(request, timeout=10) as r:
                    self.assertEqual(206, r.status)
                    self.assertEqual(data[1000:], r.read())
                with open(server.pid_file) as f:
                    pid = int(f.read())
            for _ in range(100):
                if not os.path.exists("/proc/%d" % pid):
                    break
                subprocess.run(["sleep", "0.05"])
            self.assertFalse(os.path.exists("/proc/%d" % pid), "nginx still runs")
        finally:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    unittest.main()
