#!/bin/bash
# Download benchmark: 15 files of 8 MiB from a private nginx on loopback, fetched
# by 15 CHttpDownload instances on 15 threads (BenchDownload.exe) and, as the
# baseline in the same run, by curl --parallel --parallel-max 15. The two
# alternate, REPS times each after one warm-up of each; the medians and their
# ratio are printed, both for the transfers alone (ours timed inside the exe,
# curl's whole process, whose start-up is a few ms) and for ours as a whole
# Wine process.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=${BUILD:-$ROOT/build}
REPS=${REPS:-7}
COUNT=15
SIZE_MIB=8
EXE="$BUILD/bench/BenchDownload.exe"
WORK="$BUILD/bench-download"
[ -f "$EXE" ] || { echo "build first: $EXE is missing"; exit 1; }

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

python3 - "$COUNT" "$SIZE_MIB" "${ours[*]}" "${whole[*]}" "${base[*]}" <<'PY'
import statistics, sys
count, size = sys.argv[1], sys.argv[2]
ours, whole, curl = ([float(x) for x in a.split()] for a in sys.argv[3:6])
m_ours, m_whole, m_curl = (statistics.median(v) for v in (ours, whole, curl))
print("download: %s x %s MiB in parallel from nginx on loopback, %d runs each" % (count, size, len(ours)))
print("  ours (transfers, inside the exe)  median %7.1f ms   runs %s" % (m_ours, " ".join("%.0f" % v for v in ours)))
print("  ours (whole Wine process)         median %7.1f ms   runs %s" % (m_whole, " ".join("%.0f" % v for v in whole)))
print("  curl --parallel (whole process)   median %7.1f ms   runs %s" % (m_curl, " ".join("%.0f" % v for v in curl)))
paired = statistics.median(o / c for o, c in zip(ours, curl))
print("  ratio ours/curl: transfers %.2f (median of the %d adjacent pairs %.2f), whole process %.2f"
      % (m_ours / m_curl, len(ours), paired, m_whole / m_curl))
print("  goal: transfers at most 1.05 x curl")
PY
