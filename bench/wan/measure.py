"""Driver of bench/wan/run.sh: a silent update over an emulated wide-area link
(wanlink.py: 40 ms each way, one shared 50 Mbit/s downstream) in front of a
private nginx, against curl over the same link in the same run.

Three releases, each a folder under the served root with its digest list
written by the release tool:
  1m:   all 15 modules changed, 1 MiB each;
  4m:   all 15 modules changed, 4 MiB each;
  fix:  one changed module of 64 KiB (Quorvel.dll); the other 14 (1 MiB) as
        installed.
Each round, for each release, in turn:
  ours:       the host stand-in starts Updater.exe in silent mode through
              scripts/wine-run; the time from "updater-started" to
              "updater-exited" in its log. The staged files and the marker are
              checked every time.
  parallel:   curl fetching the digest list, then curl --parallel fetching the
              changed modules (two processes, one after the other, timed
              together).
  sequential: one curl fetching the list and then the changed modules one
              after another (one connection).
  trivial:    the host stand-in starting a program that ends at once, from
              "updater-started" to "updater-exited".

    measure.py [--json FILE] [--only NAME[,NAME]]"""
import configparser
import hashlib
import os
import random
import shutil
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import benchlib  # noqa: E402

sys.path.insert(0, os.path.join(benchlib.ROOT, "tests", "e2e"))
from programdir import MODULES, HostRun  # noqa: E402

ROUNDS = int(os.environ.get("WAN_BENCH_ROUNDS", "3"))
DELAY_MS = 40
MBIT = 50
BUILD = benchlib.BUILD
WORK = os.path.join(BUILD, "bench", "wan")
WWW = os.path.join(WORK, "www")
CURL_OUT = os.path.join(WORK, "curl")
UPDATER = os.environ.get("WAN_BENCH_UPDATER") or os.path.join(BUILD, "app", "Updater.exe")
HOST = os.path.join(BUILD, "tools", "host", "HostStandIn.exe")
TRIVIAL = os.path.join(BUILD, "bench", "wan", "Trivial.exe")
RELEASE_TOOL = os.path.join(BUILD, "native", "release-tool")
LINK = os.path.join(HERE, "wanlink.py")
STAGED = "UpgradeBackup"
KIB, MIB = 1 << 10, 1 << 20


class Release:
    """One served release and the program folder that holds the old one."""

    def __init__(self, name, title, sizes, changed):
        self.name = name
        self.title = title
        self.sizes = sizes      # local name -> size
        self.changed = changed  # local names whose served bytes differ
        self.www = os.path.join(WWW, name)
        self.program = os.path.join(WORK, "program-" + name)
        self.served = {}        # local name -> md5 of the served bytes

    def remote(self, local):
        return next(n + e for n, e, l in MODULES if l == local)

    def prepare(self, host):
        os.makedirs(self.www, exist_ok=True)
        os.makedirs(self.program, exist_ok=True)
        for i, (name, ext, local) in enumerate(MODULES):
            size = self.sizes[local]
            head = host if local == "Tevrane.exe" else b""
            old = padded(head, size, 2000 + i)
            new = padded(head, size, 1000 + i) if local in self.changed else old
            benchlib.write_if_changed(os.path.join(self.www, name + ext), new)
            benchlib.write_if_changed(os.path.join(self.program, local), old)
            self.served[local] = hashlib.md5(new).hexdigest()
        shutil.copy(UPDATER, os.path.join(self.program, "Updater.exe"))
        shutil.copy(TRIVIAL, os.path.join(self.program, "Trivial.exe"))
        subprocess.run([RELEASE_TOOL, self.www], check=True, stdout=subprocess.DEVNULL)
        for folder in (self.www, self.program):
            for entry in os.listdir(folder):
                path = os.path.join(folder, entry)
                if os.path.isfile(path):
                    with open(path, "rb") as f:  # into the page cache
                        while f.read(1 << 24):
                            pass

    def clean(self):
        shutil.rmtree(os.path.join(self.program, STAGED), ignore_errors=True)
        shutil.rmtree(os.path.join(self.program, "UpgradeBackup_P"), ignore_errors=True)
        for name in ("Version.tmp", "host.log"):
            if os.path.exists(os.path.join(self.program, name)):
                os.remove(os.path.join(self.program, name))

    def check_staged(self):
        folder = os.path.join(self.program, STAGED)
        expected = sorted(list(self.changed) + ["qim_s.backup"])
        if sorted(os.listdir(folder)) != expected:
            sys.exit("%s: staged %s" % (self.name, sorted(os.listdir(folder))))
        for local in self.changed:
            with open(os.path.join(folder, local), "rb") as f:
                if hashlib.md5(f.read()).hexdigest() != self.served[local]:
                    sys.exit("%s: staged %s differs from the served file" % (self.name, local))
        marker = configparser.ConfigParser()
        marker.read(os.path.join(folder, "qim_s.backup"))
        if marker.get("SUpgrade", "Key", fallback=None) != "1":
            sys.exit("%s: no marker after the attempt" % self.name)


