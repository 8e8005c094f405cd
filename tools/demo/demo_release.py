"""What the demo publishes and how it judges the outcome: the new release,
the digests printed by the release tool, and the checks of the program
folder and the host's log after a run. No Wine and no servers here."""

import configparser

from e2e_common import MODULES, newer_host, pattern_bytes

KIB = 1024

# Modules the new release changes, with their new sizes: a few MB in all, so
# that a slowed-down server keeps the progress on screen for a few seconds.
CHANGED_SIZES = {
    "Quorvel": 1400 * KIB,
    "Havrost": 1000 * KIB,
    "Corvane": 800 * KIB,
    "Amblor": 600 * KIB,
    "Yandrel": 400 * KIB,
}

CHANGELOG = """\
Tevrane 2.0 更新内容：
1. 全新的消息中心，支持按时间和类型筛选。
2. 大文件传输速度提升约 30%。
3. 修复了在高分辨率屏幕上图标模糊的问题。
4. 修复了部分用户登录后设置丢失的问题。
感谢您的支持！
"""

SILENT_FOLDER = "UpgradeBackup"
MARKER = SILENT_FOLDER + "/qim_s.backup"
STAGING_FOLDER = "UpgradeBackup_P"


def local_name(module_name):
    return next(local for name, _, local in MODULES if name == module_name)


def new_release(installed):
    """Module name -> new bytes of every module the new release changes; the
    host becomes a newer copy of the installed host stand-in, so that the
    restarted host still runs."""
    changed = {name: pattern_bytes(size, seed=200 + i)
               for i, (name, size) in enumerate(CHANGED_SIZES.items())}
    changed["Nirvek"] = newer_host(installed["Tevrane.exe"], "demo release 2.0".encode())
    return changed


def expected_files(installed, changed):
    """Installed file name -> bytes once the new release is installed."""
    files = dict(installed)
    for name, data in changed.items():
        files[local_name(name)] = data
    return files


def parse_digests(tool_output):
    """Module name -> (remote file, size, digest) from the release tool's
    listing ("name remote size digest" per module)."""
    known = {name for name, _, _ in MODULES}
    digests = {}
    for line in tool_output.splitlines():
        fields = line.split()
        if (len(fields) == 4 and fields[0] in known and fields[2].isdigit()
                and len(fields[3]) == 32):
            digests[fields[0]] = (fields[1], int(fields[2]), fields[3])
    return digests


def all_transferred(requests, changed):
    """Whether the server's transfer records show every changed module sent
    whole (the parts of a resumed transfer add up)."""
    sent = {}
    for r in requests:
        if r.get("status") in (200, 206):
            sent[r["uri"]] = sent.get(r["uri"], 0) + r.get("bytes", 0)
    remote = {name: name + ext for name, ext, _ in MODULES}
    return all(sent.get("/" + remote[name], -1) >= len(data) for name, data in changed.items())


def _differences(folder, expected, prefix=""):
    problems = []
    for name in sorted(expected):
        path = prefix + name
        if not folder.exists(path):
            problems.append("%s is missing" % path)
        elif folder.read(path) != expected[name]:
            problems.append("%s differs from the new release" % path)
    return problems


def check_installed(folder, expected):
    """Problems of an interactive update: every installed file must equal the
    new release byte for byte, and the staging folder must be gone."""
    problems = _differences(folder, expected)
    if folder.exists(STAGING_FOLDER):
        left = folder.listing(STAGING_FOLDER)
        problems.append("the staging folder %s is still there (%s)"
                        % (STAGING_FOLDER, ", ".join(left) or "empty"))
    return problems


def marker_key(folder):
    """The marker's [SUpgrade] Key, or None when there is no readable marker."""
    if not folder.exists(MARKER):
        return None
    config = configparser.ConfigParser()
    try:
        config.read_string(folder.read(MARKER).decode("gbk", "replace"))
    except configparser.Error:
        return None
    return config.get("SUpgrade", "Key", fallback=None)


def check_staged(folder, installed, changed):
    """Problems of a silent update: exactly the changed modules staged under
    their final names with the new bytes, the marker written with Key=1, and
    nothing installed touched."""
    staged = {local_name(name): data for name, data in changed.items()}
    problems = _differences(folder, staged, SILENT_FOLDER + "/")
    present = folder.listing(SILENT_FOLDER) if folder.exists(SILENT_FOLDER) else []
    extra = sorted(set(present) - set(staged) - {"qim_s.backup"})
    if extra:
        problems.append("%s holds files of no changed module: %s"
                        % (SILENT_FOLDER, ", ".join(extra)))
    key = marker_key(folder)
    if key != "1":
        problems.append("the marker %s was not written" % MARKER if key is None
                        else "the marker %s has Key=%s, not 1" % (MARKER, key))
    problems += [p + " (silent mode must not install)" for p in _differences(folder, installed)]
    return problems


def host_outcome(run):
    """(lines for the report, problems) of the host's log of an interactive
    update: the updater must have set the host's exit event, the host must
    have ended, and a host must have been started again after that."""
    names = [event for _, event, _ in run.events]
    lines, problems = [], []
    if "exit-event-set" in names:
        lines.append("The updater set the host's exit event; the host exited.")
    else:
        exited = run.details("updater-exited")
        problems.append("the host's exit event was never set (%s)"
                        % ("the updater ended, %s" % exited[0] if exited
                           else "the updater did not end"))
    if "host-exit" in names and "restarted" in names[names.index("host-exit"):]:
        lines.append("The host was restarted (%s)." % run.details("restarted")[0])
    elif "restarted" in names:
        problems.append("a host was started before the first one had exited")
    else:
        problems.append("the host was not restarted")
    return lines, problems
