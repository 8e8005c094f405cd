#!/usr/bin/python3
"""The release archives: written twice they are the same bytes; they hold what a
host developer and a publisher need and nothing of this machine; and a host
built from the archive's kit alone (its header and its static library, or its
import library) links.

  check_dist.py MAKE_DIST_PY MINGW_GCC -- ARGUMENTS OF make_dist.py
  check_dist.py MAKE_DIST_PY --from FILE   (FILE: the compiler, then the arguments,
                                            one a line, as a build writes them)

The 32-bit kit DLL exports its functions by their plain names, and a host
linked with its import library by the 32-bit compiler finds them.
"""
import os
import re
import subprocess
import sys
import tarfile
import tempfile
import zipfile

WINDOWS_FILES = {"Updater.exe", "ReleaseTool.exe", "VERSION", "kit/include/hostkit.h",
                 "kit/lib/libhostkit.a", "kit/lib/libhostkit.dll.a", "kit/bin/hostkit.dll",
                 "sample/SampleHost.exe", "sample/hostkit.dll", "sample/SampleHost.c",
                 "README.md", "docs/integration.md"}
# What a host linking the static library adds: the system and the C++ runtime.
SYSTEM_LIBS = ["-limagehlp", "-lshell32", "-lgdi32", "-luser32", "-lole32", "-lstdc++"]


def write(make_dist, inputs, out):
    subprocess.run([sys.executable, make_dist, *inputs, "--out", out], check=True,
                   stdout=subprocess.DEVNULL)
    return {name: open(os.path.join(out, name), "rb").read() for name in os.listdir(out)}


def argument(inputs, name):
    return inputs[inputs.index(name) + 1]


def check_contents(archives, inputs, failures):
    version, arch = argument(inputs, "--version"), argument(inputs, "--arch")
    top = "updater-%s-%s" % (version, arch)
    zip_path = archives[top + ".zip"]
    with zipfile.ZipFile(zip_path) as z:
        names = {n[len(top) + 1:] for n in z.namelist() if n.startswith(top + "/")}
        if len(names) != len(z.namelist()):
            failures.append("entries outside %s/" % top)
        missing = WINDOWS_FILES - names
        if missing:
            failures.append("missing from the zip: %s" % sorted(missing))
        if z.read(top + "/VERSION").decode().strip() != version:
            failures.append("VERSION in the zip differs from %s" % version)
        # Without its own manifest a 32-bit "Updater.exe" counts as an
        # installer on Windows and could not be started without elevation.
        if b'level="asInvoker"' not in z.read(top + "/Updater.exe"):
            failures.append("Updater.exe has no manifest asking to run as its caller")
        z.extractall(os.path.dirname(zip_path))
        leaks = [n for n in z.namelist() if any(
            p.encode() in z.read(n) for p in (argument(inputs, "--source"),
                                              os.environ.get("TEST_BINARY_DIR", "/nonexistent")))]
        if leaks:
            failures.append("build paths inside: %s" % leaks)
    if "--native-tool" in inputs:
        with tarfile.open(archives["release-tool-%s-linux-x86_64.tar.gz" % version]) as t:
            tool = t.getmember("release-tool-%s-linux-x86_64/release-tool" % version)
            if not tool.isfile() or tool.mode & 0o111 != 0o111:
                failures.append("the native release tool is not an executable file")
    return os.path.join(os.path.dirname(zip_path), top)


# A host that reaches every part of the kit: the session, the stage, recovery.
STATIC_HOST = r"""
#include "hostkit.h"
int main(void) {
    hostkit_session* kit = 0;
    hostkit_stage_report report = {sizeof report};
    hostkit_launch launch = {sizeof launch};
    launch.mode = HOSTKIT_MODE_SILENT;
    launch.base_url = "http://127.0.0.1/";
    hostkit_recover(0);
    hostkit_apply_stage(0, &report);
    if (hostkit_open(&kit) == HOSTKIT_OK) {
        hostkit_on_exit_request(kit, 0, 0);
        hostkit_start(kit, &launch);
        hostkit_close_updater(kit, 0);
        hostkit_release(kit);
    }
    return hostkit_result_name(HOSTKIT_OK)[0] == 0;
}
"""


def check_links(gcc, folder, sample, failures):
    """Builds a host from the extracted kit alone: the sample host on the DLL,
    a host of every function on the static library."""
    kit = os.path.join(folder, "kit")
    static_source = os.path.join(folder, "static_host.c")
    with open(static_source, "w") as f:
        f.write(STATIC_HOST)
    ways = {"static": [static_source, os.path.join(kit, "lib/libhostkit.a"), *SYSTEM_LIBS,
                       "-static"],
            "DLL": ["-DHOSTKIT_DLL", sample, os.path.join(kit, "lib/libhostkit.dll.a"),
                    "-mwindows"]}
    for way, link in ways.items():
        exe = os.path.join(folder, "host-%s.exe" % way)
        command = [gcc, "-I" + os.path.join(kit, "include"), "-o", exe, *link]
        result = subprocess.run(command, capture_output=True, text=True)
        if result.returncode != 0 or not os.path.exists(exe):
            failures.append("a host linked with the %s kit fails:\n%s" % (way, result.stderr))


def check_exports(gcc, folder, failures):
    """The DLL exports what the header declares, by the plain names (no 32-bit
    "@n" decoration)."""
    objdump = gcc[:gcc.rindex("-gcc")] + "-objdump"
    table = subprocess.run([objdump, "-p", os.path.join(folder, "kit/bin/hostkit.dll")],
                           capture_output=True, text=True, check=True).stdout
    section = table.split("[Ordinal/Name Pointer] Table", 1)[-1].split("\n\n", 1)[0]
    names = re.findall(r"^\s*\[\s*\d+\]\s+(\S+)\s*$", section, re.M)
    header = open(os.path.join(folder, "kit/include/hostkit.h")).read()
    declared = re.findall(r"HOSTKIT_CALL\s+(hostkit_\w+)\s*\(", header)
    if sorted(names) != sorted(declared):
        failures.append("the DLL exports %s; the header declares %s" % (names, declared))


def main():
    if sys.argv[2] == "--from":
        make_dist = sys.argv[1]
        gcc, *inputs = open(sys.argv[3]).read().split("\n")[:-1]
    else:
        make_dist, gcc, inputs = sys.argv[1], sys.argv[2], sys.argv[4:]
    failures = []
    with tempfile.TemporaryDirectory() as work:
        first = write(make_dist, inputs, os.path.join(work, "first"))
        second = write(make_dist, inputs, os.path.join(work, "second"))
        if first != second:
            failures.append("two runs differ: %s" % sorted(
                n for n in first if first[n] != second.get(n)))
        archives = {n: os.path.join(work, "first", n) for n in first}
        folder = check_contents(archives, inputs, failures)
        check_links(gcc, folder, os.path.join(folder, "sample/SampleHost.c"), failures)
        check_exports(gcc, folder, failures)
    for failure in failures:
        print("FAIL:", failure)
    print("archives checked: %d, failures: %d" % (len(first), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
