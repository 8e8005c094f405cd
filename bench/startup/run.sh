#!/bin/bash
# Start-up of the real updater to a visible dialog in a warm Wine session,
# against a trivial windowed program started the same way in the same run
# (see measure.py).   run.sh [--json FILE]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
exec env -u DISPLAY /usr/bin/python3 "$ROOT/bench/startup/measure.py" "$@"