def padded(head, size, seed):
    """`head` (a program, which stays runnable with bytes appended) followed by
    random bytes up to `size`."""
    if head:
        return head + b"\0" + random.Random(seed).randbytes(size - len(head) - 1)
    return random.Random(seed).randbytes(size)


def releases():
    everything = [l for _, _, l in MODULES]
    return [
        Release("1m", "15 changed modules of 1 MiB", dict.fromkeys(everything, MIB), everything),
        Release("4m", "15 changed modules of 4 MiB", dict.fromkeys(everything, 4 * MIB),
                everything),
        Release("fix", "one changed module of 64 KiB",
                dict(dict.fromkeys(everything, MIB), **{"Quorvel.dll": 64 * KIB}),
                ["Quorvel.dll"]),
    ]


class WanLink:
    """wanlink.py in front of `port`, for the life of the with-block."""

    def __init__(self, port):
        self.port = port

    def __enter__(self):
        self.process = subprocess.Popen(
            [sys.executable, LINK, "--to", str(self.port), "--delay-ms", str(DELAY_MS),
             "--mbit", str(MBIT), "--lifetime", "3600"] +
            (["--trace"] if os.environ.get("WAN_BENCH_TRACE") else []),
            stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        line = self.process.stdout.readline().split()
        if len(line) != 2 or line[0] != b"ready":
            self.__exit__()
            sys.exit("the link did not start")
        self.base_url = "http://127.0.0.1:%d/" % int(line[1])
        return self

    def __exit__(self, *_):
        self.process.stdin.close()
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def host_run(release, url, program):
    """Milliseconds from the host's start of `program` to its end."""
    release.clean()
    command = [benchlib.WINE_RUN, benchlib.windows_path(os.path.join(release.program,
                                                                     "Tevrane.exe")),
               "--mode", "3", "--url", url, "--exit-with-updater", "--timeout", "120000"]
    if program:
        command += ["--updater", benchlib.windows_path(os.path.join(release.program, program))]
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=150)
    with open(os.path.join(release.program, "host.log"), "rb") as f:
        run = HostRun(0, f.read().decode("gbk", "replace"), 0)
    times = {event: t for t, event, _ in run.events}
    if "updater-started" not in times or "updater-exited" not in times:
        sys.exit("%s did not run to its end: %r" % (program or "the updater", run))
    if run.updater_exit_code() != 0:
        sys.exit("%s ended with code %s" % (program or "the updater", run.updater_exit_code()))
    return times["updater-exited"] - times["updater-started"]


def run_ours(release, url):
    ms = host_run(release, url, None)
    release.check_staged()
    return ms


def curl_args(release, url, locals_):
    args = []
    for local in locals_:
        remote = release.remote(local)
        args += ["-o", os.path.join(CURL_OUT, remote), url + remote]
    return args


def fresh_curl_folder():
    shutil.rmtree(CURL_OUT, ignore_errors=True)
    os.makedirs(CURL_OUT)


def check_curl(release):
    for local in release.changed:
        path = os.path.join(CURL_OUT, release.remote(local))
        with open(path, "rb") as f:
            if hashlib.md5(f.read()).hexdigest() != release.served[local]:
                sys.exit("curl's %s differs from the served file" % local)


def run_parallel(release, url):
    fresh_curl_folder()
    start = time.perf_counter()
    benchlib.timed(["curl", "-s", "--fail", "-o", os.path.join(CURL_OUT, "ModelMD5.dll"),
                    url + "ModelMD5.dll"])
    benchlib.timed(["curl", "-s", "--fail", "--parallel", "--parallel-max", "15"] +
                   curl_args(release, url, release.changed))
    elapsed = (time.perf_counter() - start) * 1000
    check_curl(release)
    return elapsed


def run_sequential(release, url):
    fresh_curl_folder()
    elapsed, _ = benchlib.timed(["curl", "-s", "--fail", "-o",
                                 os.path.join(CURL_OUT, "ModelMD5.dll"), url + "ModelMD5.dll"] +
                                curl_args(release, url, release.changed))
    check_curl(release)
    return elapsed


