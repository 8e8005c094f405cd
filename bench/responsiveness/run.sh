#!/bin/bash
# Responsiveness of the update dialog during one whole attempt: 15 modules of
# 320 KiB sent at 32 KiB/s each (about 10 s), WM_NULL timed every 50 ms by a
# probe in the same Wine session, against the same probe on the idle dialog
# just before (the baseline of the same run); and the progress reports the
# dialog received per module per second. Writes build/reports/responsiveness.json.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
for f in "$BUILD/tests/responsiveness/UpdaterCounting.exe" "$BUILD/tests/DialogProbe.exe"; do
    [ -f "$f" ] || { echo "build first: $f is missing"; exit 1; }
done
export TEST_BINARY_DIR=$BUILD WINE_RUN=$ROOT/scripts/wine-run
export HOST_EXE=$BUILD/tools/host/HostStandIn.exe UPDATER_EXE=$BUILD/app/Updater.exe
"$ROOT/scripts/wine-keepalive" start "$BUILD/tests/WineKeepAlive.exe"
trap '"$ROOT/scripts/wine-keepalive" stop' EXIT
/usr/bin/python3 - "$ROOT" "$BUILD/reports/responsiveness.json" <<'PY'
import json, os, sys
sys.path.insert(0, os.path.join(sys.argv[1], "tests", "responsiveness"))
from measurement import measure
f = measure(module_bytes=320 * 1024, rate=32 * 1024, pieces=200, idle_seconds=3.0)
f["source"] = "make bench (bench/responsiveness)"
with open(sys.argv[2], "w", encoding="utf-8") as out:
    json.dump(f, out, indent=2, ensure_ascii=False)
a, b, r = f["attempt"], f["baseline_idle_dialog"], f["progress_reports"]
print("responsiveness: 15 modules x %d KiB at %d KiB/s each, WM_NULL every %d ms"
      % (f["module_bytes"] >> 10, f["server_rate_bytes_per_second"] >> 10, f["probe_period_ms"]))
print("  attempt %.1f s, %d answers: worst %.1f ms, p99 %.1f ms, median %.2f ms, unanswered %d"
      % (a["seconds"], a["answers"], a["worst_ms"], a["p99_ms"], a["median_ms"],
         a["unanswered_within_5s"]))
print("  idle dialog (baseline) %.1f s, %d answers: worst %.1f ms, median %.2f ms"
      % (b["seconds"], b["answers"], b["worst_ms"], b["median_ms"]))
print("  ratio attempt/idle: worst %s, median %s" % (f["worst_vs_idle_worst"], f["median_vs_idle_median"]))
print("  progress reports per module per second: mean %s, highest %s; most in any one second %d"
      % (r["mean_per_module_per_second"], r["highest_per_module_per_second"], r["most_in_one_second"]))
print("  goals: worst answer under 100 ms, at most 20 reports per module per second")
PY
