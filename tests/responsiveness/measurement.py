"""How the update dialog answers while 15 modules download in parallel from a
slow server, and how many progress reports it receives.

One run: a program folder with the old release and, as "Updater.exe", the
counting build of the updater (the product's objects plus a thread hook that
records every module progress message reaching the dialog's thread); the 15
modules changed on the local test server, each sent at `rate` bytes per
second in `pieces` pieces a second (many small pieces, so that the bytes arrive
more often than the dialog may be told of them); the host stand-in starts the updater in mode 1. DialogProbe, a
separate process in the same Wine session, then
  1. times SendMessageTimeout(WM_NULL) to the idle dialog every 50 ms for
     `idle_seconds` (the baseline: what an answer costs on this machine when
     the dialog has nothing else to do),
  2. clicks Upgrade and times WM_NULL every 50 ms until Finish is shown (the
     whole attempt: version check, 15 downloads, completion),
and closes the dialog. The reports are counted per module from the hook's
record: in all, per second of that module's transfer, and the most in any one
second.

    python3 measurement.py [--bytes N] [--rate B] [--json FILE]
"""

import argparse
import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "e2e"))
sys.path.insert(0, os.path.join(HERE, "..", "server"))

from e2e_common import BUILD, MODULES, old_release, pattern_bytes, publish  # noqa: E402
from harness import TestServer  # noqa: E402
from programdir import HOST_EXE, WINE_RUN, ProgramFolder, windows_path  # noqa: E402

COUNTING_UPDATER = os.path.join(BUILD, "tests", "responsiveness", "UpdaterCounting.exe")
PROBE = os.path.join(BUILD, "tests", "DialogProbe.exe")
PROGRESS_MESSAGES = {0x400 + 102 + i for i in range(16)} - {0x400 + 111}
PERIOD_MS = 50


def read_answers(path):
    """DialogProbe's answers file: its figures and the list of samples."""
    figures, samples = {}, []
    with open(path) as f:
        for line in f:
            key, value = line.split(None, 1)
            if key == "sample":
                samples.append(float(value))
            elif key == "ended":
                figures[key] = value.strip()
            else:
                figures[key] = float(value)
    figures["samples_ms"] = samples
    return figures


def read_reports(path):
    """message -> list of (seconds, total, received), from the counting build."""
    reports = {}
    with open(path) as f:
        for line in f:
            message, micros, total, received = (int(v) for v in line.split())
            reports.setdefault(message, []).append((micros / 1e6, total, received))
    return reports


def most_in_one_second(times):
    """The most of the sorted `times` (seconds) inside any window of one second."""
    most, start = 0, 0
    for end, t in enumerate(times):
        while t - times[start] >= 1.0:
            start += 1
        most = max(most, end - start + 1)
    return most


def report_figures(reports, module_bytes):
    per_module = {}
    for message, entries in sorted(reports.items()):
        times = [t for t, _, _ in entries]
        span = times[-1] - times[0]
        per_module["0x%x" % message] = {
            "reports": len(entries),
            "seconds": round(span, 3),
            "per_second": round((len(entries) - 1) / span, 2) if span > 0 else None,
            "most_in_one_second": most_in_one_second(times),
            "last_received": entries[-1][2],
            "last_total": entries[-1][1],
        }
    rates = [m["per_second"] for m in per_module.values() if m["per_second"] is not None]
    return {
        "modules_reporting": len(per_module),
        "mean_per_module_per_second": round(statistics.mean(rates), 2) if rates else None,
        "highest_per_module_per_second": max(rates) if rates else None,
        "most_in_one_second": max((m["most_in_one_second"] for m in per_module.values()),
                                  default=0),
        "every_module_complete": all(m["last_received"] == module_bytes == m["last_total"]
                                     for m in per_module.values()) and len(per_module) == 15,
        "per_module": per_module,
    }


def probe(folder, *args, timeout):
    """DialogProbe on the dialog of the updater in `folder`."""
    env = dict(os.environ, DIALOG_PROBE_FOLDER=windows_path(folder.path) + "\\")
    return subprocess.run([WINE_RUN, windows_path(PROBE)] + [str(a) for a in args], env=env,
                          stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                          stderr=subprocess.DEVNULL, timeout=timeout).returncode


