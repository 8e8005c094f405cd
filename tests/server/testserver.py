#!/usr/bin/env python3
"""A local HTTP/1.1 file server for the tests, able to misbehave on request.

    testserver.py --root DIR [--port-file FILE] [--log FILE] [--rules FILE]
                  [--lifetime SECONDS] [--port N] [--tls-cert PEM --tls-key PEM]

Binds 127.0.0.1 (a free port unless --port is given), prints "PORT <n>" on
stdout and writes the number to --port-file once it accepts connections, serves
the files under --root (GET and HEAD, single byte ranges), and ends by itself
after --lifetime seconds (default 600) or on SIGTERM/SIGINT. With a TLS
certificate and key it speaks HTTPS instead of HTTP.

Every request except the control requests below is logged, once its answer has
ended, as one JSON object per line in --log and in memory (in memory in the
order the requests arrived, whichever answer ended first):
    {"time", "method", "path", "query", "range", "status", "sent", "rule",
     "aborted", "headers"}
"sent" counts body bytes written, "rule" names the misbehaviour applied (null
for a normal answer), "aborted" is true when the client went away mid-body.

Rules make a path misbehave. They are a JSON object mapping a path (as
requested, without the query) to a rule object with any of:
    "status": 404           answer with this status and a small body
    "body": "text"          the body for "status" (default "error <status>")
    "redirect": "/other"    answer 302 with Location (a path on this server,
                            sent as an absolute URL unless "relative": true, or
                            a full URL); "redirect_status" picks 301/303/307
    "cut_at": n             send n body bytes of a full-length answer, then close
    "reset_at": n           send n body bytes, then reset the connection (RST);
                            "reset_delay" seconds (default 0.3) pass in between so
                            that the client has read them (an RST discards what
                            the client's system has received but not yet read)
    "extra_length": n       claim n more bytes in Content-Length than are sent
                            (the whole body is sent), then close
    "stall_before": s       wait s seconds before the status line
    "stall_at": n, "stall": s   wait s seconds after n body bytes
    "released": true        with "stall_at": the wait ends early, as soon as the
                            rules next change (POST or DELETE /__rules)
    "rate": b               send the body at about b bytes per second, in 20 pieces a
                            second, or "pieces" pieces a second when given
    "ignore_range": true    answer 200 with the whole file even to a Range request
    "no_length": true       send no Content-Length: the body ends when the connection
                            closes
    "repeat_to": n          the body is the file repeated to n bytes (with "no_length",
                            a body without end for any client that stops early)
    "unknown_total": n      answer a range request with at most n bytes of the range
                            and a Content-Range total of "*"
    "times": n              apply the rule to the first n requests of the path only
A list of rule objects instead of one applies them to the path's requests in
turn, one each; requests past the list's end get no rule.
Rules come from --rules at start and can be changed while running:
    POST /__rules   body {path: rule or null}: sets (null: removes) those paths'
                    rules and restarts their request counts; other paths keep theirs
    DELETE /__rules removes every rule
    GET /__log      the log as a JSON array, once the requests still being
                    answered are logged (waiting at most 1 s); ?path=/p keeps
                    that path's records;
                    &format=text gives one "METHOD STATUS SENT RANGE" line each
                    (RANGE "-" when the request had none)
    DELETE /__log   empties the in-memory log
    GET /__ping     answers "pong"
"""

import argparse
import bisect
import json
import os
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

CHUNK = 256 * 1024


class ClientGone(Exception):
    """The client closed or reset the connection while we were writing."""


