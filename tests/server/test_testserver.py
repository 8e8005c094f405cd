"""Tests of the local test server and its harness: the other tests trust what
it serves and logs, so its ranges, misbehaviours and control requests are
checked here against a plain HTTP client."""

import http.client
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import TestServer, pattern_bytes, wait_for_port  # noqa: E402
from testserver import parse_range  # noqa: E402

DATA = pattern_bytes(100000, 5)


def get(server, path, headers=None):
    """(status, headers dict, body or the exception the read raised)."""
    connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=10)
    connection.request("GET", path, headers=headers or {})
    answer = connection.getresponse()
    try:
        body = answer.read()
    except (http.client.IncompleteRead, ConnectionError) as e:
        body = e
    connection.close()
    return answer.status, dict(answer.getheaders()), body


class ParseRange(unittest.TestCase):
    def test_single_ranges(self):
        self.assertEqual((0, 99), parse_range("bytes=0-99", 1000))
        self.assertEqual((500, 999), parse_range("bytes=500-", 1000))
        self.assertEqual((900, 999), parse_range("bytes=-100", 1000))
        self.assertEqual((0, 999), parse_range("bytes=-5000", 1000))
        self.assertEqual((990, 999), parse_range("bytes=990-5000", 1000))

    def test_unsatisfiable_and_ignored(self):
        for header in ("bytes=1000-", "bytes=2000-3000", "bytes=-0"):
            self.assertEqual("unsatisfiable", parse_range(header, 1000), header)
        self.assertEqual("unsatisfiable", parse_range("bytes=0-", 0))
        for header in (None, "", "bytes=5-4", "items=0-1", "bytes=0-1,5-6", "bytes=a-", "bytes=-"):
            self.assertIsNone(parse_range(header, 1000), header)


class Serving(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = TestServer(files={"a.bin": DATA, "sub/b.txt": "hello"}).start()

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()

    def setUp(self):
        self.server.clear_rules()
        self.server.clear_log()

    def test_whole_file_ranges_and_416(self):
        status, headers, body = get(self.server, "/a.bin")
        self.assertEqual((200, DATA), (status, body))
        status, headers, body = get(self.server, "/a.bin", {"Range": "bytes=99990-"})
        self.assertEqual((206, DATA[99990:]), (status, body))
        self.assertEqual("bytes 99990-99999/100000", headers["Content-Range"])
        status, headers, body = get(self.server, "/a.bin", {"Range": "bytes=100000-"})
        self.assertEqual((416, b""), (status, body))
        self.assertEqual("bytes */100000", headers["Content-Range"])
        self.assertEqual(b"hello", get(self.server, "/sub/b.txt")[2])

    def test_nothing_outside_the_folder(self):
        for path in ("/../harness.py", "/sub/../../x", "/%2e%2e/harness.py", "/sub", "/", "/nope"):
            self.assertEqual(404, get(self.server, path)[0], path)

    def test_log_records_every_request(self):
        get(self.server, "/a.bin", {"Range": "bytes=10-"})
        get(self.server, "/nope")
        records = self.server.log()
        self.assertEqual(["/a.bin", "/nope"], [r["path"] for r in records])
        self.assertEqual(("bytes=10-", 206, len(DATA) - 10), (records[0]["range"],
                         records[0]["status"], records[0]["sent"]))
        self.assertEqual([records[1]], self.server.log("/nope"))
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port)
        connection.request("GET", "/__log?format=text&path=/a.bin")
        self.assertEqual(b"GET 206 99990 bytes=10-\n", connection.getresponse().read())
        connection.close()

    def test_rules_apply_to_the_first_requests_only(self):
        self.server.set_rules({"/a.bin": {"status": 503, "times": 2}})
        self.assertEqual([503, 503, 200], [get(self.server, "/a.bin")[0] for _ in range(3)])
        # Setting a rule again restarts its count; null removes it.
        self.server.set_rules({"/a.bin": {"status": 500, "times": 1}})
        self.assertEqual(500, get(self.server, "/a.bin")[0])
        self.server.set_rules({"/a.bin": {"status": 404}})
        self.server.set_rules({"/a.bin": None})
        self.assertEqual(200, get(self.server, "/a.bin")[0])

    def test_broken_bodies(self):
        self.server.set_rules({"/a.bin": {"cut_at": 1000}})
        status, headers, body = get(self.server, "/a.bin")
        self.assertEqual(str(len(DATA)), headers["Content-Length"])
        self.assertIsInstance(body, http.client.IncompleteRead)
        self.assertEqual(DATA[:1000], body.partial)

        self.server.set_rules({"/a.bin": {"extra_length": 7}})
        status, headers, body = get(self.server, "/a.bin")
        self.assertEqual(str(len(DATA) + 7), headers["Content-Length"])
        self.assertEqual(DATA, body.partial)

        self.server.set_rules({"/a.bin": {"reset_at": 50000}})
        status, headers, body = get(self.server, "/a.bin")
        self.assertIsInstance(body, (ConnectionResetError, http.client.IncompleteRead))
        self.assertEqual(50000, self.server.log("/a.bin")[-1]["sent"])

    def test_redirects(self):
        self.server.set_rules({"/r": {"redirect": "/a.bin"},
                               "/rel": {"redirect": "/a.bin", "relative": True,
                                        "redirect_status": 307}})
        status, headers, _ = get(self.server, "/r")
        self.assertEqual((302, "http://127.0.0.1:%d/a.bin" % self.server.port),
                         (status, headers["Location"]))
        status, headers, _ = get(self.server, "/rel")
        self.assertEqual((307, "/a.bin"), (status, headers["Location"]))

    def test_rate_and_stall_take_their_time(self):
        self.server.set_rules({"/a.bin": {"rate": 400000}})
        start = time.monotonic()
        self.assertEqual(DATA, get(self.server, "/a.bin")[2])
        self.assertGreater(time.monotonic() - start, 0.2)
        self.server.set_rules({"/a.bin": {"stall_at": 10, "stall": 0.5}})
        start = time.monotonic()
        self.assertEqual(DATA, get(self.server, "/a.bin")[2])
        self.assertGreater(time.monotonic() - start, 0.45)

    def test_keep_alive_serves_several_requests_on_one_connection(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port, timeout=10)
        for _ in range(3):
            connection.request("GET", "/sub/b.txt")
            self.assertEqual(b"hello", connection.getresponse().read())
        connection.close()

    def test_bad_rules_are_refused(self):
        connection = http.client.HTTPConnection("127.0.0.1", self.server.port)
        connection.request("POST", "/__rules", body=b"[1, 2]")
        self.assertEqual(400, connection.getresponse().status)
        connection.close()


class Lifetime(unittest.TestCase):
    def test_ends_by_itself_and_on_stop_even_while_stalling(self):
        with tempfile.TemporaryDirectory() as folder:
            port_file = os.path.join(folder, "port")
            process = subprocess.Popen(
                [sys.executable, os.path.join(os.path.dirname(__file__), "testserver.py"),
                 "--root", folder, "--port-file", port_file, "--lifetime", "1"],
                stdout=subprocess.DEVNULL)
            wait_for_port(port_file, process, 10)
            self.assertEqual(0, process.wait(10))

        server = TestServer(files={"a.bin": DATA}, rules={"/a.bin": {"stall_before": 60}}).start()
        connection = http.client.HTTPConnection("127.0.0.1", server.port, timeout=30)
        connection.request("GET", "/a.bin")
        time.sleep(0.2)
        start = time.monotonic()
        server.stop()
        self.assertLess(time.monotonic() - start, 5)
        connection.close()


if __name__ == "__main__":
    unittest.main()
