"""Start, drive and stop the local HTTP test server (testserver.py) from tests.

In a Python test:

    from harness import TestServer, pattern_bytes

    with TestServer(files={"a.bin": pattern_bytes(1000)}) as server:
        server.set_rules({"/a.bin": {"cut_at": 100, "times": 1}})
        url = server.url("a.bin")            # http://127.0.0.1:<port>/a.bin
        ...                                  # run the program under test
        records = server.log("/a.bin")       # what the server saw, oldest first
        assert records[0]["range"] is None

The server serves a temporary folder (server.root) that is removed on stop,
unless a root is given. Rules and the log are described in testserver.py.

From a shell (e.g. a ctest fixture shared by several test processes):

    python3 harness.py start DIR [--lifetime S] [--rules FILE] [--tls] [--tls-name NAME]
    python3 harness.py stop DIR

start serves DIR/files, writes DIR/port and DIR/pid, logs to DIR/log.jsonl and
returns once the server answers; stop ends that server. With --tls it serves
HTTPS with a self-signed certificate made for the run (no client trusts it),
for 127.0.0.1 or the host --tls-name.
"""

import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

SERVER_SCRIPT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "testserver.py")

# Control requests must never go through a proxy from the environment.
_opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))


def pattern_bytes(size, seed=0):
    """`size` bytes of a deterministic pattern that differs at every offset
    within 2**32 bytes and between seeds, so that a misplaced range shows."""
    out = bytearray(size)
    x = (seed * 2654435761 + 12345) & 0xFFFFFFFF
    for i in range(0, size, 4):
        x = (x * 1664525 + 1013904223) & 0xFFFFFFFF
        out[i:i + 4] = x.to_bytes(4, "little")[: size - i]
    return bytes(out)