def measure(module_bytes=96 * 1024, rate=32 * 1024, pieces=200, idle_seconds=2.0,
            limit_seconds=120):
    """One run as described above; returns its figures (a dict)."""
    work = tempfile.mkdtemp(prefix="responsiveness-")
    folder = ProgramFolder(updater=COUNTING_UPDATER, host=HOST_EXE)
    server = TestServer(lifetime=limit_seconds + 120)
    host = None
    try:
        installed = old_release(folder.read("Tevrane.exe"))
        folder.install_modules(installed)
        server.start()
        # Every module the same size (the host too: it is only staged, never installed).
        new = {name: pattern_bytes(module_bytes, 300 + i) for i, (name, _, _) in enumerate(MODULES)}
        publish(server, new, installed, changelog="响应测试\n")
        server.set_rules({"/%s%s" % (name, ext): {"rate": rate, "pieces": pieces}
                          for name, ext, _ in MODULES})

        progress_log = os.path.join(work, "progress.txt")
        env = dict(os.environ, UPDATER_PROGRESS_LOG=windows_path(progress_log))
        host = subprocess.Popen(
            [WINE_RUN, windows_path(folder.file("Tevrane.exe")), "--mode", "1", "--url",
             server.base_url, "--exit-with-updater", "--timeout", str((limit_seconds + 60) * 1000)],
            env=env, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        idle_out, busy_out = os.path.join(work, "idle.txt"), os.path.join(work, "busy.txt")
        probe(folder, "answers", windows_path(idle_out), PERIOD_MS, int(idle_seconds * 1000),
              timeout=idle_seconds + 40)
        probe(folder, "answers", windows_path(busy_out), PERIOD_MS, limit_seconds * 1000, "--click", 1000,
              timeout=limit_seconds + 40)
        probe(folder, "close", timeout=20)
        host.wait(timeout=60)
        host = None
        folder.wait_for_programs(10)

        idle, busy = read_answers(idle_out), read_answers(busy_out)
        reports = report_figures(read_reports(progress_log), module_bytes)
        return {
            "modules": len(MODULES),
            "module_bytes": module_bytes,
            "server_rate_bytes_per_second": rate,
            "server_pieces_per_second": pieces,
            "probe_period_ms": PERIOD_MS,
            "attempt": {
                "ended": busy["ended"],
                "seconds": busy["seconds"],
                "answers": int(busy["samples"]),
                "unanswered_within_5s": int(busy["unanswered"]),
                "worst_ms": round(busy["worst_ms"], 3),
                "p99_ms": round(busy["p99_ms"], 3),
                "median_ms": round(busy["median_ms"], 3),
            },
            "baseline_idle_dialog": {
                "seconds": idle["seconds"],
                "answers": int(idle["samples"]),
                "unanswered_within_5s": int(idle["unanswered"]),
                "worst_ms": round(idle["worst_ms"], 3),
                "median_ms": round(idle["median_ms"], 3),
            },
            "worst_vs_idle_worst": round(busy["worst_ms"] / idle["worst_ms"], 2)
            if idle["worst_ms"] else None,
            "median_vs_idle_median": round(busy["median_ms"] / idle["median_ms"], 2)
            if idle["median_ms"] else None,
            "progress_reports": reports,
            "goals": {"worst_answer_ms_below": 100, "reports_per_module_per_second_at_most": 20},
            "how": "DialogProbe (another process of the same Wine session) sends WM_NULL with "
                   "SendMessageTimeout every 50 ms and times each answer with "
                   "QueryPerformanceCounter; the counting build of the updater records every "
                   "module progress message reaching the dialog's thread with a WH_CALLWNDPROC "
                   "thread hook, which sees sent messages just before the dialog does",
        }
    finally:
        if host is not None:
            host.kill()
        folder.wait_for_programs(5)
        folder.remove()
        server.stop()
        shutil.rmtree(work, ignore_errors=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--bytes", type=int, default=96 * 1024, help="size of each module")
    parser.add_argument("--rate", type=int, default=32 * 1024, help="bytes per second per module")
    parser.add_argument("--pieces", type=int, default=200,
                        help="pieces per second in which the server sends each module")
    parser.add_argument("--json", help="write the figures here")
    args = parser.parse_args()
    figures = measure(args.bytes, args.rate, args.pieces)
    text = json.dumps(figures, indent=2, ensure_ascii=False)
    if args.json:
        os.makedirs(os.path.dirname(os.path.abspath(args.json)), exist_ok=True)
        with open(args.json, "w", encoding="utf-8") as f:
            f.write(text + "\n")
    summary = {k: v for k, v in figures.items() if k != "progress_reports"}
    summary["progress_reports"] = {k: v for k, v in figures["progress_reports"].items()
                                   if k != "per_module"}
    print(json.dumps(summary, indent=2, ensure_ascii=False))


if __name__ == "__main__":
    main()
