"""Server and network faults, end to end: the host stand-in starts the real
updater in mode 1, the dialog is driven through Upgrade (and Finish after a
success) while the test server misbehaves. Each case records what the user
saw, how many attempts ran (requests of the digest list), what was left on
disk and whether any installed module changed."""

import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from faults_common import FULL, Facts, FaultCase, new_release, publish

HERE = os.path.dirname(os.path.abspath(__file__))
HARNESS = os.path.join(HERE, "..", "server", "harness.py")


def free_port():
    """A loopback port on which nothing listens (bound once, then released)."""
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class NetworkFaults(FaultCase):
    suite = "network"

    def publish_two(self, size=40000):
        new = new_release(self.installed, ["Quorvel", "Zentil"], size=size)
        publish(self.server, new, self.installed)
        return new

    def module_requests(self, name):
        """The requests of a module in the order they began."""
        return sorted(self.requests(name + ".dll"), key=lambda r: r["time"])

    # ---- nobody to talk to ------------------------------------------------------
    def check_unreachable(self, case, url, done):
        new = self.publish_two()
        started = time.monotonic()
        watched, host = self.run_dialog(url=url)
        seconds = time.monotonic() - started
        facts = Facts()
        self.expect_failure_shown(facts, watched, host, attempts=None)
        self.expect_nothing_installed(facts, new)
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())
        self.record(case, done=done,
                    expected="update failed shown (with no server the attempts cannot be "
                             "counted); nothing written, nothing installed changed",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new,
                                           "failure shown %.1f s after the start (no server "
                                           "to count attempts)" % seconds,
                                           count_attempts=False))

    def test_server_not_listening(self):
        self.check_unreachable("server not listening", "http://127.0.0.1:%d/" % free_port(),
                               "base URL on a loopback port where nothing listens")

    def test_host_name_that_does_not_resolve(self):
        self.check_unreachable("host name that does not resolve",
                               "http://updates.tevrane.invalid/",
                               "base URL with a host name under .invalid")

    # ---- the digest list --------------------------------------------------------
    def check_digest_list_fault(self, case, done, prepare, mend=None):
        new = self.publish_two()
        prepare()
        started = time.monotonic()
        # Four attempts against a 50 MiB list took 66 s on a quiet machine and
        # more than 120 s on a busy one: the watch waits for the outcome, not a deadline.
        watched, host = self.run_dialog(watch_timeout=300)
        seconds = time.monotonic() - started
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        fetched = [r["path"] for r in self.server.log()
                   if r["path"] not in ("/ModelMD5.dll", "/UpdateContent.dll")]
        facts.expect(not fetched, "modules fetched: %s" % fetched)
        facts.expect(not self.folder.exists("Version.tmp"), "Version.tmp left")
        self.expect_nothing_installed(facts, new)
        self.record(case, done=done,
                    expected="every attempt fails at the digest list: no module fetched, "
                             "update failed shown after 4 attempts, no Version.tmp left, "
                             "nothing installed changed",
                    facts=facts, new=new, mend=mend,
                    happened=self.describe(watched, host, new,
                                           "modules fetched %d; %.1f s" % (len(fetched), seconds)))

    def test_digest_list_404_and_500(self):
        for status in (404, 500):
            with self.subTest(status=status):
                self.server.clear_log()
                self.check_digest_list_fault(
                    "digest list %d" % status, "ModelMD5.dll answered with %d" % status,
                    lambda: self.server.set_rules({"/ModelMD5.dll": {"status": status}}))

    NO_SECTION_MEND = ("a digest list without the section ModuleVersion fails the attempt "
                       "instead of counting every installed module as changed and fetching "
                       "(then installing) all 15 unchecked")

    def test_digest_list_empty(self):
        self.check_digest_list_fault("digest list empty", "ModelMD5.dll is 0 bytes (200)",
                                     lambda: self.server.add_file("ModelMD5.dll", b""),
                                     mend=self.NO_SECTION_MEND)

    def test_digest_list_binary_garbage(self):
        self.check_digest_list_fault("digest list binary garbage",
                                     "ModelMD5.dll is 64 KiB of random bytes",
                                     lambda: self.server.add_file("ModelMD5.dll",
                                                                  os.urandom(64 * 1024)),
                                     mend=self.NO_SECTION_MEND)

    def test_digest_list_50_mb_of_junk(self):
        def junk():
            # Random text lines with '=' and brackets, so that an INI reader has
            # something to chew on, plus random bytes.
            path = os.path.join(self.server.root, "ModelMD5.dll")
            with open(path, "wb") as f:
                for _ in range(50):
                    f.write(os.urandom(1024 * 1024))
        self.check_digest_list_fault("digest list 50 MB of junk",
                                     "ModelMD5.dll is 50 MiB of random bytes", junk,
                                     mend=self.NO_SECTION_MEND)

    # ---- one module -----------------------------------------------------------------
    def test_module_404_on_the_first_attempt_only(self):
        new = self.publish_two()
        self.server.set_rules({"/Zentil.dll": {"status": 404, "body": "<html>error 404</html>",
                                               "times": 1}})
        staged_error = []
        watched, host = self.run_dialog(
            before_finish=lambda: staged_error.append(not self.no_error_page_staged("Zentil")))
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=2)
        facts.expect([404, 200] == [r["status"] for r in self.module_requests("Zentil")],
                     "Zentil answers %s" % [r["status"] for r in self.module_requests("Zentil")])
        facts.expect(staged_error == [False], "the error page was staged")
        self.record("one module 404 on the first attempt only",
                    done="Zentil.dll answered 404 once, then normally",
                    expected="the automatic retry fetches it: success after 2 attempts, Finish "
                             "installs both changed modules and restarts the host",
                    facts=facts, new=new, happened=self.describe(watched, host, new))

    def test_module_404_on_every_attempt(self):
        new = self.publish_two()
        self.server.set_rules({"/Zentil.dll": {"status": 404, "body": "<html>error 404</html>"}})
        watched, host = self.run_dialog()
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        facts.expect(len(self.module_requests("Zentil")) == 4,
                     "%d requests of Zentil" % len(self.module_requests("Zentil")))
        facts.expect(self.no_error_page_staged("Zentil"), "the error page was staged")
        self.expect_nothing_installed(facts, new)
        # The module that did arrive waits, complete, for a later Upgrade.
        facts.expect(self.folder.exists("UpgradeBackup_P/Quorvel.dll.tmp") and
                     self.folder.read("UpgradeBackup_P/Quorvel.dll.tmp") == new["Quorvel"],
                     "Quorvel is not staged complete")
        self.record("one module 404 on every attempt",
                    done="Zentil.dll answered 404 to every request",
                    expected="update failed after 4 attempts (4 requests of Zentil.dll); no error "
                             "page staged; nothing installed changed",
                    facts=facts, new=new, happened=self.describe(watched, host, new))

    def check_broken_body(self, case, done, rule, offset, big=400000):
        new = self.publish_two(size=big)
        self.server.set_rules({"/Zentil.dll": dict(rule, times=1)})
        started = time.monotonic()
        watched, host = self.run_dialog()
        seconds = time.monotonic() - started
        # A stalled request is logged once the server has given up on it.
        self.server.wait_for_log("/Zentil.dll", 2, timeout=15)
        requests = self.module_requests("Zentil")
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=2)
        facts.expect(len(requests) == 2 and requests[1]["range"] == "bytes=%d-" % offset,
                     "Zentil requests %s" % [(r["range"], r["status"]) for r in requests])
        self.record(case, done=done,
                    expected="the attempt fails, the automatic retry resumes from the bytes "
                             "received (Range) and the update succeeds; the installed module "
                             "is byte for byte the new one",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new, "Zentil requests %s; %.1f s" % (
                        [(r["range"] or "whole", r["status"], r["sent"]) for r in requests],
                        seconds)))

    def test_body_cut_short(self):
        self.check_broken_body("body cut short", "Zentil.dll closed after 150000 of 400101 bytes",
                               {"cut_at": 150000}, 150000)

    def test_connection_reset(self):
        self.check_broken_body("connection reset",
                               "Zentil.dll reset (RST) after 150000 of 400101 bytes",
                               {"reset_at": 150000}, 150000)

    def test_stall_longer_than_the_time_out(self):
        self.check_broken_body("stall longer than the time-out",
                               "Zentil.dll stalls 18 s after 150000 bytes (the receive time-out "
                               "is 15 s)", {"stall_at": 150000, "stall": 18}, 150000)

    def test_content_length_larger_than_what_is_sent(self):
        new = self.publish_two()
        self.server.set_rules({"/Zentil.dll": {"extra_length": 1000}})
        watched, host = self.run_dialog()
        requests = self.module_requests("Zentil")
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=2)
        facts.expect([r["status"] for r in requests] == [200, 416],
                     "Zentil answers %s" % [r["status"] for r in requests])
        self.record("Content-Length larger than what is sent",
                    done="Zentil.dll claims 1000 bytes more than it sends, on every request",
                    expected="the short body fails the first attempt; the retry asks for the rest, "
                             "the server's 416 shows the staged file is complete; success",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new, "Zentil answers %s" % [
                        (r["range"] or "whole", r["status"]) for r in requests]))

    def test_416_for_an_already_complete_staged_file(self):
        new = self.publish_two()
        self.server.set_rules({"/Zentil.dll": {"status": 500, "times": 1}})
        watched, host = self.run_dialog()
        quorvel = self.module_requests("Quorvel")
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=2)
        facts.expect([(r["range"], r["status"]) for r in quorvel] ==
                     [(None, 200), ("bytes=%d-" % len(new["Quorvel"]), 416)],
                     "Quorvel requests %s" % [(r["range"], r["status"]) for r in quorvel])
        self.record("416 for an already complete staged file",
                    done="Zentil.dll fails once (500), so the retry asks again for Quorvel.dll, "
                         "staged complete, with a range past its end",
                    expected="the 416 counts as complete: success after 2 attempts, Quorvel "
                             "fetched once, both installed",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new, "Quorvel answers %s" % [
                        (r["range"] or "whole", r["status"]) for r in quorvel]))

    def test_redirect_loop(self):
        new = self.publish_two()
        self.server.set_rules({"/Zentil.dll": {"redirect": "/Zentil.dll"}})
        watched, host = self.run_dialog()
        requests = self.module_requests("Zentil")
        facts = Facts()
        self.expect_failure_shown(facts, watched, host)
        # Each attempt gives up after a bounded number of redirects.
        facts.expect(len(requests) == 4 * 6, "%d requests of Zentil" % len(requests))
        self.expect_nothing_installed(facts, new)
        self.record("redirect loop", done="Zentil.dll redirects (302) to itself",
                    expected="each attempt follows 5 redirects and gives up; update failed after "
                             "4 attempts; nothing installed changed",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new,
                                           "%d requests of Zentil.dll" % len(requests)))

    def test_very_slow_server_with_progress_still_moving(self):
        size = 200000 if FULL else 60000
        new = self.publish_two(size=size)
        self.server.set_rules({"/Quorvel.dll": {"rate": 10000}, "/Zentil.dll": {"rate": 10000}})
        started = time.monotonic()
        watched, host = self.run_dialog(interval_ms=500, watch_timeout=size / 10000 * 2 + 60)
        seconds = time.monotonic() - started
        progress = [(t, pos, text) for t, pos, text in watched.samples
                    if text.startswith("正在更新：")]
        positions = [pos for _, pos, _ in progress]
        facts = Facts()
        self.expect_installed(facts, watched, host, new, attempts=1)
        facts.expect(len(progress) >= 4, "only %d progress texts" % len(progress))
        facts.expect(positions == sorted(positions) and len(set(positions)) >= 3,
                     "bar positions %s" % positions)
        gaps = [b[0] - a[0] for a, b in zip(progress, progress[1:])]
        self.record("very slow server (10 KB/s) with progress still moving",
                    done="Quorvel.dll and Zentil.dll (%d bytes each) sent at 10 KB/s; status text "
                         "and bar read every 500 ms" % size,
                    expected="the status text and the bar keep moving while the bytes trickle in; "
                             "success, both installed",
                    facts=facts, new=new,
                    happened=self.describe(
                        watched, host, new,
                        "%d distinct progress texts over %.1f s (largest gap %d ms), bar "
                        "%s" % (len(progress), seconds, max(gaps) if gaps else 0,
                                "->".join(str(p) for p in positions[:3] + ["..."] +
                                          positions[-2:]))))

    # ---- TLS ----------------------------------------------------------------------
    def test_https_with_an_untrusted_certificate(self):
        new = self.publish_two()
        folder = tempfile.mkdtemp(prefix="faults-tls-")
        try:
            shutil.copytree(self.server.root, os.path.join(folder, "files"))
            subprocess.run([sys.executable, HARNESS, "start", folder, "--tls", "--lifetime",
                            "300"], check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(folder, "port")) as f:
                port = int(f.read())
            watched, host = self.run_dialog(url="https://127.0.0.1:%d/" % port)
            log_path = os.path.join(folder, "log.jsonl")
            served = open(log_path).read().splitlines() if os.path.exists(log_path) else []
        finally:
            subprocess.run([sys.executable, HARNESS, "stop", folder], stdout=subprocess.DEVNULL)
            shutil.rmtree(folder, ignore_errors=True)
        facts = Facts()
        self.expect_failure_shown(facts, watched, host, attempts=None)
        facts.expect(not served, "%d requests were answered over TLS" % len(served))
        self.expect_nothing_installed(facts, new)
        facts.expect(not self.leftovers(), "left on disk: %s" % self.leftovers())
        self.record("https with a certificate that is not trusted",
                    done="base URL https:// on a server with a fresh self-signed certificate",
                    expected="no TLS connection is accepted: nothing fetched, update failed "
                             "shown, nothing installed changed",
                    facts=facts, new=new,
                    happened=self.describe(watched, host, new,
                                           "requests that reached the TLS server: %d" %
                                           len(served), count_attempts=False))


if __name__ == "__main__":
    unittest.main()
