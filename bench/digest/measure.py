"""Driver of bench/digest/run.sh. Rounds alternate the programs, so that a change
in the machine's load during the run affects all of them alike.
    measure.py [--json FILE]   FILE: the result for tools/report/performance.py"""
import os
import random
import statistics
import subprocess
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "lib"))
import benchlib  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ["BUILD"]
ROUNDS = int(os.environ.get("DIGEST_BENCH_ROUNDS", "7"))
SIZE = 64 << 20
WORK = os.path.join(BUILD, "bench", "digest")
DATA = os.path.join(WORK, "data64.bin")
NATIVE = os.path.join(BUILD, "native", "digest-bench")
WINDOWS = os.path.join(BUILD, "bench", "digest", "DigestBench.exe")
KEEPALIVE = os.path.join(BUILD, "tests", "WineKeepAlive.exe")


def make_data():
    os.makedirs(WORK, exist_ok=True)
    if not os.path.exists(DATA) or os.path.getsize(DATA) != SIZE:
        with open(DATA, "wb") as f:
            f.write(random.Random(64).randbytes(SIZE))
    with open(DATA, "rb") as f:  # into the page cache
        while f.read(1 << 24):
            pass


def timed(command):
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, stdin=subprocess.DEVNULL, timeout=120)
    elapsed = (time.perf_counter() - start) * 1000
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed: {result.stderr.decode(errors='replace')}")
    return elapsed, result.stdout.decode(errors="replace").replace("\r", "")


def inside(output):
    """The digest and the in-process time printed by DigestBench."""
    fields = dict(line.split(None, 1) for line in output.splitlines() if " " in line)
    return fields["digest"].strip(), float(fields["median"])


def main():
    before = benchlib.machine()
    for program in (NATIVE, WINDOWS):
        if not os.path.exists(program):
            sys.exit(f"missing {program}: run make build first")
    make_data()
    wine_run = os.path.join(ROOT, "scripts", "wine-run")
    keepalive = os.path.join(ROOT, "scripts", "wine-keepalive")
    # One Wine process alive for the whole run, so each measured start is warm.
    subprocess.run([keepalive, "start", KEEPALIVE], check=True, stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    windows_path = "Z:" + DATA.replace("/", "\\")
    times = {key: [] for key in ("md5sum", "native", "native_in", "wine", "wine_in")}
    digests = set()
    try:
        timed([wine_run, WINDOWS, windows_path, "1"])  # warm-up
        for _ in range(ROUNDS):
            elapsed, _ = timed(["md5sum", DATA])
            times["md5sum"].append(elapsed)
            elapsed, out = timed([NATIVE, DATA, "1"])
            digest, ms = inside(out)
            times["native"].append(elapsed)
            times["native_in"].append(ms)
            digests.add(digest)
            elapsed, out = timed([wine_run, WINDOWS, windows_path, "1"])
            digest, ms = inside(out)
            times["wine"].append(elapsed)
            times["wine_in"].append(ms)
            digests.add(digest)
    finally:
        subprocess.run([keepalive, "stop"], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    if len(digests) != 1:
        sys.exit(f"the builds disagree: {sorted(digests)}")

    base = statistics.median(times["md5sum"])
    print(f"64 MiB file, {ROUNDS} rounds, medians; digest {digests.pop()}")
    print(f"  md5sum, whole process (baseline)     {base:8.1f} ms")
    rows = [("Windows under Wine, inside the process", "wine_in"),
            ("Windows under Wine, whole process", "wine"),
            ("native, inside the process", "native_in"), ("native, whole process", "native")]
    figures = []
    for label, key in rows:
        median = statistics.median(times[key])
        print(f"  {label:38s} {median:8.1f} ms   ratio {median / base:.2f}")
        figures.append(benchlib.figure(label, median, base, "md5sum, whole process",
                                       runs={"ours": times[key], "baseline": times["md5sum"]}))
    benchlib.write_result(
        benchlib.json_argument(sys.argv), "digest", "Keyed digest of a 64 MiB file",
        "The updater's digest code (engine/Digest.cpp) over one 64 MiB file of random bytes that "
        "is already in the page cache, as the Windows build under Wine and as the native build "
        "the release tool uses; each timed inside its process (the call alone) and as a whole "
        f"process. Baseline: `md5sum` of the same file, whole process. {ROUNDS} rounds, the "
        "programs taking turns in each round; medians.",
        "md5sum is a different checksum (MD5), the nearest standard tool that reads a file once "
        "and does a little arithmetic per byte: the ratio says how our per-byte cost compares "
        "with a tuned single pass, not that the two compute the same thing. The file is in the "
        "page cache, so no disk time is measured. A whole Wine process adds Wine's start of a "
        "process (tens of milliseconds, warm).",
        ROUNDS, before, figures)


if __name__ == "__main__":
    main()
