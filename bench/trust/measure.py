"""Driver of bench/trust/run.sh: what an updater with a publisher's key spends
on the checks the key brings, each against a baseline of the same run.

Each round, in turn:
  attempts: the release of bench/attempt (15 changed modules of 16 MiB from a
            private nginx), signed by the release tool; the host stand-in
            starts Updater.exe in silent mode once without a key and once with
            the key set by `release-tool set-key`, in alternating order; the
            host log's time from "updater-started" to "updater-exited".
  sha256:   TrustBench.exe hashing the 15 staged modules one after another
            (timed inside its process, and as a whole Wine process) against
            `sha256sum` of the same files, whole process; and reading the
            same files without hashing (what hashing while receiving saves).
  verify:   TrustBench.exe accepting the signed list (read, parse, signature,
            expiry, serial) and checking its signature alone, medians of 50
            each inside the process, against `openssl speed ecdsap256`'s time
            for one P-256 verification.

    measure.py [--json FILE]"""
import importlib.util
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import benchlib  # noqa: E402


def load_attempt():
    path = os.path.join(HERE, "..", "attempt", "measure.py")
    found = importlib.util.spec_from_file_location("attempt_measure", path)
    module = importlib.util.module_from_spec(found)
    found.loader.exec_module(module)
    return module


attempt = load_attempt()
ROUNDS = int(os.environ.get("TRUST_BENCH_ROUNDS", "5"))
VERIFY_RUNS = 50
BUILD = benchlib.BUILD
WORK = os.path.join(BUILD, "bench", "trust")
TRUST_BENCH = os.path.join(BUILD, "bench", "trust", "TrustBench.exe")
KEYED = os.path.join(WORK, "Updater-keyed.exe")
PRIVATE, PUBLIC = os.path.join(WORK, "key.pem"), os.path.join(WORK, "key.pub")


def tool(*args):
    result = subprocess.run([attempt.RELEASE_TOOL, *args], capture_output=True, text=True)
    if result.returncode != 0:
        sys.exit("release-tool %s failed: %s" % (args[0], result.stderr))
    return result.stdout


def prepare():
    """The signed release, the keyed updater; returns (served, key hex)."""
    if not os.path.exists(TRUST_BENCH):
        sys.exit("missing %s: run make build first" % TRUST_BENCH)
    served = attempt.prepare()
    os.makedirs(WORK, exist_ok=True)
    if not os.path.exists(PRIVATE):
        tool("keygen", PRIVATE, PUBLIC)
    tool("--key", PRIVATE, "--serial", "1", attempt.WWW)
    shutil.copy(attempt.UPDATER, KEYED)
    tool("set-key", KEYED, PUBLIC)
    key = re.search(r"key 1: ([0-9a-f]{128})", tool("show-key", KEYED)).group(1)
    return served, key


def run_attempt(updater, base_url, served):
    shutil.copy(updater, os.path.join(attempt.PROGRAM, "Updater.exe"))
    ms, _, _ = attempt.run_updater(base_url)
    attempt.check_staged(served)
    return ms


def staged_files():
    folder = os.path.join(attempt.PROGRAM, attempt.STAGED)
    return [os.path.join(folder, local) for _, _, local in attempt.MODULES]


def run_sha256():
    """(inside TrustBench ms, whole TrustBench ms, sha256sum ms); the two agree."""
    files = staged_files()
    whole, out = benchlib.timed([benchlib.WINE_RUN, TRUST_BENCH, "sha256"] +
                                [benchlib.windows_path(f) for f in files])
    lines = out.replace("\r", "").split("\n")
    ours = [line.split()[1] for line in lines if line.startswith("hash ")]
    base, out = benchlib.timed(["sha256sum"] + files)
    theirs = [line.split()[0] for line in out.splitlines()]
    if ours != theirs:
        sys.exit("TrustBench and sha256sum disagree")
    return float(lines[0].split()[1]), whole, base


def run_read():
    _, out = benchlib.timed([benchlib.WINE_RUN, TRUST_BENCH, "read"] +
                            [benchlib.windows_path(f) for f in staged_files()])
    return float(out.split()[1])


def run_verify(key):
    _, out = benchlib.timed([benchlib.WINE_RUN, TRUST_BENCH, "verify",
                             benchlib.windows_path(os.path.join(attempt.WWW, "ModelMD5.dll")),
                             key, str(VERIFY_RUNS)])
    fields = dict(line.split() for line in out.replace("\r", "").splitlines() if line.strip())
    return float(fields["accept"]), float(fields["signature"])


def openssl_verify_ms():
    """One P-256 verification by OpenSSL (openssl speed, 1 s per operation)."""
    _, out = benchlib.timed(["openssl", "speed", "-seconds", "1", "ecdsap256"], timeout=60)
    # Its seconds per operation are rounded to 0.1 ms; verifications per second are not.
    match = re.search(r"256 bits ecdsa \(nistp256\)\s+[0-9.]+s\s+[0-9.]+s\s+[0-9.]+\s+([0-9.]+)",
                      out)
    if not match or float(match.group(1)) <= 0:
        sys.exit("openssl speed printed no P-256 line: %s" % out[-300:])
    return 1000 / float(match.group(1))