class TestServer:
    """One testserver.py process on a free loopback port."""

    def __init__(self, files=None, rules=None, root=None, lifetime=300, log_file=None):
        self._own_root = root is None
        self.root = root or tempfile.mkdtemp(prefix="testserver-")
        self._files = files or {}
        self._rules = rules or {}
        self._lifetime = lifetime
        self._work = tempfile.mkdtemp(prefix="testserver-run-")
        self.log_file = log_file or os.path.join(self._work, "log.jsonl")
        self.process = None
        self.port = None

    # ---- life -------------------------------------------------------------
    def start(self, timeout=10):
        for name, data in self._files.items():
            self.add_file(name, data)
        rules_file = os.path.join(self._work, "rules.json")
        with open(rules_file, "w", encoding="utf-8") as f:
            json.dump(self._rules, f)
        port_file = os.path.join(self._work, "port")
        self.process = subprocess.Popen(
            [sys.executable, SERVER_SCRIPT, "--root", self.root, "--port-file", port_file,
             "--log", self.log_file, "--rules", rules_file, "--lifetime", str(self._lifetime)],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.port = wait_for_port(port_file, self.process, timeout)
        return self

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
            self.process = None
        shutil.rmtree(self._work, ignore_errors=True)
        if self._own_root:
            shutil.rmtree(self.root, ignore_errors=True)

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # ---- content ----------------------------------------------------------
    @property
    def base_url(self):
        """http://127.0.0.1:<port>/ (with the trailing slash)."""
        return "http://127.0.0.1:%d/" % self.port

    def url(self, path):
        return self.base_url + path.lstrip("/")

    def add_file(self, name, data):
        """Writes `data` (bytes or str) at `name` (a relative path with /) under the root."""
        full = os.path.join(self.root, *name.split("/"))
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
        return full

    # ---- control ----------------------------------------------------------
    def set_rules(self, rules):
        """Sets the rules of the given paths ({path: rule or None}) and restarts
        their request counts; other paths keep their rules."""
        self._control("POST", "/__rules", rules)

    def clear_rules(self):
        self._control("DELETE", "/__rules")

    def log(self, path=None):
        """The server's log records (dicts), oldest first; only `path`'s if given."""
        query = "?path=" + urllib.parse.quote(path) if path else ""
        return self._control("GET", "/__log" + query)

    def clear_log(self):
        self._control("DELETE", "/__log")

    def wait_for_log(self, path, count, timeout=10):
        """Waits until `path` has at least `count` records; returns them."""
        deadline = time.monotonic() + timeout
        while True:
            records = self.log(path)
            if len(records) >= count or time.monotonic() > deadline:
                return records
            time.sleep(0.05)

    def _control(self, method, path, value=None):
        data = None if value is None else json.dumps(value).encode()
        request = urllib.request.Request(self.base_url.rstrip("/") + path, data=data, method=method)
        with _opener.open(request, timeout=10) as answer:
            return json.loads(answer.read() or b"null")


def wait_for_port(port_file, process, timeout):
    """The port written to `port_file` by a starting server; raises when the
    server ends first or does not come up in `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.path.exists(port_file):
            with open(port_file) as f:
                return int(f.read())
        if process is not None and process.poll() is not None:
            raise RuntimeError("test server ended with code %d" % process.returncode)
        time.sleep(0.02)
    raise RuntimeError("test server did not start within %s s" % timeout)


def make_self_signed_certificate(folder, name=None):
    """(certificate, key) PEM files for 127.0.0.1, or for the host `name`,
    that no client trusts unless it is told to."""
    cert, key = os.path.join(folder, "cert.pem"), os.path.join(folder, "key.pem")
    subject = ["-subj", "/CN=127.0.0.1"]
    if name:
        subject = ["-subj", "/CN=" + name, "-addext", "subjectAltName=DNS:" + name]
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2"] +
                   subject + ["-keyout", key, "-out", cert],
                   check=True, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)
    return cert, key


def _start_detached(folder, lifetime, rules, tls, tls_name=None):
    _stop_detached(folder)  # a server left over from an interrupted run
    os.makedirs(os.path.join(folder, "files"), exist_ok=True)
    for name in ("port", "pid"):
        if os.path.exists(os.path.join(folder, name)):
            os.remove(os.path.join(folder, name))
    command = [sys.executable, SERVER_SCRIPT, "--root", os.path.join(folder, "files"),
               "--port-file", os.path.join(folder, "port"),
               "--log", os.path.join(folder, "log.jsonl"), "--lifetime", str(lifetime)]
    if rules:
        command += ["--rules", rules]
    if tls:
        cert, key = make_self_signed_certificate(folder, tls_name)
        command += ["--tls-cert", cert, "--tls-key", key]
    process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, start_new_session=True)
    with open(os.path.join(folder, "pid"), "w") as f:
        f.write("%d\n" % process.pid)
    print("test server on port %d" % wait_for_port(os.path.join(folder, "port"), process, 10))


def _stop_detached(folder):
    try:
        with open(os.path.join(folder, "pid")) as f:
            pid = int(f.read())
    except (OSError, ValueError):
        return
    try:
        os.kill(pid, signal.SIGTERM)
    except ProcessLookupError:
        pass
    os.remove(os.path.join(folder, "pid"))


if __name__ == "__main__":
    import argparse

    parser = argparse.ArgumentParser(description="Start or stop a detached test server")
    parser.add_argument("action", choices=["start", "stop"])
    parser.add_argument("folder")
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--rules")
    parser.add_argument("--tls", action="store_true",
                        help="serve HTTPS with a fresh self-signed certificate")
    parser.add_argument("--tls-name", help="the host name the certificate is made for "
                        "(default 127.0.0.1); DIR/cert.pem holds it")
    arguments = parser.parse_args()
    if arguments.action == "start":
        _start_detached(os.path.abspath(arguments.folder), arguments.lifetime, arguments.rules,
                        arguments.tls or bool(arguments.tls_name), arguments.tls_name)
    else:
        _stop_detached(os.path.abspath(arguments.folder))
