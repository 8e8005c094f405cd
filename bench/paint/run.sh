#!/bin/bash
# The skinned dialog's background paint under Wine, headless, against its
# baseline from the same run (see PaintBench.cpp), and the real update
# dialog's paints against a plain dialog of its template (DialogPaintBench.cpp).
#   run.sh [--json FILE]   FILE: the result for tools/report/performance.py
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
exec env -u DISPLAY /usr/bin/python3 "$ROOT/bench/paint/measure.py" "$@"
