"""Driver of bench/attempt/run.sh: one whole update attempt of the real updater
with 15 changed modules of 16 MiB, against the ideal of the same run, and the
updater's peak memory during it.

Each round, in turn:
  ours:    the host stand-in starts Updater.exe in silent mode against a private
           nginx (Tevrane.exe --mode 3 --exit-with-updater, through
           scripts/wine-run); the time from the host's "updater-started" to its
           "updater-exited" (host.log, milliseconds). Meanwhile the updater's
           Linux process is watched for its peak resident set (VmHWM).
  digest:  DigestBench.exe --each over the 15 installed files (the version
           check's work), timed inside that process.
  curl:    curl --parallel --parallel-max 15 fetching the 15 modules from the
           same nginx, whole process.
The ideal is digest + curl. Every round checks that the 15 staged files hold
the served bytes and that the marker says "Key=1".

    measure.py [--json FILE]"""
import configparser
import hashlib
import os
import random
import shutil
import subprocess
import sys
import threading
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import benchlib  # noqa: E402

sys.path.insert(0, os.path.join(benchlib.ROOT, "tests", "e2e"))
from programdir import MODULES, HostRun  # noqa: E402

ROUNDS = int(os.environ.get("ATTEMPT_BENCH_ROUNDS", "5"))
FIXED_ROUNDS = 3
SIZE = 16 << 20
BUILD = benchlib.BUILD
WORK = os.path.join(BUILD, "bench", "attempt")
WWW = os.path.join(WORK, "www")
PROGRAM = os.path.join(WORK, "program")
CURL_OUT = os.path.join(WORK, "curl")
UPDATER = os.path.join(BUILD, "app", "Updater.exe")
HOST = os.path.join(BUILD, "tools", "host", "HostStandIn.exe")
DIGEST_BENCH = os.path.join(BUILD, "bench", "digest", "DigestBench.exe")
RELEASE_TOOL = os.path.join(BUILD, "native", "release-tool")
STAGED = "UpgradeBackup"


def padded(head, seed):
    """`head` followed by a NUL and random bytes up to SIZE: a program stays
    runnable with bytes appended, which are not loaded."""
    return head + b"\0" + random_bytes(SIZE - len(head) - 1, seed)


def random_bytes(n, seed):
    return random.Random(seed).randbytes(n)


def prepare():
    """The served release (new bytes, digest list by the release tool) and the
    program folder with the old release; returns remote name -> md5 of the
    served bytes."""
    for path in (UPDATER, HOST, DIGEST_BENCH, RELEASE_TOOL, benchlib.KEEPALIVE_EXE):
        if not os.path.exists(path):
            sys.exit("missing %s: run make build first" % path)
    os.makedirs(WWW, exist_ok=True)
    os.makedirs(PROGRAM, exist_ok=True)
    with open(HOST, "rb") as f:
        host = f.read()
    served = {}
    for i, (name, ext, local) in enumerate(MODULES):
        if local == "Tevrane.exe":
            new, old = padded(host, 1000 + i), padded(host, 2000 + i)
        else:
            new, old = random_bytes(SIZE, 1000 + i), random_bytes(SIZE, 2000 + i)
        benchlib.write_if_changed(os.path.join(WWW, name + ext), new)
        benchlib.write_if_changed(os.path.join(PROGRAM, local), old)
        served[name + ext] = hashlib.md5(new).hexdigest()
    shutil.copy(UPDATER, os.path.join(PROGRAM, "Updater.exe"))
    subprocess.run([RELEASE_TOOL, WWW], check=True, stdout=subprocess.DEVNULL)
    for path in [os.path.join(WWW, n + e) for n, e, _ in MODULES] + \
            [os.path.join(PROGRAM, l) for _, _, l in MODULES]:
        with open(path, "rb") as f:  # into the page cache
            while f.read(1 << 24):
                pass
    return served


def clean_program_folder():
    for name in (STAGED, "UpgradeBackup_P"):
        shutil.rmtree(os.path.join(PROGRAM, name), ignore_errors=True)
    for name in ("Version.tmp", "host.log", "UpdateContent.dat"):
        if os.path.exists(os.path.join(PROGRAM, name)):
            os.remove(os.path.join(PROGRAM, name))


class PeakWatch(threading.Thread):
    """Watches the Linux process that runs `folder`'s Updater.exe under Wine
    (started after this object was made) and keeps the largest VmHWM (the
    kernel's peak resident set) and the largest RssAnon (its private,
    anonymous part: no pages of mapped files) it reads, every 10 ms, until that
    process has gone or `stop` is set."""

    def __init__(self, folder):
        super().__init__(daemon=True)
        self.needle = (benchlib.windows_path(folder) + "\\updater.exe").lower().encode()
        self.before = set(os.listdir("/proc"))
        self.peak_kib = 0
        self.private_kib = 0
        self.pid = None
        self.stop = threading.Event()

    def find(self):
        for pid in set(os.listdir("/proc")) - self.before:
            if not pid.isdigit():
                continue
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    cmdline = f.read().lower().replace(b"/", b"\\")
            except OSError:
                continue
            if self.needle in cmdline and b"wine-run" not in cmdline:
                return pid
        return None

    def run(self):
        while not self.stop.is_set():
            if self.pid is None:
                self.pid = self.find()
            if self.pid is not None:
                try:
                    with open("/proc/%s/status" % self.pid) as f:
                        for line in f:
                            if line.startswith("VmHWM:"):
                                self.peak_kib = max(self.peak_kib, int(line.split()[1]))
                            elif line.startswith("RssAnon:"):
                                self.private_kib = max(self.private_kib, int(line.split()[1]))
                except OSError:
                    return
            time.sleep(0.01)


