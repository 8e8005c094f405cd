#!/usr/bin/python3
"""Writes the release archives from a finished build.

  updater-VERSION-ARCH.zip           the programs, the host kit, the sample host
                                     and the documents, under updater-VERSION-ARCH/
  release-tool-VERSION-linux-x86_64.tar.gz
                                     the native release tool for Linux publishers

The same inputs give the same bytes: entries are sorted, every entry carries
the same fixed time and fixed permissions, and nothing of this machine (owner,
build folder, clock) is written.
"""
import argparse
import gzip
import io
import os
import sys
import tarfile
import zipfile

# 2026-01-01 00:00:00: the time every entry carries.
FIXED_TIME = (2026, 1, 1, 0, 0, 0)
FIXED_EPOCH = 1767225600

# Documents shipped when the tree has them, by their path in the tree.
DOCUMENTS = ["README.md", "docs/integration.md", "docs/protocol.md", "docs/publishing.md",
             "docs/security.md", "docs/release-format.md", "docs/windows.md"]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def windows_entries(a):
    """(name in the archive, bytes) for the Windows archive."""
    src = a.source
    entries = {
        "Updater.exe": read(a.updater),
        "ReleaseTool.exe": read(a.release_tool),
        "kit/include/hostkit.h": read(os.path.join(src, "hostkit/hostkit.h")),
        "kit/lib/libhostkit.a": read(a.kit_lib),
        "kit/lib/libhostkit.dll.a": read(a.kit_import),
        "kit/bin/hostkit.dll": read(a.kit_dll),
        "sample/SampleHost.exe": read(a.sample),
        "sample/hostkit.dll": read(a.kit_dll),
        "sample/SampleHost.c": read(os.path.join(src, "samples/host/SampleHost.c")),
        "VERSION": (a.version + "\n").encode(),
    }
    for doc in DOCUMENTS:
        path = os.path.join(src, doc)
        if os.path.exists(path):
            entries[doc if doc == "README.md" else "docs/" + os.path.basename(doc)] = read(path)
    return entries


def write_zip(path, top, entries):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as z:
        for name in sorted(entries):
            info = zipfile.ZipInfo(top + "/" + name, FIXED_TIME)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3  # Unix, so that the permissions below are read
            info.external_attr = (0o100644 << 16)
            z.writestr(info, entries[name], compresslevel=9)
    with open(path, "wb") as f:
        f.write(buffer.getvalue())


def write_tar_gz(path, top, entries):
    """entries: name -> (bytes, mode)."""
    raw = io.BytesIO()
    with tarfile.open(fileobj=raw, mode="w", format=tarfile.PAX_FORMAT) as t:
        for name in sorted(entries):
            data, mode = entries[name]
            info = tarfile.TarInfo(top + "/" + name)
            info.size, info.mode, info.mtime = len(data), mode, FIXED_EPOCH
            info.uid = info.gid = 0
            info.uname = info.gname = "root"
            t.addfile(info, io.BytesIO(data))
    packed = io.BytesIO()
    with gzip.GzipFile(filename="", mode="wb", fileobj=packed, mtime=0, compresslevel=9) as g:
        g.write(raw.getvalue())
    with open(path, "wb") as f:
        f.write(packed.getvalue())


def main():
    p = argparse.ArgumentParser()
    for name in ["source", "out", "version", "arch", "updater", "release-tool", "kit-lib",
                 "kit-dll", "kit-import", "sample"]:
        p.add_argument("--" + name, required=True)
    p.add_argument("--native-tool")
    a = p.parse_args()
    os.makedirs(a.out, exist_ok=True)
    top = "updater-%s-%s" % (a.version, a.arch)
    write_zip(os.path.join(a.out, top + ".zip"), top, windows_entries(a))
    written = [top + ".zip"]
    if a.native_tool:
        native_top = "release-tool-%s-linux-x86_64" % a.version
        native = {"release-tool": (read(a.native_tool), 0o755)}
        publishing = os.path.join(a.source, "docs/publishing.md")
        if os.path.exists(publishing):
            native["publishing.md"] = (read(publishing), 0o644)
        write_tar_gz(os.path.join(a.out, native_top + ".tar.gz"), native_top, native)
        written.append(native_top + ".tar.gz")
    for name in written:
        print("dist: %s/%s" % (a.out, name))
    return 0


if __name__ == "__main__":
    sys.exit(main())
