#!/bin/bash
# The keyed digest of a 64 MiB file against md5sum of the same file, in the same
# run: the native build (the release tool's) and the Windows build under Wine,
# each timed inside its process and as a whole process. Prints medians and the
# ratio our time / md5sum time.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
exec /usr/bin/python3 "$ROOT/bench/digest/measure.py" "$@"
