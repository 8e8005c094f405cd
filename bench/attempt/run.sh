#!/bin/bash
# One whole update attempt of the real updater in silent mode, 15 changed
# modules of 16 MiB from a private nginx, against the ideal from the same run
# (the digest of the 15 installed files plus curl --parallel fetching the 15
# modules), and the updater's peak resident set against the largest module
# (see measure.py).   run.sh [--json FILE]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
exec env -u DISPLAY /usr/bin/python3 "$ROOT/bench/attempt/measure.py" "$@"
