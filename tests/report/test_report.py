"""The two report writers (tools/report): what they count, what they refuse to
count, and that what they write stays one table row per case whatever the
rows hold. The rows and results are written by the same code the suites and
benchmarks use (casebook.py, benchlib.py), so a change of either format
breaks these tests rather than the documents."""

import importlib
import json
import os
import shutil
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tools", "report"))
sys.path.insert(0, os.path.join(ROOT, "bench", "lib"))
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))

import benchlib  # noqa: E402
import goals  # noqa: E402
import performance  # noqa: E402
import reliability  # noqa: E402


class Temp(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="report-test-")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *names):
        return os.path.join(self.dir, *names)

    def read(self, name):
        with open(self.path(name), encoding="utf-8") as f:
            return f.read()


class Reliability(Temp):
    def casebook(self, suite):
        """A Casebook of the suites' own module, writing below this test's folder."""
        os.environ["TEST_BINARY_DIR"] = self.dir
        import casebook
        importlib.reload(casebook)
        return casebook.Casebook(suite)

    def write_doc(self):
        reliability.main(["--rows", self.path("reports", "reliability"), "--out", self.path("r.md")])
        return self.read("r.md")

    def test_totals_mends_and_rows_from_the_suites_casebook(self):
        net = self.casebook("network")
        net.row("digest list 404", done="server answers 404", expected="four attempts, failure",
                happened="four attempts, failure shown", passed=True)
        net.row("body cut short", done="cut at 150000", expected="resumed",
                happened="not resumed", passed=False, mend="resume kept the partial file")
        disk = self.casebook("disk")
        disk.row("killed during install", done="killed 20 times", expected="old or new bytes",
                 happened="old or new bytes", passed=True, inputs=20)
        disk.row("locked target", done="held open", expected="retried", happened="retried",
                 passed=True, mend="resume kept the partial file")
        bad = self.casebook("badinput")
        bad.row("digest lists", done="12 malformed lists", expected="no crash",
                happened="no crash", passed=True, kind="input", inputs=12)
        doc = self.write_doc()
        t = reliability.totals(*reliability.read_rows(self.path("reports", "reliability")))
        self.assertEqual((5, 4), (t["run"], t["passed"]))
        # A fault row counts its repetitions; a failed fault row is not survived.
        self.assertEqual((22, 23, 4), (t["faults_survived"], t["faults_tried"], t["fault_cases"]))
        self.assertEqual((12, 1), (t["inputs_tried"], t["input_cases"]))
        self.assertIn("| Cases passed / run | 4 / 5 |", doc)
        self.assertIn("| Faults survived | 22 of 23, in 4 fault cases |", doc)
        self.assertIn("| Installed files found corrupted (must be 0) | 0 |", doc)
        # One mend named by two cases is listed once, with both.
        self.assertEqual(1, doc.count("- resume kept the partial file"))
        self.assertIn("(disk: locked target; network: body cut short)", doc)
        self.assertIn("| body cut short | cut at 150000 | resumed | not resumed | **NO** |", doc)
        for suite in ("### badinput (1 of 1 passed)", "### disk (2 of 2 passed)",
                      "### network (1 of 2 passed)"):
            self.assertIn(suite, doc)

    def test_corruption_is_flagged_and_never_hidden_by_a_pass(self):
        book = self.casebook("disk")
        book.row("kill 3", done="d", expected="e", happened="h", passed=True, corrupted=2)
        doc = self.write_doc()
        self.assertIn("**2: NOT ZERO**", doc)

    def test_rows_that_cannot_be_read_count_as_run_and_failed(self):
        folder = self.path("reports", "reliability")
        os.makedirs(folder)
        good = json.dumps({"suite": "x", "case": "fine", "passed": True})
        with open(os.path.join(folder, "x.jsonl"), "wb") as f:
            f.write(b"\n".join([
                good.encode(),
                b'{"suite": "x", "case": "cut sh',                       # killed mid-write
                b"\xff\xfe not text",                                    # not UTF-8
                json.dumps({"case": "no verdict"}).encode(),
                json.dumps({"case": "c", "passed": "yes"}).encode(),     # a string, not a bool
                json.dumps({"case": "c", "passed": True, "inputs": "3"}).encode(),
                json.dumps({"case": "c", "passed": True, "corrupted": -1}).encode(),
                json.dumps({"case": "c", "passed": True, "kind": "other"}).encode(),
                json.dumps(["a", "list"]).encode(),
                b"", b"   ",
            ]))
        rows, unreadable = reliability.read_rows(folder)
        self.assertEqual(["fine"], [r["case"] for r in rows])
        self.assertEqual([2, 3, 4, 5, 6, 7, 8, 9], [line for _, line, _ in unreadable])
        doc = self.write_doc()
        self.assertIn("| Cases passed / run | 1 / 9 |", doc)
        self.assertIn("| Unreadable rows (counted as failed) | 8 |", doc)
        self.assertIn("| x.jsonl | 2 | not JSON", doc)

    def test_any_text_stays_inside_its_cell(self):
        book = self.casebook("input")
        nasty = "a | b\nline two\r\n<script>x</script> back\\slash `code`"
        book.row(nasty, done=nasty, expected="", happened="升级 | 完成", passed=True,
                 kind="input", mend="pipe | and\nnewline")
        doc = self.write_doc()
        table = [l for l in doc.splitlines() if l.startswith("| a ")]
        self.assertEqual(1, len(table), doc)
        self.assertEqual(5, len(table[0].replace("\\|", "").strip("|").split("|")), table)
        self.assertNotIn("<script>", doc)
        self.assertIn("升级 \\| 完成", doc)
        self.assertIn("- pipe \\| and newline", doc)

    def test_no_rows_gives_a_document_that_says_so(self):
        doc = self.write_doc()
        self.assertIn("| Cases passed / run | 0 / 0 |", doc)
        self.assertIn("No rows were found", doc)
        self.assertIn("No row records a mend.", doc)


