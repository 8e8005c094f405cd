#!/bin/bash
# Runs every benchmark (bench/*/run.sh) against the current build and prints
# each one's figures. Each benchmark measures its own baseline in the same run.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
status=0
for b in "$ROOT"/bench/*/run.sh; do
    [ -x "$b" ] || continue
    echo "== $(basename "$(dirname "$b")")"
    "$b" || status=1
done
exit $status
