"""The demo's update server: a private nginx on a free loopback port that
serves one folder, optionally slowed down per connection, and logs every
transfer as one JSON line."""

import json
import os
import pwd
import socket
import subprocess
import time

import children

_CONFIG = """\
daemon off;
{user}worker_processes 1;
pid {work}/nginx.pid;
lock_file {work}/nginx.lock;
error_log {work}/error.log warn;
events {{ worker_connections 64; }}
http {{
    log_format transfer escape=json '{{"uri":"$uri","status":$status,'
        '"bytes":$body_bytes_sent,"range":"$http_range","seconds":$request_time}}';
    access_log {work}/access.log transfer;
    client_body_temp_path {work}/temp/body;
    proxy_temp_path {work}/temp/proxy;
    fastcgi_temp_path {work}/temp/fastcgi;
    uwsgi_temp_path {work}/temp/uwsgi;
    scgi_temp_path {work}/temp/scgi;
    types {{ }}
    default_type application/octet-stream;
    server {{
        listen 127.0.0.1:{port};
        root {root};
        limit_rate {rate};
        location / {{ }}
    }}
}}
"""


def free_port():
    """A loopback port that nothing listens on at the moment."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def config_text(root, work, port, rate, user=None):
    """nginx.conf serving `root` on `port`, `rate` bytes per second and
    connection at most (0: no limit); every path of nginx's own lies in `work`.
    `user` is the account its worker runs as when started by root."""
    if not isinstance(rate, int) or rate < 0:
        raise ValueError("rate must be a whole number of bytes per second, not %r" % (rate,))
    for path in (root, work):
        if any(c in path for c in ';{}"\'\\\n') or " " in path:
            raise ValueError("nginx cannot be given the path %r" % path)
    return _CONFIG.format(root=root, work=work, port=port, rate=rate,
                          user="user %s;\n" % user if user else "")


def worker_user():
    """Started by root, nginx would hand the transfers to "nobody", who cannot
    read a release folder inside a private directory (a home, a mkdtemp
    folder): the worker stays the demo's own user instead. It serves one
    folder on the loopback interface only."""
    return pwd.getpwuid(os.geteuid()).pw_name if os.geteuid() == 0 else None


def parse_access_log(text):
    """The transfer records of an access log, oldest first; a line that is not
    a complete record (one being written) is left out."""
    records = []
    for line in text.splitlines():
        try:
            record = json.loads(line)
        except ValueError:
            continue
        if isinstance(record, dict) and "uri" in record:
            records.append(record)
    return records


class NginxServer:
    def __init__(self, root, work, rate=0):
        self.root = os.path.abspath(root)
        self.work = os.path.abspath(work)
        self.rate = rate
        self.port = None
        self.process = None

    @property
    def base_url(self):
        return "http://127.0.0.1:%d/" % self.port

    def add_file(self, name, data):
        path = os.path.join(self.root, *name.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data.encode() if isinstance(data, str) else data)
        return path

    def start(self, timeout=15, attempts=4):
        """Starts nginx; another free port is tried when the chosen one was
        taken in the meantime. Raises RuntimeError with nginx's own complaint."""
        os.makedirs(self.root, exist_ok=True)
        os.makedirs(os.path.join(self.work, "temp"), exist_ok=True)
        error = ""
        for _ in range(attempts):
            error = self._start_on(free_port(), timeout)
            if not error:
                return self
            if "bind()" not in error:
                break
        raise RuntimeError("nginx did not start: " + error)

    def _start_on(self, port, timeout):
        for name in ("nginx.pid", "error.log"):
            if os.path.exists(os.path.join(self.work, name)):
                os.remove(os.path.join(self.work, name))
        conf = os.path.join(self.work, "nginx.conf")
        with open(conf, "w") as f:
            f.write(config_text(self.root, self.work, port, self.rate, worker_user()))
        self.port = port
        with open(os.path.join(self.work, "stderr.log"), "wb") as stderr:
            self.process = children.start(
                ["nginx", "-p", self.work + "/", "-c", conf, "-e",
                 os.path.join(self.work, "error.log")],
                stdout=subprocess.DEVNULL, stderr=stderr)
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            code = self.process.poll()
            if code is not None:
                self.process = None
                return self._complaint() or "nginx ended with code %d" % code
            # nginx writes its pid file once it listens.
            if os.path.exists(os.path.join(self.work, "nginx.pid")) and self._answers():
                return ""
            time.sleep(0.05)
        self.stop()
        return "no answer on port %d within %s s" % (port, timeout)

    def _answers(self):
        try:
            with socket.create_connection(("127.0.0.1", self.port), timeout=1):
                return True
        except OSError:
            return False

    def _complaint(self):
        """nginx's own reasons for not starting, from its logs."""
        lines = []
        for name in ("error.log", "stderr.log"):
            try:
                with open(os.path.join(self.work, name), errors="replace") as f:
                    lines += [line.strip() for line in f if "[emerg]" in line]
            except OSError:
                pass
        return "; ".join(dict.fromkeys(line.split("[emerg]", 1)[1].strip() for line in lines))

    def stop(self):
        if self.process is not None:
            children.stop(self.process)
            self.process = None

    def requests(self):
        try:
            with open(os.path.join(self.work, "access.log"), encoding="utf-8") as f:
                return parse_access_log(f.read())
        except OSError:
            return []

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()