def result(name, figures, **extra):
    data = {"name": name, "title": name.title(), "method": "how " + name, "limits": "limits " + name,
            "rounds": 3, "cpus": 2, "load": {"before": [1.0, 2.0, 3.0], "after": [1.5, 2.0, 3.0]},
            "cpu_pressure": {"before": 12.3, "after": 40.0},
            "figures": figures, "details": [], "time": "t"}
    data.update(extra)
    return data


class Performance(Temp):
    def write_results(self, results):
        os.makedirs(self.path("bench"), exist_ok=True)
        for r in results:
            with open(self.path("bench", r["name"] + ".json"), "w") as f:
                json.dump(r, f)

    def write_doc(self, *extra):
        performance.main(["--results", self.path("bench"), "--responsiveness",
                          self.path("responsiveness.json"), "--out", self.path("p.md")] + list(extra))
        return self.read("p.md")

    def test_results_written_by_the_benchmarks_are_reported_in_order_with_their_ratios(self):
        before = benchlib.machine()
        benchlib.write_result(self.path("bench", "startup.json"), "startup", "Start-up", "m", "l",
                              3, before, [benchlib.figure("to visible", 300, 60, "trivial",
                                                          runs={"ours": [1, 2], "baseline": [3]})])
        benchlib.write_result(self.path("bench", "attempt.json"), "attempt", "Attempt", "how",
                              "lim", 7, before,
                              [benchlib.figure("inside", 30, 32, "bound", unit="MiB",
                                               key="private"),
                               benchlib.figure("peak", 40, 16, "largest", unit="MiB"),
                               benchlib.figure("outside", 150, 100, "ideal", key="whole")],
                              details=["a detail"])
        # A goal or a reason written into a result file by hand is not shown.
        with open(self.path("bench", "attempt.json"), encoding="utf-8") as f:
            edited = json.load(f)
        edited["figures"][2].update(goal="at most 9", note="hand-written excuse")
        with open(self.path("bench", "attempt.json"), "w", encoding="utf-8") as f:
            json.dump(edited, f)
        doc = self.write_doc()
        self.assertLess(doc.index("## Attempt"), doc.index("## Start-up"))
        self.assertIn("| Attempt | inside | 30.0 MiB |", doc)
        self.assertIn("| inside | 30.0 MiB | 32.0 MiB (bound) | 0.94 |  | "
                      "at most 1.0 (under 32 MiB): met |", doc)
        self.assertIn("| 1.50 |  | at most 1.0: not met (measured under a load of about ", doc)
        self.assertNotIn("hand-written", doc)
        self.assertNotIn("at most 9", doc)
        self.assertIn("| peak | 40.0 MiB | 16.0 MiB (largest) | 2.50 |  |  |", doc)
        # The fastest runs' ratio comes from the runs themselves: 1 / 3.
        self.assertIn("| to visible | 300 ms | 60.0 ms (trivial) | 5.00 | 0.33 |  |", doc)
        self.assertIn("How it was measured: how", doc)
        self.assertIn("What limits it: lim", doc)
        self.assertIn("- a detail", doc)
        self.assertIn("- to visible: ours 1 2; baseline 3", doc)
        self.assertIn("on %d CPUs" % os.cpu_count(), doc)

    def test_every_goal_missed_says_why_from_its_own_run(self):
        for (name, key), goal in goals.GOALS.items():
            res = result(name, [])
            fig = benchlib.figure("x", 9000, 1000, "b", key=key,
                                  runs={"ours": [9000, 9100], "baseline": [900, 1000],
                                        "trivial": [200, 600]})
            text = goals.verdict(res, fig, performance.ratio(fig))
            self.assertTrue(text.startswith(goal.text() + ": not met (measured under a load "
                                            "of about 1 on 2 CPUs"), (name, key, text))
            fig = benchlib.figure("x", goal.bound, 1, "b", key=key)
            self.assertEqual(goals.verdict(res, fig, performance.ratio(fig)),
                             goal.text() + ": met")
        fix = benchlib.figure("x", 4000, 1000, "b", key="fix-start",
                              runs={"ours": [1], "baseline": [1], "trivial": [200, 600]})
        self.assertIn("took 200 to 600 ms", goals.verdict(result("wan", []), fix, 4.0))

    def test_a_failed_or_broken_benchmark_shows_no_figures(self):
        # A result left from an earlier run of a benchmark that failed now
        # must not be shown as this run's.
        self.write_results([result("digest", [{"label": "stale", "ours": 1, "baseline": 1}]),
                            result("paint", [{"label": "fresh", "ours": 2, "baseline": 1}])])
        with open(self.path("bench", "attempt.json"), "w") as f:
            f.write('{"name": "attempt", "figu')
        doc = self.write_doc("--failed", "digest")
        self.assertNotIn("stale", doc)
        self.assertIn("| Digest | not measured in this run |", doc)
        self.assertIn("| attempt | not measured in this run |", doc)
        self.assertIn("| fresh | 2.00 ms | 1.00 ms (?) | 2.00 |  |  |", doc)
        self.assertIn("1.00 / 2.00 / 3.00 before, 1.50 / 2.00 / 3.00 after, on 2 CPUs; some task "
                      "waited for a CPU 12% of the 10 s before and 40% of the 10 s after", doc)

    def test_missing_or_impossible_values_are_shown_as_unknown(self):
        self.write_results([result("digest", [
            {"label": "zero baseline", "ours": 5, "baseline": 0},
            {"label": "text", "ours": "fast", "baseline": 1},
            {"label": "nan", "ours": float("nan"), "baseline": 2},
            {"label": "zero run", "ours": 1, "baseline": 1, "runs": {"ours": [1, None],
                                                                    "baseline": [0, "x"]}},
            "not a figure"],
            load={"before": "high"}, cpu_pressure={"before": "x"})])
        doc = self.write_doc()
        self.assertIn("| zero baseline | 5.00 ms | 0.000 ms (?) | ? |", doc)
        self.assertIn("| text | ? | 1.00 ms (?) | ? |", doc)
        self.assertIn("| nan | ? | 2.00 ms (?) | ? |", doc)
        self.assertIn("| zero run | 1.00 ms | 1.00 ms (?) | 1.00 |  |  |", doc)
        self.assertIn("- zero run: ours 1 ?; baseline 0 ?", doc)
        self.assertIn("load averages (1 / 5 / 15 min) ? before, ? after, on 2 CPUs; 3 rounds", doc)

    def test_responsiveness_figures_against_their_goals(self):
        self.write_results([])
        self.assertIn("Not measured: `responsiveness.json` does not exist", self.write_doc())
        with open(self.path("responsiveness.json"), "w") as f:
            f.write("{not json")
        self.assertIn("is not valid JSON", self.write_doc())
        with open(self.path("responsiveness.json"), "w") as f:
            json.dump({"worst_answer_ms": 42.5, "reports": {"per_module_per_second": 10},
                       "modules": 15, "note": "text"}, f)
        doc = self.write_doc()
        self.assertIn("| worst_answer_ms | 42.5 | 100 | 0.42 |", doc)
        self.assertIn("| reports.per_module_per_second | 10 | 20 | 0.50 |", doc)
        self.assertIn("| modules | 15 |  |  |", doc)
        self.assertNotIn("note", doc)


if __name__ == "__main__":
    unittest.main()