def measure(release, url):
    """One warm-up, then ROUNDS rounds of the four, taking turns."""
    times = {"ours": [], "parallel": [], "sequential": [], "trivial": []}
    run_ours(release, url)
    run_parallel(release, url)
    run_sequential(release, url)
    host_run(release, url, "Trivial.exe")
    for _ in range(ROUNDS):
        times["ours"].append(run_ours(release, url))
        times["parallel"].append(run_parallel(release, url))
        times["sequential"].append(run_sequential(release, url))
        times["trivial"].append(host_run(release, url, "Trivial.exe"))
    release.clean()
    return times


def figures_of(release, times):
    m = {k: benchlib.median(v) for k, v in times.items()}
    runs = lambda key: {"ours": times["ours"], "baseline": times[key]}  # noqa: E731
    print("%s over the link, %d rounds, medians" % (release.title, ROUNDS))
    for key in ("ours", "parallel", "sequential", "trivial"):
        print("  %-10s %8.1f ms   runs %s" % (key, m[key],
                                               " ".join("%.0f" % v for v in times[key])))
    rows = []
    if release.name == "fix":
        curl_and_start = [s + t for s, t in zip(times["sequential"], times["trivial"])]
        times["curl+start"] = curl_and_start
        rows.append(benchlib.figure(
            "%s: updater started to ended" % release.title, m["ours"],
            benchlib.median(curl_and_start),
            "curl fetching the list and that module + a trivial program's start under Wine",
            key="fix-start", runs={"ours": times["ours"], "baseline": curl_and_start,
                                   "trivial": times["trivial"]}))
    rows.append(benchlib.figure(
        "%s: updater started to ended" % release.title, m["ours"], m["parallel"],
        "curl fetching the list, then curl --parallel the modules",
        key=release.name + "-parallel",
        runs=runs("parallel")))
    rows.append(benchlib.figure(
        "%s: updater started to ended" % release.title, m["ours"], m["sequential"],
        "curl fetching the list and the modules one after another", runs=runs("sequential")))
    for row in rows:
        print("  ours / %s: %.2f" % (row["baseline_label"], row["ratio"]))
    return rows, "%s: trivial program's start under Wine %.1f ms (runs %s)" % (
        release.title, m["trivial"], " ".join("%.0f" % v for v in times["trivial"]))


def main():
    before = benchlib.machine()
    for path in (UPDATER, HOST, TRIVIAL, RELEASE_TOOL, benchlib.KEEPALIVE_EXE):
        if not os.path.exists(path):
            sys.exit("missing %s: run make build first" % path)
    wanted = releases()
    if "--only" in sys.argv:
        names = sys.argv[sys.argv.index("--only") + 1].split(",")
        wanted = [r for r in wanted if r.name in names]
    with open(HOST, "rb") as f:
        host = f.read()
    for release in wanted:
        release.prepare(host)
    figures, details = [], []
    with benchlib.Nginx(WWW, WORK) as nginx, WanLink(nginx.port) as link, \
            benchlib.WineSession():
        for release in wanted:
            rows, detail = figures_of(release, measure(release, link.base_url + release.name +
                                                       "/"))
            figures += rows
            details.append(detail)
    shutil.rmtree(CURL_OUT, ignore_errors=True)
    benchlib.write_result(
        benchlib.json_argument(sys.argv), "wan", "A silent update over a wide-area link",
        "A relay on loopback (bench/wan/wanlink.py) stands for the link: %d ms each way, a new "
        "connection's handshake costing one round trip, and one %d Mbit/s downstream shared "
        "by all connections; a private nginx behind it serves three releases with digest lists "
        "written by the release tool: 15 changed modules of 1 MiB, 15 of 4 MiB, and one "
        "changed module of 64 KiB beside 14 unchanged ones of 1 MiB. Ours: the host stand-in "
        "starts the real Updater.exe in silent mode in a warm Wine session; the host log's time "
        "from \"updater-started\" to \"updater-exited\"; the staged files and the marker are "
        "checked every run. Baselines over the same link in the same round: curl fetching the "
        "digest list and then, in a second process, curl --parallel the changed modules; one "
        "curl fetching the list and the modules one after another; and the host stand-in "
        "starting a program that ends at once. %d rounds after one untimed warm-up, the "
        "programs taking turns; medians." % (DELAY_MS, MBIT, ROUNDS),
        "The relay is a Python program sharing the machine's two CPUs with Wine; it emulates "
        "delay and rate, not loss, slow start or a real router's queue (each connection may "
        "hold up to 1 MiB on its way down). curl runs natively; ours pays a Wine process start, "
        "which the fix figure's baseline includes as the trivial program's start.",
        ROUNDS, before, figures, details)


if __name__ == "__main__":
    main()
