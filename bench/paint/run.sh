#!/bin/bash
# The skinned dialog's background paint under Wine, headless, against its
# baseline from the same run (see PaintBench.cpp).
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$ROOT/build}
env -u DISPLAY BUILD="$BUILD" "$ROOT/scripts/wine-run" "$BUILD/bench/paint/PaintBench.exe" "${1:-200}" |
    tr -d '\r'
