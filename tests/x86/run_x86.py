"""Runs one end-to-end suite on the 32-bit (i686) build's programs:
run_x86.py X86_BUILD SUITE.py. The suite's own helpers (the dialog probe, the
release tool, the documented example) come from that build too; the Wine
prefix and its session are the 64-bit build's, which runs 32-bit programs
under WoW64. When this machine's Wine cannot run a 32-bit program at all, the
suite is skipped (exit 77) with Wine's own words, never passed."""
import os
import subprocess
import sys

SKIP = 77
NEEDED = ("app/Updater.exe", "tools/host/HostStandIn.exe", "tests/DialogProbe.exe",
          "tests/e2e/EngineDriver.exe", "tests/e2e/HoldFile.exe", "tests/hostkit/DocExample.exe",
          "tests/x86/Bitness.exe", "native/release-tool")


def main():
    x86, suite = sys.argv[1], sys.argv[2]
    missing = [p for p in NEEDED if not os.path.exists(os.path.join(x86, p))]
    if missing:
        print("the x86 build in %s lacks %s: build it with make build-x86" % (x86, ", ".join(missing)))
        return 1
    wine_run = os.environ["WINE_RUN"]
    try:
        probe = subprocess.run([wine_run, os.path.join(x86, "tests", "x86", "Bitness.exe")],
                               capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        print("a 32-bit program did not end under Wine within 120 s")
        return 1
    if probe.stdout.strip() != b"32":
        print("32-bit programs do not run under this machine's Wine; skipped. Wine said:")
        print((probe.stdout + probe.stderr).decode("gbk", "replace").strip())
        return SKIP
    env = dict(os.environ, TEST_BINARY_DIR=x86,
               UPDATER_EXE=os.path.join(x86, "app", "Updater.exe"),
               HOST_EXE=os.path.join(x86, "tools", "host", "HostStandIn.exe"))
    return subprocess.run([sys.executable, suite], env=env).returncode


if __name__ == "__main__":
    sys.exit(main())
