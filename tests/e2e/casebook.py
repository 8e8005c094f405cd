"""The record of the fault and bad-input suites: every case a suite runs adds
one row (what was done, what was expected, what happened, and whether that
held) to build/reports/reliability/<suite>.jsonl, from which
tools/report/reliability.py writes docs/reliability.md.

    from casebook import Casebook
    book = Casebook("network")            # one per suite; the file starts empty
    book.row("digest list 404", done="...", expected="...", happened="...",
             passed=True, kind="fault", inputs=1, corrupted=0)

kind: "fault" (a fault the updater must survive) or "input" (bad input it
must handle); inputs: how many inputs the row tried; corrupted: installed
files found corrupted (must be 0)."""

import json
import os
import time

BUILD = os.environ.get("TEST_BINARY_DIR",
                       os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build"))
REPORTS = os.path.join(BUILD, "reports", "reliability")


class Casebook:
    def __init__(self, suite):
        os.makedirs(REPORTS, exist_ok=True)
        self.path = os.path.join(REPORTS, suite + ".jsonl")
        self.suite = suite
        open(self.path, "w").close()

    def row(self, case, done, expected, happened, passed, kind="fault", inputs=1, corrupted=0,
            mend=None):
        record = {"suite": self.suite, "case": case, "done": done, "expected": expected,
                  "happened": happened, "passed": bool(passed), "kind": kind,
                  "inputs": inputs, "corrupted": corrupted, "mend": mend,
                  "time": time.strftime("%Y-%m-%d %H:%M:%S")}
        with open(self.path, "a", encoding="utf-8") as f:
            f.write(json.dumps(record, ensure_ascii=False) + "\n")