class State:
    """Rules, per-path request counts and the log, shared by all handler threads."""

    def __init__(self, root, log_path, rules):
        self.root = os.path.realpath(root)
        self.log_path = log_path
        self.lock = threading.Lock()
        self.logged = threading.Condition(self.lock)
        self.in_flight = {}  # path -> requests being answered
        self.rules = {}
        self.counts = {}
        self.records = []  # (arrival number, record), in arrival order
        self.arrivals = 0
        self.stopping = threading.Event()
        self.generation = 0  # raised whenever the rules change
        self.rules_changed = threading.Condition(self.lock)
        self.set_rules(rules)

    def set_rules(self, rules):
        with self.lock:
            for path, rule in rules.items():
                if rule is None:
                    self.rules.pop(path, None)
                else:
                    if not isinstance(rule, (dict, list)) or (
                            isinstance(rule, list) and
                            not all(isinstance(r, dict) for r in rule)):
                        raise ValueError("rule for %s is not an object or a list of them" %
                                         path)
                    self.rules[path] = rule
                self.counts.pop(path, None)
            self.generation += 1
            self.rules_changed.notify_all()

    def clear_rules(self):
        with self.lock:
            self.rules.clear()
            self.counts.clear()
            self.generation += 1
            self.rules_changed.notify_all()

    def rule_for(self, path):
        """The rule that applies to this request of `path`, or None."""
        with self.lock:
            count = self.counts.get(path, 0) + 1
            self.counts[path] = count
            rule = self.rules.get(path)
            if isinstance(rule, list):
                return rule[count - 1] if count <= len(rule) else None
            if rule is None:
                return None
            times = rule.get("times")
            if times is not None and count > times:
                return None
            return rule

    def begin(self, path):
        """Counts a request being answered; returns its arrival number."""
        with self.lock:
            self.in_flight[path] = self.in_flight.get(path, 0) + 1
            self.arrivals += 1
            return self.arrivals

    def log(self, arrival, record):
        line = json.dumps(record, sort_keys=True)
        with self.lock:
            bisect.insort(self.records, (arrival, record), key=lambda entry: entry[0])
            self.in_flight[record["path"]] -= 1
            self.logged.notify_all()
            if self.log_path:
                with open(self.log_path, "a", encoding="utf-8") as f:
                    f.write(line + "\n")

    def log_records(self, path=None, wait=1.0):
        """The records (of `path`), once the requests being answered have been
        logged: a client that has read an answer finds it in the log. Waits at
        most `wait` seconds for them (a stalled request may take longer)."""
        def settled():
            if path is None:
                return not any(self.in_flight.values())
            return not self.in_flight.get(path)
        with self.lock:
            self.logged.wait_for(settled, wait)
            return [r for _, r in self.records if path is None or r["path"] == path]

    def clear_log(self):
        with self.lock:
            self.records.clear()

    def sleep(self, seconds):
        """Sleeps, but returns at once when the server is stopping."""
        self.stopping.wait(max(0.0, float(seconds)))

    def stall(self, rule):
        """The wait of a "stall" rule; a "released" one ends when the rules change."""
        if not rule.get("released"):
            return self.sleep(rule["stall"])
        deadline = time.monotonic() + max(0.0, float(rule["stall"]))
        with self.lock:
            generation = self.generation
            while self.generation == generation and not self.stopping.is_set():
                left = deadline - time.monotonic()
                if left <= 0:
                    break
                self.rules_changed.wait(min(left, 0.1))