def measure(served, key, base_url):
    times = {k: [] for k in ("plain", "keyed", "sha_in", "sha_whole", "sha256sum", "read", "accept",
                             "signature", "openssl")}
    for r in range(ROUNDS):
        order = [("plain", attempt.UPDATER), ("keyed", KEYED)]
        for name, updater in order if r % 2 == 0 else reversed(order):
            times[name].append(run_attempt(updater, base_url, served))
        sha_in, sha_whole, sha_base = run_sha256()
        times["sha_in"].append(sha_in)
        times["sha_whole"].append(sha_whole)
        times["sha256sum"].append(sha_base)
        times["read"].append(run_read())
        accept, signature = run_verify(key)
        times["accept"].append(accept)
        times["signature"].append(signature)
        times["openssl"].append(openssl_verify_ms())
    return times


def main():
    before = benchlib.machine()
    served, key = prepare()
    with benchlib.Nginx(attempt.WWW, attempt.WORK) as nginx, benchlib.WineSession():
        # Warm-up, untimed: both updaters, the staged files into the page cache.
        run_attempt(attempt.UPDATER, nginx.base_url, served)
        run_attempt(KEYED, nginx.base_url, served)
        run_sha256()
        times = measure(served, key, nginx.base_url)
    attempt.clean_program_folder()
    m = {k: benchlib.median(v) for k, v in times.items()}
    paired = benchlib.median([k / p for k, p in zip(times["keyed"], times["plain"])])
    print("a publisher's key: %d rounds, medians" % ROUNDS)
    print("  whole attempt without a key        %8.1f ms" % m["plain"])
    print("  whole attempt with a key           %8.1f ms   ratio %.3f (paired %.3f)"
          % (m["keyed"], m["keyed"] / m["plain"], paired))
    print("  sha256sum of the 15 staged modules %8.1f ms" % m["sha256sum"])
    print("  SHA-256 inside TrustBench.exe      %8.1f ms   ratio %.2f"
          % (m["sha_in"], m["sha_in"] / m["sha256sum"]))
    print("  SHA-256, whole Wine process        %8.1f ms   ratio %.2f"
          % (m["sha_whole"], m["sha_whole"] / m["sha256sum"]))
    print("  signature check (CNG under Wine)   %8.3f ms   openssl %.3f ms, ratio %.2f"
          % (m["signature"], m["openssl"], m["signature"] / m["openssl"]))
    print("  whole list accepted                %8.3f ms" % m["accept"])
    print("  reading them without hashing       %8.1f ms" % m["read"])
    print("  staged-module hashing / keyed attempt %.2f" % (m["sha_in"] / m["keyed"]))
    figures = [
        benchlib.figure("whole attempt with a key", m["keyed"], m["plain"],
                        "the same attempt without a key", key="keyed-attempt",
                        runs={"ours": times["keyed"], "baseline": times["plain"]}),
        benchlib.figure("SHA-256 of the 15 staged modules, inside the process", m["sha_in"],
                        m["sha256sum"], "sha256sum of the same files, whole process",
                        key="sha256-staged",
                        runs={"ours": times["sha_in"], "baseline": times["sha256sum"]}),
        benchlib.figure("SHA-256 of the 15 staged modules, whole Wine process", m["sha_whole"],
                        m["sha256sum"], "sha256sum of the same files, whole process",
                        runs={"ours": times["sha_whole"], "baseline": times["sha256sum"]}),
        benchlib.figure("signature check of the list", m["signature"], m["openssl"],
                        "one P-256 verification by openssl speed", unit="ms",
                        runs={"ours": times["signature"], "baseline": times["openssl"]}),
        benchlib.figure("the whole list accepted (read, parse, signature, expiry, serial)",
                        m["accept"], m["openssl"], "one P-256 verification by openssl speed",
                        runs={"ours": times["accept"], "baseline": times["openssl"]}),
    ]
    details = [
        "median of the %d rounds' own ratios with / without a key: %.3f" % (ROUNDS, paired),
        "SHA-256 of the 15 staged modules inside the process: %.0f ms, of which reading the "
        "files again takes %.0f ms (TrustBench.exe reading them in the same pieces without "
        "hashing); hashing each module while it is received would save only that reading, "
        "%.1f%% of the attempt with a key, since the hashing itself stays"
        % (m["sha_in"], m["read"], 100 * m["read"] / m["keyed"]),
    ]
    benchlib.write_result(
        benchlib.json_argument(sys.argv), "trust", "What a publisher's key costs",
        "The release of the whole-attempt benchmark (15 modules of 16 MiB of random bytes from a "
        "private nginx on loopback), its digest list signed by the release tool. Each round runs "
        "the real Updater.exe in silent mode once as built (no key) and once with the key set by "
        "`release-tool set-key`, in alternating order, from a warm Wine session; timed from the "
        "host log's \"updater-started\" to \"updater-exited\". TrustBench.exe (the engine's own "
        "code, CNG under Wine) then hashes the 15 staged modules one after another, timed inside "
        "its process and as a whole process, against `sha256sum` of the same files (whole "
        "process; the hashes must agree); and accepts the signed list %d times (read, parse, "
        "signature, expiry, serial) and checks its signature alone %d times, medians, against "
        "`openssl speed -seconds 1 ecdsap256`'s time per verification. %d rounds after an "
        "untimed warm-up; medians." % (VERIFY_RUNS, VERIFY_RUNS, ROUNDS),
        "Loopback and page cache: no network or disk waits, so the key's share of an attempt is "
        "as large as it can be; over a real network it shrinks. sha256sum uses the processor's "
        "SHA instructions where it has them; the updater's SHA-256 is whatever the platform's "
        "CNG provides (under Wine, Wine's own implementation). openssl speed is native code in "
        "a tight loop, so its per-verification time is a floor.",
        ROUNDS, before, figures, details)


if __name__ == "__main__":
    main()
