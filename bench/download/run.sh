#!/bin/bash
# Download benchmark: 15 files of 8 MiB from a private nginx on loopback, fetched
# by 15 CHttpDownload instances on 15 threads (BenchDownload.exe) and, as the
# baseline in the same run, by curl --parallel --parallel-max 15. The two
# alternate, REPS times each after one warm-up of each; the medians and their
# ratio are printed, both for the transfers alone (ours timed inside the exe,
# curl's whole process, whose start-up is a few ms) and for ours as a whole
# Wine process.  run.sh [--json FILE]: also writes the result for
# tools/report/performance.py.
set -euo pipefail
JSON=
[ "${1:-}" = --json ] && JSON=${2:?--json needs a file name}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$ROOT/build}
REPS=${REPS:-7}
COUNT=15
SIZE_MIB=8
EXE="$BUILD/bench/BenchDownload.exe"
WORK="$BUILD/bench-download"
[ -f "$EXE" ] || { echo "build first: $EXE is missing"; exit 1; }
BEFORE=$(python3 -c "import json, sys; sys.path.insert(0, '$ROOT/bench/lib'); import benchlib; print(json.dumps(benchlib.machine()))")

mkdir -p "$WORK/www" "$WORK/logs" "$WORK/ours" "$WORK/curl"
for i in $(seq -f %02g 0 $((COUNT - 1))); do
    f="$WORK/www/f$i.bin"
    [ "$(stat -c %s "$f" 2>/dev/null || echo 0)" = $((SIZE_MIB << 20)) ] ||
        head -c $((SIZE_MIB << 20)) /dev/urandom > "$f"
done

PORT=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat > "$WORK/nginx.conf" <<CONF
worker_processes 2;
error_log $WORK/logs/error.log;
pid $WORK/logs/nginx.pid;
events { worker_connections 256; }
http {
    access_log off;
    sendfile on;
    tcp_nopush on;
    keepalive_timeout 30;
    client_body_temp_path $WORK/logs;
    proxy_temp_path $WORK/logs;
    fastcgi_temp_path $WORK/logs;
    uwsgi_temp_path $WORK/logs;
    scgi_temp_path $WORK/logs;
    server { listen 127.0.0.1:$PORT; root $WORK/www; }
}
CONF
nginx -p "$WORK" -c "$WORK/nginx.conf" -e "$WORK/logs/error.log"
stop_nginx() { [ -f "$WORK/logs/nginx.pid" ] && kill "$(cat "$WORK/logs/nginx.pid")" 2>/dev/null || true; }
trap stop_nginx EXIT
BASE="http://127.0.0.1:$PORT/"
for _ in $(seq 50); do curl -s -o /dev/null "$BASE" && break; sleep 0.1; done

. "$ROOT/scripts/wine-env.sh"
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1   # a warm Wine session, as in use
OUT_WIN="Z:$(echo "$WORK/ours" | tr / '\\')"
CURL_ARGS=()
for i in $(seq -f %02g 0 $((COUNT - 1))); do
    CURL_ARGS+=(-o "$WORK/curl/f$i.bin" "${BASE}f$i.bin")
done

now_ms() { echo $(($(date +%s%N) / 1000)) | sed 's/\(...\)$/.\1/'; }
run_ours() {
    rm -f "$WORK"/ours/*
    local t0 t1 line
    t0=$(now_ms)
    line=$("$WINE" "$EXE" "$BASE" "$OUT_WIN" $COUNT </dev/null | tr -d '\r')
    t1=$(now_ms)
    echo "${line#ms } $(echo "$t1 - $t0" | bc)"
}
run_curl() {
    rm -f "$WORK"/curl/*
    local t0 t1
    t0=$(now_ms)
    curl -s --parallel --parallel-max $COUNT "${CURL_ARGS[@]}" 2>/dev/null
    t1=$(now_ms)
    echo "$t1 - $t0" | bc
}
same_files() {
    for i in $(seq -f %02g 0 $((COUNT - 1))); do
        cmp -s "$WORK/www/f$i.bin" "$1/f$i.bin" || { echo "$1/f$i.bin differs"; return 1; }
    done
}

run_ours >/dev/null; same_files "$WORK/ours"
run_curl >/dev/null; same_files "$WORK/curl"
ours=() whole=() base=()
for _ in $(seq "$REPS"); do
    read -r inside process < <(run_ours)
    ours+=("$inside") whole+=("$process")
    base+=("$(run_curl)")
done

python3 - "$COUNT" "$SIZE_MIB" "${ours[*]}" "${whole[*]}" "${base[*]}" "$BEFORE" "$JSON" "$ROOT" <<'PY'
import statistics, sys
count, size = sys.argv[1], sys.argv[2]
ours, whole, curl = ([float(x) for x in a.split()] for a in sys.argv[3:6])
import json
before, json_path = json.loads(sys.argv[6]), sys.argv[7]
sys.path.insert(0, sys.argv[8] + "/bench/lib")
import benchlib
m_ours, m_whole, m_curl = (statistics.median(v) for v in (ours, whole, curl))
print("download: %s x %s MiB in parallel from nginx on loopback, %d runs each" % (count, size, len(ours)))
print("  ours (transfers, inside the exe)  median %7.1f ms   runs %s" % (m_ours, " ".join("%.0f" % v for v in ours)))
print("  ours (whole Wine process)         median %7.1f ms   runs %s" % (m_whole, " ".join("%.0f" % v for v in whole)))
print("  curl --parallel (whole process)   median %7.1f ms   runs %s" % (m_curl, " ".join("%.0f" % v for v in curl)))
paired = statistics.median(o / c for o, c in zip(ours, curl))
print("  ratio ours/curl: transfers %.2f (median of the %d adjacent pairs %.2f), whole process %.2f"
      % (m_ours / m_curl, len(ours), paired, m_whole / m_curl))
print("  goal: transfers at most 1.05 x curl")
base_label = "curl --parallel --parallel-max 15, whole process"
benchlib.write_result(
    json_path, "download", "%s parallel downloads of %s MiB" % (count, size),
    "BenchDownload.exe starts %s CHttpDownload instances on %s threads, as the update does, "
    "with progress reports going to a window on its main thread, and fetches %s files of %s MiB "
    "from a private nginx on loopback (sendfile on); it times from the first instance created "
    "to the last transfer ended. Baseline: `curl --parallel --parallel-max %s` fetching the same "
    "files from the same nginx into files, whole process. After one warm-up of each, the two take "
    "turns %d times; medians. The files of the warm-up run of each are compared byte for byte "
    "with the served ones."
    % (count, count, count, size, count, len(ours)),
    "Loopback only: no network latency or bandwidth limit, so the figure is the per-byte and "
    "per-call cost of the transfers (WinINet under Wine, a Wine server round trip per socket "
    "call) against curl's. curl's time includes its process start (a few ms); ours inside the "
    "exe does not, the whole-process figure does, with a Wine process start.",
    len(ours), before,
    [benchlib.figure("ours, the transfers (inside the exe)", m_ours, m_curl, base_label,
                     key="transfers", runs={"ours": ours, "baseline": curl}),
     benchlib.figure("ours, whole Wine process", m_whole, m_curl, base_label,
                     runs={"ours": whole, "baseline": curl})],
    ["median of the %d adjacent pairs' ratios (transfers): %.2f" % (len(ours), paired)])
PY
