"""Writes docs/performance.md from the benchmarks' result files
(build/reports/bench/<name>.json, written by bench/*/run.sh --json; see
bench/lib/benchlib.py) and, when the responsiveness suite has run, its figures
(build/reports/responsiveness.json).

    performance.py [--results DIR] [--responsiveness FILE] [--failed NAME,...] [--out FILE]

--failed names benchmarks that did not finish in this run; their sections
say so instead of showing figures from an earlier run."""

import argparse
import json
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import goals  # noqa: E402
import runinfo  # noqa: E402

DEFAULT_RESULTS = os.path.join(runinfo.ROOT, "build", "reports", "bench")
DEFAULT_RESPONSIVENESS = os.path.join(runinfo.ROOT, "build", "reports", "responsiveness.json")
DEFAULT_OUT = os.path.join(runinfo.ROOT, "docs", "performance.md")
# The order of the sections; any other result follows in name order.
ORDER = ["digest", "download", "attempt", "paint", "startup"]
# The responsiveness goals: the worst answer to WM_NULL, and progress reports
# per module per second.
WORST_ANSWER_GOAL_MS = 100.0
REPORTS_PER_SECOND_GOAL = 20.0
COLUMNS = ["Ours (median)", "Baseline (median)", "Ratio", "Fastest runs' ratio", "Goal"]


def number(value):
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        return None
    return None if math.isnan(value) or math.isinf(value) else float(value)


def amount(value, unit):
    v = number(value)
    if v is None:
        return "?"
    digits = 0 if abs(v) >= 100 else 1 if abs(v) >= 10 else 2 if abs(v) >= 1 else 3
    return "%.*f %s" % (digits, v, unit)


def ratio(figure):
    """ours / baseline, from the figure's own values when both are there."""
    ours, base = number(figure.get("ours")), number(figure.get("baseline"))
    if ours is not None and base:
        return ours / base
    return number(figure.get("ratio"))


def fastest_ratio(figure):
    """min(ours' runs) / min(baseline's runs): the two runs least disturbed by
    other work on the machine. None without both lists of times."""
    runs = figure.get("runs")
    if figure.get("unit", "ms") != "ms" or not isinstance(runs, dict):
        return None
    ours = [number(v) for v in runs.get("ours") or [] if number(v) is not None]
    base = [number(v) for v in runs.get("baseline") or [] if number(v) is not None]
    if not ours or not base or min(base) <= 0:
        return None
    return min(ours) / min(base)


def read_results(folder):
    """name -> result dict, and the names of files that could not be read."""
    results, broken = {}, []
    if not os.path.isdir(folder):
        return results, broken
    for entry in sorted(os.listdir(folder)):
        if not entry.endswith(".json"):
            continue
        try:
            with open(os.path.join(folder, entry), encoding="utf-8") as f:
                result = json.load(f)
            if not isinstance(result, dict) or not isinstance(result.get("figures"), list):
                raise ValueError("no figures")
        except (OSError, ValueError):
            broken.append(entry[:-5])
            continue
        results[result.get("name") or entry[:-5]] = result
    return results, broken


def load_text(result):
    load = result.get("load") or {}
    before, after = load.get("before"), load.get("after")

    def triple(v):
        if isinstance(v, list) and len(v) == 3 and all(number(x) is not None for x in v):
            return " / ".join("%.2f" % x for x in v)
        return "?"
    text = ("load averages (1 / 5 / 15 min) %s before, %s after, on %s CPUs"
            % (triple(before), triple(after), result.get("cpus", "?")))
    pressure = result.get("cpu_pressure") or {}
    p_before, p_after = number(pressure.get("before")), number(pressure.get("after"))
    if p_before is not None and p_after is not None:
        text += ("; some task waited for a CPU %.0f%% of the 10 s before and %.0f%% of the 10 s "
                 "after" % (p_before, p_after))
    return text


def figure_rows(result):
    rows = []
    for f in result["figures"]:
        if not isinstance(f, dict):
            continue
        r, fast = ratio(f), fastest_ratio(f)
        unit = f.get("unit", "ms")
        rows.append((f.get("label", "?"), amount(f.get("ours"), unit),
                     "%s (%s)" % (amount(f.get("baseline"), unit), f.get("baseline_label", "?")),
                     "?" if r is None else "%.2f" % r, "" if fast is None else "%.2f" % fast,
                     goals.verdict(result, f, r)))
    return rows


def runs_lines(result):
    lines = []
    for f in result["figures"]:
        if isinstance(f, dict) and isinstance(f.get("runs"), dict):
            parts = []
            for key, values in f["runs"].items():
                if isinstance(values, list):
                    parts.append("%s %s" % (key, " ".join(
                        "?" if number(v) is None else "%g" % round(v, 1) for v in values)))
            if parts:
                lines.append("- %s: %s" % (runinfo.cell(f.get("label", "?")),
                                           runinfo.cell("; ".join(parts))))
    return lines


