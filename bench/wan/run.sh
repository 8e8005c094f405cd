#!/bin/bash
# A silent update over an emulated wide-area link (40 ms each way, 50 Mbit/s
# shared downstream) against curl over the same link (see measure.py).
#   run.sh [--json FILE] [--only 1m,4m,fix]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export BUILD=${BUILD:-$ROOT/build}
exec env -u DISPLAY /usr/bin/python3 "$ROOT/bench/wan/measure.py" "$@"
