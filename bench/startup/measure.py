"""Driver of bench/startup/run.sh: start-up of the real updater to a visible
dialog in a warm Wine session, against a trivial windowed program started the
same way in the same run.

The host stand-in starts the program with a launch block for the optional mode
and records, in host.log, "updater-started" after CreateProcess and
"updater-window-visible" once a top-level window of that process is visible
(it looks every 20 ms); the figure is the time between the two. Ours is
Updater.exe, which fetches the change log from a private nginx, starts GDI+,
loads its skin and shows the dialog; the baseline is FirstWindow.exe, which
shows a window at once. Both are closed by the host's "*_UPDATER_EXIT_*".

    measure.py [--json FILE]"""
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "lib"))
import benchlib  # noqa: E402

sys.path.insert(0, os.path.join(benchlib.ROOT, "tests", "e2e"))
from programdir import HostRun  # noqa: E402

ROUNDS = int(os.environ.get("STARTUP_BENCH_ROUNDS", "9"))
BUILD = benchlib.BUILD
WORK = os.path.join(BUILD, "bench", "startup")
WWW = os.path.join(WORK, "www")
PROGRAM = os.path.join(WORK, "program")
UPDATER = os.environ.get("STARTUP_BENCH_UPDATER") or os.path.join(BUILD, "app", "Updater.exe")
HOST = os.path.join(BUILD, "tools", "host", "HostStandIn.exe")
FIRST_WINDOW = os.path.join(BUILD, "bench", "startup", "FirstWindow.exe")
# The host closes the program this long after its own start; the updater's
# dialog is visible well before (a few hundred ms warm).
CLOSE_AFTER_MS = 1500


def prepare():
    for path in (UPDATER, HOST, FIRST_WINDOW, benchlib.KEEPALIVE_EXE):
        if not os.path.exists(path):
            sys.exit("missing %s: run make build first" % path)
    os.makedirs(WWW, exist_ok=True)
    os.makedirs(PROGRAM, exist_ok=True)
    # "修复了一些问题" twelve times, in code page 936, as the release tool writes it.
    with open(os.path.join(WWW, "UpdateContent.dll"), "wb") as f:
        f.write("修复了一些问题\r\n".encode("gbk") * 12)
    shutil.copy(UPDATER, os.path.join(PROGRAM, "Updater.exe"))
    shutil.copy(HOST, os.path.join(PROGRAM, "Tevrane.exe"))
    shutil.copy(FIRST_WINDOW, os.path.join(PROGRAM, "FirstWindow.exe"))


def start_to_visible(base_url, program):
    """Milliseconds from the host's start of `program` to its visible window."""
    log = os.path.join(PROGRAM, "host.log")
    if os.path.exists(log):
        os.remove(log)
    command = [benchlib.WINE_RUN, benchlib.windows_path(os.path.join(PROGRAM, "Tevrane.exe")),
               "--mode", "1", "--url", base_url, "--updater",
               benchlib.windows_path(os.path.join(PROGRAM, program)),
               "--updater-exit-after", str(CLOSE_AFTER_MS), "--exit-with-updater",
               "--timeout", "30000"]
    subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, timeout=60)
    with open(log, "rb") as f:
        run = HostRun(0, f.read().decode("gbk", "replace"), 0)
    times = {}
    for t, event, _ in run.events:
        times.setdefault(event, t)
    if "updater-window-visible" not in times or "updater-exited" not in times:
        sys.exit("%s showed no window before it was closed: %r" % (program, run))
    return times["updater-window-visible"] - times["updater-started"]


def main():
    before = benchlib.machine()
    prepare()
    ours, base = [], []
    with benchlib.Nginx(WWW, WORK) as nginx, benchlib.WineSession():
        start_to_visible(nginx.base_url, "Updater.exe")  # warm-up of each, untimed
        start_to_visible(nginx.base_url, "FirstWindow.exe")
        for _ in range(ROUNDS):
            ours.append(start_to_visible(nginx.base_url, "Updater.exe"))
            base.append(start_to_visible(nginx.base_url, "FirstWindow.exe"))
    m_ours, m_base = benchlib.median(ours), benchlib.median(base)
    print("start-up to a visible window, warm Wine, %d rounds, medians" % ROUNDS)
    print("  Updater.exe, optional mode   %7.1f ms   runs %s"
          % (m_ours, " ".join("%d" % v for v in ours)))
    print("  FirstWindow.exe (baseline)   %7.1f ms   runs %s"
          % (m_base, " ".join("%d" % v for v in base)))
    print("  ratio %.2f" % (m_ours / m_base))
    benchlib.write_result(
        benchlib.json_argument(sys.argv), "startup", "Start-up to a visible dialog, warm Wine",
        "In one warm Wine session (a keep-alive process runs throughout; one untimed start of "
        "each first), the host stand-in writes the launch block for the optional mode and "
        "starts the program; its log gives the time from \"updater-started\" (CreateProcess "
        "returned) to \"updater-window-visible\" (a top-level window of that process is "
        "visible). Ours: the real Updater.exe, which reads the launch block, fetches the change "
        "log from a private nginx on loopback, starts GDI+, creates the skinned dialog and shows "
        "it. Baseline: FirstWindow.exe, a program that shows one window at once, started the "
        "same way. %d rounds, the two taking turns; medians." % ROUNDS,
        "The host looks for the window every 20 ms, so each time is late by 0 to 20 ms (both "
        "alike); the baseline, a few tens of ms, is the most affected. Headless: Wine's null "
        "display driver, so \"visible\" means the window has been shown, not that a screen "
        "has drawn it. The change log comes from loopback; a real server adds its round trips. "
        "A cold start (the first Wine process of a session, which also starts Wine's own "
        "services) is not measured.",
        ROUNDS, before,
        [benchlib.figure("start-up to a visible dialog", m_ours, m_base,
                         "a trivial program's start-up to a visible window", key="visible",
                         runs={"ours": ours, "baseline": base})])


if __name__ == "__main__":
    main()