def responsiveness_lines(path):
    lines = ["## Responsiveness while 15 modules download", ""]
    try:
        with open(path, encoding="utf-8") as f:
            data = json.load(f)
    except OSError:
        return lines + ["Not measured: `%s` does not exist (the responsiveness suite writes it "
                        "when `make test` runs)." % os.path.basename(path)]
    except ValueError:
        return lines + ["Not shown: `%s` is not valid JSON." % os.path.basename(path)]
    if not isinstance(data, dict):
        return lines + ["Not shown: `%s` holds no figures." % os.path.basename(path)]
    lines += ["From the responsiveness suite's last run (`%s`), measured against the goals "
              "rather than a baseline: the dialog must answer `SendMessageTimeout(WM_NULL)` "
              "within %g ms at worst and receive at most %g progress reports per module per "
              "second." % (os.path.basename(path), WORST_ANSWER_GOAL_MS, REPORTS_PER_SECOND_GOAL),
              ""]
    rows = []
    for key, value in flatten(data):
        v = number(value)
        if v is None:
            continue
        goal = goal_for(key)
        rows.append((key, "%g" % round(v, 3), "" if goal is None else "%g" % goal,
                     "" if not goal else "%.2f" % (v / goal)))
    if not rows:
        return lines + ["The file holds no numbers."]
    return lines + runinfo.table(["Figure", "Value", "Goal", "Value / goal"], rows)


def flatten(data, prefix=""):
    for key, value in data.items():
        name = prefix + str(key)
        if isinstance(value, dict):
            yield from flatten(value, name + ".")
        else:
            yield name, value


def goal_for(key):
    k = key.lower()
    if "worst" in k:
        return WORST_ANSWER_GOAL_MS
    if "per_second" in k or "per second" in k or "persecond" in k:
        return REPORTS_PER_SECOND_GOAL
    return None


def render(results, broken, failed, responsiveness, generated, commit):
    names = [n for n in ORDER if n in results or n in failed or n in broken]
    names += sorted(n for n in set(results) | set(failed) | set(broken) if n not in names)
    lines = ["# Performance", ""]
    lines.append(
        "Written by `make report` on %s at commit %s. Every figure is the median of several "
        "runs of ours against a baseline measured in the same run on the same machine; the "
        "ratio is ours / baseline (below 1: faster or smaller than the baseline). The machine "
        "has %s CPUs and is shared with other work while the benchmarks run, so single runs "
        "vary widely; each section gives the load averages and how often a task waited for a "
        "CPU around it (the kernel's CPU pressure), every run's value, "
        "and for times the ratio of the fastest run of ours to the fastest run of the "
        "baseline, the two runs least disturbed by that other work."
        % (generated, commit, next((r.get("cpus") for r in results.values() if r.get("cpus")),
                                   "?")))
    lines += ["", "## Summary", ""]
    summary = []
    for name in names:
        if name in results and name not in failed:
            title = results[name].get("title", name)
            summary += [(title,) + row for row in figure_rows(results[name])]
        else:
            summary.append((results.get(name, {}).get("title", name), "not measured in this run",
                            "", "", "", "", ""))
    lines += runinfo.table(["Measure", "Figure"] + COLUMNS, summary)
    for name in names:
        result = results.get(name, {})
        lines += ["", "## %s" % runinfo.cell(result.get("title", name)), ""]
        if name in failed or name not in results:
            lines.append("This benchmark did not finish in this run, so it has no figures here; "
                         "see the output of `make report`.")
            continue
        lines += ["How it was measured: %s" % result.get("method", "?"), ""]
        lines += ["What limits it: %s" % result.get("limits", "?"), ""]
        lines += runinfo.table(["Figure"] + COLUMNS, figure_rows(result))
        lines += [""] + ["- %s" % runinfo.cell(d) for d in result.get("details", [])
                         if isinstance(d, str)]
        lines += runs_lines(result)
        lines.append("- %s; %s rounds; finished %s" % (load_text(result), result.get("rounds", "?"),
                                                       result.get("time", "?")))
    lines += [""] + responsiveness_lines(responsiveness)
    return lines


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--results", default=DEFAULT_RESULTS)
    parser.add_argument("--responsiveness", default=DEFAULT_RESPONSIVENESS)
    parser.add_argument("--failed", default="")
    parser.add_argument("--out", default=DEFAULT_OUT)
    args = parser.parse_args(argv)
    results, broken = read_results(args.results)
    failed = [n for n in args.failed.split(",") if n]
    runinfo.write(args.out, render(results, broken, failed, args.responsiveness, runinfo.now(),
                                   runinfo.commit()))
    print("performance: %d benchmarks, %d not measured -> %s"
          % (len([n for n in results if n not in failed]), len(set(failed) | set(broken)),
             args.out))
    return 0


if __name__ == "__main__":
    sys.exit(main())
