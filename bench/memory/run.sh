#!/bin/bash
# The updater's peak memory during one whole silent attempt with 15 changed
# modules of 16 MiB and of 128 MiB (see measure.py).   run.sh [--json FILE]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
exec env -u DISPLAY /usr/bin/python3 "$ROOT/bench/memory/measure.py" "$@"
