"""What the benchmarks' drivers share: timing a process, the machine's load,
a private nginx on loopback, a warm Wine session, and the result file that
tools/report/performance.py turns into docs/performance.md.

A result file is one JSON object:
    {"name": "digest", "title": "...", "method": "...", "limits": "...",
     "rounds": 7, "load": {"before": [1m, 5m, 15m], "after": [...]}, "cpus": 2,
     "cpu_pressure": {"before": 12.5, "after": 30.1},
     "figures": [{"label": "...", "ours": 130.0, "baseline": 120.0, "unit": "ms",
                  "baseline_label": "md5sum", "ratio": 1.08, "key": "inside",
                  "runs": {"ours": [...], "baseline": [...]}}, ...],
     "details": ["a line of text", ...], "time": "..."}
"key" and "runs" are optional; a figure's goal is looked up by its key."""

import json
import os
import socket
import statistics
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
BUILD = os.environ.get("BUILD", os.path.join(ROOT, "build"))
WINE_RUN = os.path.join(ROOT, "scripts", "wine-run")
KEEPALIVE_SCRIPT = os.path.join(ROOT, "scripts", "wine-keepalive")
KEEPALIVE_EXE = os.path.join(BUILD, "tests", "WineKeepAlive.exe")


def windows_path(path):
    """The path under Wine's Z: drive."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def median(values):
    return statistics.median(values) if values else float("nan")


def load():
    """The 1, 5 and 15 minute load averages, rounded."""
    return [round(x, 2) for x in os.getloadavg()]


def cpu_pressure():
    """The share of the last 10 s in which some runnable task waited for a CPU
    (/proc/pressure/cpu, "some avg10", in per cent); None where the kernel does
    not say. Unlike the load average it shows contention as it happens."""
    try:
        with open("/proc/pressure/cpu") as f:
            for line in f:
                if line.startswith("some "):
                    fields = dict(p.split("=") for p in line.split()[1:])
                    return float(fields["avg10"])
    except (OSError, ValueError, KeyError):
        pass
    return None


def timed(command, timeout=120, env=None):
    """Runs `command` to its end; returns (milliseconds, stdout without CRs).
    Exits the benchmark when the command fails: a figure from a failed run
    would be a lie."""
    start = time.perf_counter()
    result = subprocess.run(command, capture_output=True, stdin=subprocess.DEVNULL,
                            timeout=timeout, env=env)
    elapsed = (time.perf_counter() - start) * 1000
    if result.returncode != 0:
        sys.exit("%s failed (%d): %s" % (os.path.basename(command[0]), result.returncode,
                                         result.stderr.decode(errors="replace")[-2000:]))
    return elapsed, result.stdout.decode(errors="replace").replace("\r", "")


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Nginx:
    """A private nginx serving `root` on a free loopback port, as the download
    benchmark's: sendfile, no access log, two workers."""

    def __init__(self, root, work):
        self.root = os.path.abspath(root)
        self.work = os.path.abspath(work)
        self.port = free_port()
        self.base_url = "http://127.0.0.1:%d/" % self.port

    def __enter__(self):
        logs = os.path.join(self.work, "logs")
        os.makedirs(logs, exist_ok=True)
        conf = os.path.join(self.work, "nginx.conf")
        temp = "".join("    %s_temp_path %s;\n" % (k, logs)
                       for k in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        with open(conf, "w") as f:
            f.write("worker_processes 2;\nerror_log %s/error.log;\npid %s/nginx.pid;\n"
                    "events { worker_connections 256; }\n"
                    "http {\n    access_log off;\n    sendfile on;\n    tcp_nopush on;\n"
                    "    keepalive_timeout 30;\n%s"
                    "    server { listen 127.0.0.1:%d; root %s; }\n}\n"
                    % (logs, logs, temp, self.port, self.root))
        subprocess.run(["nginx", "-p", self.work, "-c", conf, "-e", os.path.join(logs, "error.log")],
                       check=True, stdin=subprocess.DEVNULL)
        self.pid_file = os.path.join(logs, "nginx.pid")
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return self
            except OSError:
                time.sleep(0.05)
        self.__exit__()
        sys.exit("nginx did not answer on port %d" % self.port)

    def __exit__(self, *_):
        try:
            with open(self.pid_file) as f:
                os.kill(int(f.read().strip()), 15)
        except (OSError, ValueError):
            pass


class WineSession:
    """One Wine process alive for the whole benchmark, so that every measured
    start is warm; on leaving, the run's own prefix is ended."""

    def __enter__(self):
        if not os.path.exists(KEEPALIVE_EXE):
            sys.exit("missing %s: run make build first" % KEEPALIVE_EXE)
        subprocess.run([KEEPALIVE_SCRIPT, "start", KEEPALIVE_EXE], check=True,
                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
        return self

    def __exit__(self, *_):
        subprocess.run([KEEPALIVE_SCRIPT, "stop"], stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def figure(label, ours, baseline, baseline_label, unit="ms", runs=None, key=None):
    """One line of a result: our median against the baseline's median; `key`
    names the figure for its goal in tools/report/goals.py."""
    row = {"label": label, "ours": round(ours, 3), "baseline": round(baseline, 3),
           "unit": unit, "baseline_label": baseline_label,
           "ratio": round(ours / baseline, 3) if baseline else None}
    if key:
        row["key"] = key
    if runs:
        row["runs"] = {k: [round(v, 2) for v in vs] for k, vs in runs.items()}
    return row


def machine():
    """The machine's state before a benchmark, for write_result."""
    return {"load": load(), "cpu_pressure": cpu_pressure()}


def write_result(path, name, title, method, limits, rounds, before, figures, details=()):
    """Writes the benchmark's result file (see the module's comment); `before`
    is what machine() said when the benchmark began."""
    if not path:
        return
    result = {"name": name, "title": title, "method": method, "limits": limits,
              "rounds": rounds, "cpus": os.cpu_count(),
              "load": {"before": before.get("load"), "after": load()},
              "cpu_pressure": {"before": before.get("cpu_pressure"), "after": cpu_pressure()},
              "figures": figures, "details": list(details),
              "time": time.strftime("%Y-%m-%d %H:%M:%S %z")}
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    with open(path, "w", encoding="utf-8") as f:
        json.dump(result, f, ensure_ascii=False, indent=1)


def json_argument(argv):
    """The FILE of `--json FILE` in `argv`, or None."""
    if "--json" in argv:
        i = argv.index("--json")
        if i + 1 < len(argv):
            return argv[i + 1]
        sys.exit("--json needs a file name")
    return None


def write_if_changed(path, data):
    """Writes `data` to `path` unless the file already holds exactly it, so that
    a release prepared by an earlier run is reused as it is."""
    if os.path.exists(path) and os.path.getsize(path) == len(data):
        with open(path, "rb") as f:
            if f.read() == data:
                return
    with open(path, "wb") as f:
        f.write(data)
