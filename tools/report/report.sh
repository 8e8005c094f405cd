#!/bin/bash
# make report: runs every benchmark (bench/*/run.sh) with its result file, then
# writes docs/performance.md from the results and docs/reliability.md from the
# rows the suites recorded when they last ran (make test, make faults). A
# benchmark that fails is named in docs/performance.md and makes this fail.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
RESULTS="$BUILD/reports/bench"
rm -rf "$RESULTS"
mkdir -p "$RESULTS"
failed=()
for b in "$ROOT"/bench/*/run.sh; do
    [ -x "$b" ] || continue
    name=$(basename "$(dirname "$b")")
    echo "== $name"
    "$b" --json "$RESULTS/$name.json" || failed+=("$name")
done
status=0
/usr/bin/python3 "$ROOT/tools/report/performance.py" --results "$RESULTS" \
    --responsiveness "$BUILD/reports/responsiveness.json" \
    --failed "$(IFS=,; echo "${failed[*]}")" --out "$ROOT/docs/performance.md" || status=1
/usr/bin/python3 "$ROOT/tools/report/reliability.py" --rows "$BUILD/reports/reliability" \
    --out "$ROOT/docs/reliability.md" || status=1
if [ ${#failed[@]} -gt 0 ]; then
    echo "report: these benchmarks failed: ${failed[*]}"
    status=1
fi
exit $status