def parse_range(header, size):
    """(start, end) inclusive for a single byte range, "unsatisfiable", or None
    when the header is absent, malformed or asks for several ranges (those are
    answered with the whole file, which HTTP allows)."""
    if not header:
        return None
    unit, _, ranges = header.partition("=")
    if unit.strip().lower() != "bytes" or "," in ranges:
        return None
    first, dash, last = ranges.strip().partition("-")
    if not dash:
        return None
    try:
        if first == "":
            suffix = int(last)
            if suffix < 0:
                return None
            if suffix == 0 or size == 0:
                return "unsatisfiable"
            return (max(0, size - suffix), size - 1)
        start = int(first)
        end = int(last) if last else size - 1
    except ValueError:
        return None
    if start < 0 or (last and end < start):
        return None
    if start >= size:
        return "unsatisfiable"
    return (start, min(end, size - 1))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "TestServer/1"
    state = None  # set by make_server

    def log_message(self, format, *args):  # the JSON log replaces stderr noise
        pass

    # ---- control requests -------------------------------------------------
    def control(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path == "/__ping" and self.command == "GET":
            return self.reply_json(200, "pong")
        if url.path == "/__rules" and self.command == "POST":
            length = int(self.headers.get("Content-Length") or 0)
            try:
                rules = json.loads(self.rfile.read(length) or b"{}")
                if not isinstance(rules, dict):
                    raise ValueError("rules must be a JSON object")
                self.state.set_rules(rules)
            except ValueError as e:
                return self.reply_json(400, {"error": str(e)})
            return self.reply_json(200, {})
        if url.path == "/__rules" and self.command == "DELETE":
            self.state.clear_rules()
            return self.reply_json(200, {})
        if url.path == "/__log" and self.command == "GET":
            query = urllib.parse.parse_qs(url.query)
            path = query.get("path", [None])[0]
            records = self.state.log_records(path)
            if query.get("format", [None])[0] == "text":
                return self.reply_text(200, "".join(
                    "%s %s %d %s\n" % (r["method"], r["status"], r["sent"], r["range"] or "-")
                    for r in records))
            return self.reply_json(200, records)
        if url.path == "/__log" and self.command == "DELETE":
            self.state.clear_log()
            return self.reply_json(200, {})
        return self.reply_json(404, {"error": "unknown control request"})

    def reply_json(self, status, value):
        self.reply_bytes(status, json.dumps(value).encode(), "application/json")

    def reply_text(self, status, text):
        self.reply_bytes(status, text.encode(), "text/plain")

    def reply_bytes(self, status, body, content_type):
        self.send_response(status)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    # ---- file requests ----------------------------------------------------
    def do_GET(self):
        self.handle_request()

    def do_HEAD(self):
        self.handle_request()

    def do_POST(self):
        self.handle_request()

    def do_DELETE(self):
        self.handle_request()

    def handle_request(self):
        url = urllib.parse.urlsplit(self.path)
        if url.path.startswith("/__"):
            return self.control()
        if self.command not in ("GET", "HEAD"):
            self.close_connection = True
            return self.simple_answer(405, b"", None)
        record = {
            "time": time.time(),
            "method": self.command,
            "path": url.path,
            "query": url.query,
            "range": self.headers.get("Range"),
            "status": None,
            "sent": 0,
            "rule": None,
            "aborted": False,
            "headers": dict(self.headers.items()),
        }
        arrival = self.state.begin(url.path)
        try:
            self.answer(url.path, record)
        except ClientGone:
            record["aborted"] = True
            self.close_connection = True
        finally:
            self.state.log(arrival, record)

    def answer(self, path, record):
        rule = self.state.rule_for(path) or {}
        if rule:
            record["rule"] = sorted(k for k in rule if k != "times")
        if "stall_before" in rule:
            self.state.sleep(rule["stall_before"])
        if "status" in rule:
            status = int(rule["status"])
            body = rule.get("body", "error %d\n" % status).encode()
            record["status"] = status
            return self.simple_answer(status, body, record)
        if "redirect" in rule:
            target = rule["redirect"]
            if not target.startswith(("http://", "https://")) and not rule.get("relative"):
                host = self.headers.get("Host") or "127.0.0.1:%d" % self.server.server_port
                target = "http://%s%s" % (host, target)
            status = int(rule.get("redirect_status", 302))
            record["status"] = status
            return self.simple_answer(status, b"", record, [("Location", target)])

        file_path = self.local_file(path)
        if file_path is None:
            record["status"] = 404
            return self.simple_answer(404, b"not found\n", record)
        size = os.path.getsize(file_path)
        wanted = None if rule.get("ignore_range") else parse_range(record["range"], size)
        if wanted == "unsatisfiable":
            record["status"] = 416
            return self.simple_answer(416, b"", record, [("Content-Range", "bytes */%d" % size)])
        if wanted is None:
            status, start, end = 200, 0, size - 1
        else:
            status, (start, end) = 206, wanted
            if "unknown_total" in rule:
                end = min(end, start + int(rule["unknown_total"]) - 1)
        length = end - start + 1
        if "repeat_to" in rule and status == 200:
            length = int(rule["repeat_to"])
        record["status"] = status

        # How much of the body goes out and what happens after it.
        send = length
        claimed = length + int(rule.get("extra_length", 0))
        ending = None
        if "cut_at" in rule:
            send, ending = min(length, int(rule["cut_at"])), "close"
        elif "reset_at" in rule:
            send, ending = min(length, int(rule["reset_at"])), "reset"
        elif "extra_length" in rule:
            ending = "close"

        if rule.get("no_length"):
            ending = ending or "close"
        self.send_response(status)
        self.send_header("Content-Type", "application/octet-stream")
        if not rule.get("no_length"):
            self.send_header("Content-Length", str(claimed))
        self.send_header("Accept-Ranges", "bytes")
        if status == 206:
            total = "*" if "unknown_total" in rule else str(size)
            self.send_header("Content-Range", "bytes %d-%d/%s" % (start, end, total))
        if ending:
            self.send_header("Connection", "close")
            self.close_connection = True
        self.end_headers()
        if self.command == "HEAD":
            return
        self.send_body(file_path, start, send, rule, record)
        if ending == "reset":
            self.state.sleep(rule.get("reset_delay", 0.3))
            self.reset_connection()
        elif ending == "close":
            self.close_connection = True

    def local_file(self, path):
        """The file under the root for a URL path, or None (never outside the root)."""
        relative = urllib.parse.unquote(path).lstrip("/")
        if not relative or any(part in ("", ".", "..") for part in relative.split("/")):
            return None
        full = os.path.realpath(os.path.join(self.state.root, relative))
        if not full.startswith(self.state.root + os.sep) or not os.path.isfile(full):
            return None
        return full

    def send_body(self, file_path, start, count, rule, record):
        rate = rule.get("rate")
        stall_at = rule.get("stall_at") if "stall" in rule else None
        with open(file_path, "rb") as f:
            f.seek(start)
            if stall_at is not None and stall_at <= 0:
                self.state.stall(rule)
                stall_at = None
            while record["sent"] < count:
                piece = CHUNK
                if rate:
                    piece = max(1, int(rate) // int(rule.get("pieces", 20)))
                if stall_at is not None and record["sent"] < stall_at:
                    piece = min(piece, stall_at - record["sent"])
                data = f.read(min(piece, count - record["sent"]))
                if not data and "repeat_to" in rule and f.tell() > start:
                    f.seek(start)  # the file again, to "repeat_to" bytes
                    continue
                if not data:
                    break
                self.write(data)
                record["sent"] += len(data)
                if stall_at is not None and record["sent"] == stall_at:
                    self.state.stall(rule)
                    stall_at = None
                if rate:
                    self.state.sleep(len(data) / float(rate))

    def write(self, data):
        try:
            self.wfile.write(data)
        except (ConnectionError, OSError) as e:
            raise ClientGone() from e

    def simple_answer(self, status, body, record, headers=()):
        self.send_response(status)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        if self.command != "HEAD" and body:
            self.write(body)
            if record is not None:
                record["sent"] = len(body)

    def reset_connection(self):
        """Closes the connection with RST instead of FIN."""
        self.close_connection = True
        try:
            self.wfile.flush()
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
        except OSError:
            pass


def make_server(root, log_path, rules, port=0):
    state = State(root, log_path, rules)
    handler = type("BoundHandler", (Handler,), {"state": state})
    server = ThreadingHTTPServer(("127.0.0.1", port), handler)
    server.daemon_threads = True
    server.state = state
    return server


def main():
    parser = argparse.ArgumentParser(description="Local HTTP test server")
    parser.add_argument("--root", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--log")
    parser.add_argument("--rules")
    parser.add_argument("--lifetime", type=float, default=600)
    parser.add_argument("--tls-cert", help="serve HTTPS with this PEM certificate")
    parser.add_argument("--tls-key", help="the certificate's PEM private key")
    args = parser.parse_args()

    rules = {}
    if args.rules:
        with open(args.rules, encoding="utf-8") as f:
            rules = json.load(f)
    server = make_server(args.root, args.log, rules, args.port)
    if args.tls_cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.tls_cert, args.tls_key)
        server.socket = context.wrap_socket(server.socket, server_side=True)

    def stop(*_):
        server.state.stopping.set()
        threading.Thread(target=server.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    timer = threading.Timer(args.lifetime, stop)
    timer.daemon = True
    timer.start()

    port = server.server_address[1]
    if args.port_file:
        temporary = args.port_file + ".tmp"
        with open(temporary, "w") as f:
            f.write("%d\n" % port)
        os.replace(temporary, args.port_file)
    print("PORT %d" % port, flush=True)
    try:
        server.serve_forever(poll_interval=0.1)
    finally:
        server.state.stopping.set()
        server.server_close()


if __name__ == "__main__":
    sys.exit(main())
