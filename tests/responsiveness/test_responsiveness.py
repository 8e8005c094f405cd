"""The dialog stays responsive while 15 modules download in parallel from a
slow server, and it hears of each module's progress at most 20 times a second
(plus the report that ends the transfer). The figures of the run are written
to build/reports/responsiveness.json; the answer times are figures only (the
benchmark bench/responsiveness runs a longer attempt), what is asserted is
that the dialog never stopped answering and that the reports are rationed."""

import json
import os
import unittest

from measurement import BUILD, measure

REPORT = os.path.join(BUILD, "reports", "responsiveness.json")


class Responsiveness(unittest.TestCase):
    def test_fifteen_slow_downloads(self):
        figures = measure(module_bytes=96 * 1024, rate=32 * 1024, pieces=200)
        figures["source"] = "make test (tests/responsiveness), a short attempt"
        os.makedirs(os.path.dirname(REPORT), exist_ok=True)
        with open(REPORT, "w", encoding="utf-8") as f:
            json.dump(figures, f, indent=2, ensure_ascii=False)
        attempt, reports = figures["attempt"], figures["progress_reports"]
        self.assertEqual("finish", attempt["ended"], figures)
        self.assertEqual(0, attempt["unanswered_within_5s"], attempt)
        self.assertEqual(0, figures["baseline_idle_dialog"]["unanswered_within_5s"])
        self.assertEqual(15, reports["modules_reporting"])
        self.assertTrue(reports["every_module_complete"], reports)
        # The server sends 200 pieces a second: unrationed, the dialog would
        # hear of most of them.
        self.assertLessEqual(reports["most_in_one_second"], 21, reports)
        self.assertLessEqual(reports["highest_per_module_per_second"], 20.5, reports)


if __name__ == "__main__":
    unittest.main()
