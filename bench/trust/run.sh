#!/bin/bash
# What a publisher's key costs: the signed list's signature check, SHA-256 of the
# 15 staged modules against sha256sum, and one whole silent attempt with a key
# against the same attempt without one (see measure.py).   run.sh [--json FILE]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
exec env -u DISPLAY /usr/bin/python3 "$ROOT/bench/trust/measure.py" "$@"