def run_updater(base_url):
    """One silent run; returns (milliseconds, peak KiB, HostRun); the watch of
    the last run stays in `last_watch`."""
    global last_watch
    clean_program_folder()
    watch = PeakWatch(PROGRAM)
    watch.start()
    command = [benchlib.WINE_RUN, benchlib.windows_path(os.path.join(PROGRAM, "Tevrane.exe")),
               "--mode", "3", "--url", base_url, "--exit-with-updater", "--timeout", "120000"]
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=150)
    watch.stop.set()
    watch.join(5)
    last_watch = watch
    with open(os.path.join(PROGRAM, "host.log"), "rb") as f:
        run = HostRun(0, f.read().decode("gbk", "replace"), 0)
    times = {event: t for t, event, _ in run.events}
    if "updater-started" not in times or "updater-exited" not in times:
        sys.exit("the updater did not run to its end: %r" % run)
    if run.updater_exit_code() != 0:
        sys.exit("the updater ended with code %s" % run.updater_exit_code())
    return times["updater-exited"] - times["updater-started"], watch.peak_kib, run


def check_staged(served):
    """The 15 staged files hold the served bytes and the marker is there."""
    folder = os.path.join(PROGRAM, STAGED)
    expected = sorted([local for _, _, local in MODULES] + ["qim_s.backup"])
    if sorted(os.listdir(folder)) != expected:
        sys.exit("staged: %s" % sorted(os.listdir(folder)))
    for name, ext, local in MODULES:
        with open(os.path.join(folder, local), "rb") as f:
            if hashlib.md5(f.read()).hexdigest() != served[name + ext]:
                sys.exit("staged %s differs from the served file" % local)
    marker = configparser.ConfigParser()
    marker.read(os.path.join(folder, "qim_s.backup"))
    if marker.get("SUpgrade", "Key", fallback=None) != "1":
        sys.exit("no marker after the attempt")


last_watch = None


def run_curl(base_url, served, check):
    shutil.rmtree(CURL_OUT, ignore_errors=True)
    os.makedirs(CURL_OUT)
    args = ["curl", "-s", "--fail", "--parallel", "--parallel-max", "15"]
    for name, ext, _ in MODULES:
        args += ["-o", os.path.join(CURL_OUT, name + ext), base_url + name + ext]
    elapsed, _ = benchlib.timed(args)
    for remote in served:
        path = os.path.join(CURL_OUT, remote)
        if os.path.getsize(path) != SIZE:
            sys.exit("curl fetched %s short" % remote)
        if check:
            with open(path, "rb") as f:
                if hashlib.md5(f.read()).hexdigest() != served[remote]:
                    sys.exit("curl's %s differs from the served file" % remote)
    return elapsed


def run_digest():
    files = [benchlib.windows_path(os.path.join(PROGRAM, local)) for _, _, local in MODULES]
    _, out = benchlib.timed([benchlib.WINE_RUN, DIGEST_BENCH, "--each"] + files)
    return float(out.split()[1])


