"""Writes docs/reliability.md from the rows the fault and bad-input suites
recorded with tests/e2e/casebook.py (build/reports/reliability/<suite>.jsonl):
one row per case, the totals and the mends.

    reliability.py [--rows DIR] [--out FILE]

A row that cannot be read (a line cut short when a run was killed, a value of
the wrong type) is never counted as passed: it is listed as unreadable."""

import argparse
import glob
import json
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import runinfo  # noqa: E402

DEFAULT_ROWS = os.path.join(runinfo.ROOT, "build", "reports", "reliability")
DEFAULT_OUT = os.path.join(runinfo.ROOT, "docs", "reliability.md")


def count(value):
    """A row's count field as a non-negative int; None when it is not one."""
    if isinstance(value, bool) or not isinstance(value, int) or value < 0:
        return None
    return value


def parse_row(text):
    """One JSON line as a row dict, or the reason it cannot be used."""
    try:
        row = json.loads(text)
    except ValueError as e:
        return None, "not JSON (%s)" % e.msg
    if not isinstance(row, dict):
        return None, "not an object"
    if not isinstance(row.get("case"), str) or not row["case"].strip():
        return None, "no case name"
    if not isinstance(row.get("passed"), bool):
        return None, "no passed/failed verdict"
    for field in ("inputs", "corrupted"):
        if count(row.get(field, 0 if field == "corrupted" else 1)) is None:
            return None, "%s is not a count" % field
    if row.get("kind", "fault") not in ("fault", "input"):
        return None, "unknown kind %r" % row.get("kind")
    return row, None


def read_rows(folder):
    """(rows, unreadable): the rows of every <suite>.jsonl in `folder`, in file
    name order and recorded order; unreadable lists (file, line, reason)."""
    rows, unreadable = [], []
    for path in sorted(glob.glob(os.path.join(folder, "*.jsonl"))):
        suite = os.path.splitext(os.path.basename(path))[0]
        with open(path, "rb") as f:
            data = f.read()
        for number, raw in enumerate(data.split(b"\n"), 1):
            if not raw.strip():
                continue
            try:
                text = raw.decode("utf-8")
            except UnicodeDecodeError:
                unreadable.append((os.path.basename(path), number, "not UTF-8"))
                continue
            row, reason = parse_row(text)
            if row is None:
                unreadable.append((os.path.basename(path), number, reason))
                continue
            row.setdefault("suite", suite)
            rows.append(row)
    return rows, unreadable


def totals(rows, unreadable):
    faults = [r for r in rows if r.get("kind", "fault") == "fault"]
    inputs = [r for r in rows if r.get("kind") == "input"]
    return {
        "run": len(rows) + len(unreadable),
        "passed": sum(1 for r in rows if r["passed"]),
        "fault_cases": len(faults),
        "faults_survived": sum(r.get("inputs", 1) for r in faults if r["passed"]),
        "faults_tried": sum(r.get("inputs", 1) for r in faults),
        "input_cases": len(inputs),
        "inputs_tried": sum(r.get("inputs", 1) for r in inputs),
        "corrupted": sum(r.get("corrupted", 0) for r in rows),
        "unreadable": len(unreadable),
    }


def mends(rows):
    """Each distinct mend text with the cases that name it, in first-seen order."""
    found = {}
    for r in rows:
        text = r.get("mend")
        if isinstance(text, str) and text.strip():
            found.setdefault(" ".join(text.split()), []).append("%s: %s" % (r["suite"], r["case"]))
    return list(found.items())


def plural(n, noun):
    return "%d %s%s" % (n, noun, "" if n == 1 else "s")


def render(rows, unreadable, generated, commit, source):
    t = totals(rows, unreadable)
    times = sorted(r["time"] for r in rows if isinstance(r.get("time"), str))
    lines = ["# Reliability", ""]
    lines.append("Every case that the fault and bad-input suites ran, as each recorded it: what was "
                 "done, what was expected, what happened. Written by `make report` on %s at commit "
                 "%s from the rows in `%s` (the suites record them when they run, in `make test` "
                 "and `make faults`)." % (generated, commit, source))
    if times:
        lines.append("The rows were recorded between %s and %s." % (times[0], times[-1]))
    lines += ["", "## Totals", ""]
    corrupted = "%d" % t["corrupted"] if t["corrupted"] == 0 else "**%d: NOT ZERO**" % t["corrupted"]
    lines += runinfo.table(["", ""], [
        ("Cases passed / run", "%d / %d" % (t["passed"], t["run"])),
        ("Faults survived", "%d of %d, in %s" % (t["faults_survived"], t["faults_tried"],
                                                 plural(t["fault_cases"], "fault case"))),
        ("Inputs tried", "%d, in %s" % (t["inputs_tried"],
                                        plural(t["input_cases"], "bad-input case"))),
        ("Installed files found corrupted (must be 0)", corrupted),
        ("Unreadable rows (counted as failed)", "%d" % t["unreadable"]),
    ])
    lines += ["", "A fault case counts as many faults as it tried (a case that kills the updater "
              "20 times counts 20); a case passes only when everything it expected held."]
    lines += ["", "## Mends", ""]
    found = mends(rows)
    if found:
        lines += ["Faults the suites found in the updater, and what was changed:", ""]
        lines += ["- %s (%s)" % (runinfo.cell(text), runinfo.cell("; ".join(cases)))
                  for text, cases in found]
    else:
        lines.append("No row records a mend.")
    lines += ["", "## Cases", ""]
    if not rows and not unreadable:
        lines.append("No rows were found: run `make test` (or `make faults`), then `make report`.")
    suites = []
    for r in rows:
        if r["suite"] not in suites:
            suites.append(r["suite"])
    for suite in suites:
        mine = [r for r in rows if r["suite"] == suite]
        lines += ["### %s (%d of %d passed)" % (runinfo.cell(suite),
                                                 sum(1 for r in mine if r["passed"]), len(mine)), ""]
        lines += runinfo.table(
            ["Case", "What was done", "Expected", "What happened", "Passed"],
            [(r["case"], r.get("done", ""), r.get("expected", ""), r.get("happened", ""),
              "yes" if r["passed"] else "**NO**") for r in mine])
        lines.append("")
    if unreadable:
        lines += ["### Unreadable rows", ""]
        lines += runinfo.table(["File", "Line", "Why"], unreadable)
    return lines


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rows", default=DEFAULT_ROWS)
    parser.add_argument("--out", default=DEFAULT_OUT)
    args = parser.parse_args(argv)
    rows, unreadable = read_rows(args.rows)
    source = os.path.relpath(os.path.abspath(args.rows), runinfo.ROOT)
    if source.startswith(".."):
        source = os.path.abspath(args.rows)
    runinfo.write(args.out, render(rows, unreadable, runinfo.now(), runinfo.commit(), source))
    t = totals(rows, unreadable)
    print("reliability: %d of %d cases passed, %d corrupted, %d unreadable -> %s"
          % (t["passed"], t["run"], t["corrupted"], t["unreadable"], args.out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
