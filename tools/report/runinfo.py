"""What both reports say about the run that produced them, and the Markdown
helpers they share."""

import os
import subprocess
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def commit(root=ROOT):
    """The checked-out commit, short, with "+ changes" when the work tree
    differs from it; "unknown" outside a git work tree."""
    def git(*args):
        return subprocess.run(["git", "-C", root] + list(args), capture_output=True,
                              text=True, timeout=30)
    try:
        head = git("rev-parse", "--short=12", "HEAD")
        if head.returncode != 0:
            return "unknown"
        dirty = git("status", "--porcelain", "--untracked-files=no").stdout.strip()
        return head.stdout.strip() + (" + uncommitted changes" if dirty else "")
    except (OSError, subprocess.SubprocessError):
        return "unknown"


def now():
    return time.strftime("%Y-%m-%d %H:%M:%S %z")


def cell(value):
    """`value` as one Markdown table cell: no line breaks, pipes and angle
    brackets escaped so that the table and the page stay intact."""
    text = "" if value is None else str(value)
    text = text.replace("\\", "\\\\").replace("|", "\\|")
    text = text.replace("<", "&lt;").replace(">", "&gt;")
    return " ".join(text.split())


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for row in rows:
        lines.append("| " + " | ".join(cell(v) for v in row) + " |")
    return lines


def write(path, lines):
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        f.write("\n".join(lines).rstrip("\n") + "\n")