def main():
    before = benchlib.machine()
    served = prepare()
    times = {"ours": [], "digest": [], "curl": [], "ideal": [], "peak": [], "fixed": [],
             "private": []}
    with benchlib.Nginx(WWW, WORK) as nginx, benchlib.WineSession():
        # Warm-up of each, untimed: programs and files into the page cache.
        run_updater(nginx.base_url)
        check_staged(served)
        run_digest()
        run_curl(nginx.base_url, served, check=True)
        for _ in range(ROUNDS):
            ms, peak, _ = run_updater(nginx.base_url)
            check_staged(served)
            digest = run_digest()
            curl = run_curl(nginx.base_url, served, check=False)
            times["ours"].append(ms)
            times["peak"].append(peak / 1024)
            times["private"].append(last_watch.private_kib / 1024)
            times["digest"].append(digest)
            times["curl"].append(curl)
            times["ideal"].append(digest + curl)
        # The same updater when its attempts fail at once (no digest list under
        # this address): its footprint without any module mapped or fetched.
        for _ in range(FIXED_ROUNDS):
            _, peak, run = run_updater(nginx.base_url + "absent/")
            if os.path.exists(os.path.join(PROGRAM, STAGED, "qim_s.backup")):
                sys.exit("a marker after failed attempts: %r" % run)
            times["fixed"].append(peak / 1024)
    clean_program_folder()
    shutil.rmtree(CURL_OUT, ignore_errors=True)

    m = {k: benchlib.median(v) for k, v in times.items()}
    paired = benchlib.median([o / i for o, i in zip(times["ours"], times["ideal"])])
    largest = SIZE / (1 << 20)
    print("whole attempt: 15 changed modules of 16 MiB, silent mode, %d rounds, medians" % ROUNDS)
    print("  ours (updater started -> ended)  %8.1f ms   runs %s"
          % (m["ours"], " ".join("%.0f" % v for v in times["ours"])))
    print("  digest of the 15 installed files %8.1f ms   runs %s"
          % (m["digest"], " ".join("%.0f" % v for v in times["digest"])))
    print("  curl --parallel, 15 modules      %8.1f ms   runs %s"
          % (m["curl"], " ".join("%.0f" % v for v in times["curl"])))
    print("  ideal (digest + curl)            %8.1f ms   ours / ideal %.2f (paired %.2f)"
          % (m["ideal"], m["ours"] / m["ideal"], paired))
    print("  peak private memory (RssAnon)    %8.1f MiB  runs %s"
          % (m["private"], " ".join("%.1f" % v for v in times["private"])))
    print("  peak resident set (VmHWM)        %8.1f MiB  = %.2f x the largest module (%g MiB)"
          % (m["peak"], m["peak"] / largest, largest))
    print("  same updater, attempts failing at once %6.1f MiB; the attempt adds %.1f MiB = %.2f x"
          % (m["fixed"], m["peak"] - m["fixed"], (m["peak"] - m["fixed"]) / largest))

    ideal_label = "digest of the 15 installed files (inside DigestBench.exe) + curl --parallel"
    module_label = "the largest module, 16 MiB"
    figures = [
        benchlib.figure("whole attempt, updater started to ended", m["ours"], m["ideal"],
                        ideal_label, key="whole",
                        runs={"ours": times["ours"], "baseline": times["ideal"]}),
        benchlib.figure("peak private memory (RssAnon) during the attempt", m["private"], 32,
                        "the bound, 32 MiB", unit="MiB", key="private",
                        runs={"ours": times["private"]}),
        benchlib.figure("peak resident set (VmHWM) during the attempt", m["peak"], largest,
                        module_label, unit="MiB", runs={"ours": times["peak"]}),
        benchlib.figure("what the attempt adds to the footprint of an updater whose attempts "
                        "fail at once", m["peak"] - m["fixed"], largest, module_label, unit="MiB",
                        runs={"ours": times["peak"], "fixed": times["fixed"]}),
    ]
    details = [
        "parts of the ideal (medians): digest %.1f ms, curl %.1f ms" % (m["digest"], m["curl"]),
        "median of the %d rounds' own ratios ours / ideal: %.2f" % (ROUNDS, paired),
        "footprint of the updater whose attempts fail at once (median of %d): %.1f MiB"
        % (FIXED_ROUNDS, m["fixed"]),
    ]
    benchlib.write_result(
        benchlib.json_argument(sys.argv), "attempt",
        "One whole attempt with 15 changed 16 MiB modules",
        "A program folder holds the old release: 15 modules of 16 MiB of random bytes (the "
        "installed Tevrane.exe is the host stand-in padded to 16 MiB). A private nginx on "
        "loopback serves the new release, 15 other 16 MiB files, with the digest list written "
        "by the release tool. The host stand-in starts the real Updater.exe in silent mode "
        "through scripts/wine-run in a warm Wine session; the updater fetches the digest list, "
        "digests the 15 installed files, fetches the 15 modules in parallel into "
        "\"UpgradeBackup\\\", writes the marker and ends. Measured: the host log's time from "
        "\"updater-started\" to \"updater-exited\" (milliseconds). Ideal, in the same round: "
        "DigestBench.exe digesting the same 15 installed files one after another, timed inside "
        "its process, plus `curl --parallel --parallel-max 15` fetching the 15 modules from the "
        "same nginx, whole process. Every round checks each staged file's bytes and the marker. "
        "Peak memory: while the updater runs, its Linux process's VmHWM (/proc/PID/status, the "
        "kernel's peak resident set) is read every 10 ms and the last, largest value kept; "
        "also for the same updater pointed at an address with no digest list, whose four "
        "attempts fail at once, which gives the footprint of the process itself. "
        "Private memory: the largest RssAnon (resident anonymous memory, no file pages) read "
        "in the same way. %d rounds after one untimed warm-up; medians." % ROUNDS,
        "Loopback and page cache: no network, no disk waits (the installed and served files are "
        "read once before), so the figure is the updater's own overhead over the two pieces of "
        "work it cannot avoid. Ours also includes what the ideal leaves out: a Wine process "
        "start, the digest list's transfer, writing the marker and the process's end. VmHWM was "
        "chosen over a Windows probe polling GetProcessMemoryInfo because it needs no second "
        "Wine process beside the one timed; it counts everything resident in the Linux process, "
        "Wine's own libraries and mappings included, and file pages of mapped files (the "
        "version check maps each installed file while it digests it), hence the second figure "
        "against the footprint of the updater with nothing to fetch. A peak reached in the last "
        "10 ms before the process ends would be missed.",
        ROUNDS, before, figures, details)


if __name__ == "__main__":
    main()
